// The scene unit's resources, its hook-up to the popups and its calls into the main form.
#include <algorithm>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Vecsvread.h"
#include "base/Vememman.h"
#include "base/Vergbbits.h"
#include "game/Gamef.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbbtn.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"

namespace {

constexpr char EyeTableName[] = "EyeAnime.csv";
constexpr char SnowFileName[] = "Snow.bmp";

// Objects go to the registry as every game object does; without one (tests of the script
// alone) the unit owns them, so that it frees them with itself.
template <class T>
T* MakeObject(TComponent* unit)
{
    return MemMan ? MemMan->CreateVCL<T>() : new T(unit);
}

// Deletes what the registry or the unit made. Once the registry itself has gone it has freed
// its objects already: the pointer is only cleared then.
template <class T>
void DeleteObject(T*& object, const TComponent* unit)
{
    if (object && !(MemMan && MemMan->IsRecorded(object)) && object->GetOwner() != unit)
        object = nullptr;
    DeleteMade(MemMan, object);
}

}  // namespace

bool TAvgUnit::CreateResources()
{
    AvgPanel->AllCreate();
    if (!InitPanelImage(BGPanel, false))
        return false;

    if (EyeTable) {
        delete[] EyeTable;
        EyeTable = nullptr;
    }
    EyeRows = 0;
    if (CGFile) {
        if (TStream* stream = OpenDataFile(CGFile, EyeTableName)) {
            TVeCsvRead csv;
            if (csv.Read(stream)) {
                const int rows = csv.GetSizeY();
                if (rows > 0) {
                    EyeTable = new TEyeTable[static_cast<size_t>(rows)];
                    for (int y = 0; y < rows; ++y)
                        EyeTable[y] = TEyeTable{csv.GetValue(0, y), csv.GetValue(1, y), csv.GetValue(2, y)};
                    EyeRows = rows;
                }
            }
            CGFile->Close(stream);
        }
    }

    for (int slot = 0; slot < 3; ++slot) {
        if (!EyeImage[slot]) {
            EyeImage[slot] = MakeObject<TVeRGBBits>(this);
            if (!EyeImage[slot])
                return false;
            EyeImage[slot]->SetBitDepth(BitDepth);
        }
        if (!EyeAlpha[slot]) {
            EyeAlpha[slot] = MakeObject<TVeAlpha>(this);
            if (!EyeAlpha[slot])
                return false;
        }
    }

    DeletePicture(SnowImage);
    if (!LoadRGBImage(SnowImage, nullptr, SnowFileName, PackFile))
        return false;
    ResourcesReady = true;
    return true;
}

void TAvgUnit::ReleaseResources()
{
    for (TVeRGBPanel* p : {BGPanel, CharLeft, CharCenter, CharRight, CharOutLeft, CharOutCenter, CharOutRight})
        ReleasePanelImage(p);
    delete[] EyeTable;
    EyeTable = nullptr;
    EyeRows = 0;
    for (int slot = 0; slot < 3; ++slot) {
        DeleteObject(EyeImage[slot], this);
        DeleteObject(EyeAlpha[slot], this);
        EyeX[slot] = -1;
        EyeHasAlpha[slot] = false;
    }
    DeletePicture(ShakeImage);
    DeletePicture(SnowImage);
    AvgPanel->AllRelease();
    ResourcesReady = false;
}

void TAvgUnit::PanelCreate(TObject* sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(sender))
        LoadPanelImage(panel, panel->GetText(), PackFile);
}

void TAvgUnit::PanelRelease(TObject* sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(sender))
        ReleasePanelImage(panel);
}

void TAvgUnit::AttachPopup()
{
    if (!PopupWin)
        return;
    PopupWin->AttachMesWin(AvgPanel);
    PopupWin->SetOnMesClick([this] { OnMesWinClick(); });
    PopupWin->SetOnLook([this] { OnLook(); });
    PopupWin->SetOnSkip([this] { OnSkip(); });
    PopupWin->SetOnMesRightClick([this] { OnMesRightClick(); });
    PopupWin->AttachSelWin(AvgPanel);
    PopupWin->SetOnSelect([this] { OnSelect(); });
    PopupWin->SetOnSelRightClick([this] { OnSelRightClick(); });
    PopupWin->AttachMenuWin(AvgPanel);
    PopupWin->SetOnMenu([this] { OnMenu(); });
    for (int i = 0; i < TPopupWin::MenuButtons; ++i)
        PopupWin->SetMenuBtnEnabled(i, true);
    MenuState = 0;
}

void TAvgUnit::DetachPopup()
{
    if (!PopupWin)
        return;
    PopupWin->DetachMesWin();
    PopupWin->SetOnMesClick(nullptr);
    PopupWin->SetOnLook(nullptr);
    PopupWin->SetOnSkip(nullptr);
    PopupWin->SetOnMesRightClick(nullptr);
    PopupWin->DetachSelWin();
    PopupWin->SetOnSelect(nullptr);
    PopupWin->SetOnSelRightClick(nullptr);
    PopupWin->DetachMenuWin();
    PopupWin->SetOnMenu(nullptr);
    // An exit confirmation still up would call back into a scene that has gone.
    PopupWin->SetOnExitConfirm(nullptr);
}

// A 640x480 picture in the screen's format for a transition, shake or swirl; null when it
// cannot be had.
TVeRGBBits* TAvgUnit::NewEffectPicture()
{
    if (GameForm)
        return GameForm->CreateEffectBuffer();
    TVeRGBBits* bits = MakeObject<TVeRGBBits>(this);
    if (!bits)
        return nullptr;
    bits->SetBitDepth(BitDepth);
    if (!bits->Resize(640, 480) || !bits->Create()) {
        DeleteObject(bits, this);
        return nullptr;
    }
    return bits;
}

void TAvgUnit::DeletePicture(TVeRGBBits*& bits)
{
    DeleteObject(bits, this);
}

void TAvgUnit::DrawPanelTo(TVeRGBPanel* panel, TVeRGBBits* bits)
{
    if (panel && bits)
        panel->Draw(bits);
}

bool TAvgUnit::SvcSetTransition(int effect, TVeRGBBits* oldImage, TVeRGBBits* newImage)
{
    if (Host.SetTransition)
        return Host.SetTransition(effect, oldImage, newImage);
    if (GameForm)
        return GameForm->SetTransition(effect, oldImage, newImage);
    // Without a form the change is refused; the pictures are freed as the form would.
    DeletePicture(oldImage);
    DeletePicture(newImage);
    return false;
}

bool TAvgUnit::SvcTransitionIdle()
{
    if (Host.IsTransitionIdle)
        return Host.IsTransitionIdle();
    return GameForm ? GameForm->IsTransitionIdle() : true;
}

void TAvgUnit::SvcAdvanceTransition(int steps)
{
    if (Host.AdvanceTransition)
        Host.AdvanceTransition(steps);
    else if (GameForm)
        GameForm->AdvanceTransition(steps);
}

void TAvgUnit::SvcEndTransition()
{
    if (Host.EndTransition)
        Host.EndTransition();
    else if (GameForm)
        GameForm->EndTransition();
}

void TAvgUnit::SvcDrawTransition(TVeRGBBits* target, TVeRectSet* dirty)
{
    if (Host.DrawTransition)
        Host.DrawTransition(target, dirty);
    else if (GameForm)
        GameForm->DrawTransition(target, dirty);
}

void TAvgUnit::SvcInstallTransitionProcs(bool on)
{
    if (!GameForm)
        return;
    if (on) {
        GameForm->SetRedrawProc([this](TVeRGBBits* bits) { TransitionRedrawProc(bits); });
        GameForm->SetDrawProc([this](TVeRGBBits* bits, TVeRectSet* dirty) { TransitionDrawProc(bits, dirty); });
    } else {
        GameForm->SetRedrawProc(nullptr);
        GameForm->SetDrawProc(nullptr);
    }
}

void TAvgUnit::TransitionRedrawProc(TVeRGBBits* bits)
{
    SvcDrawTransition(bits, nullptr);
}

void TAvgUnit::TransitionDrawProc(TVeRGBBits* bits, TVeRectSet* dirty)
{
    SvcDrawTransition(bits, dirty);
}

void TAvgUnit::SvcResetFrameCounters()
{
    if (GameForm)
        GameForm->ResetFrameCounters();
}

void TAvgUnit::SvcForceRender()
{
    if (GameForm)
        GameForm->ForceRender();
}

void TAvgUnit::SvcSetCursorType(int type)
{
    if (GameForm)
        GameForm->SetCursorType(type);
}

void TAvgUnit::SvcStopSE()
{
    if (Host.StopSE)
        Host.StopSE();
    else if (GameForm)
        GameForm->StopSE();
}

void TAvgUnit::SvcStopVoice()
{
    if (Host.StopVoice)
        Host.StopVoice();
    else if (GameForm)
        GameForm->StopVoice();
}
