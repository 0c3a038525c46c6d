#include "game/Pmainmenu.h"

#include <algorithm>

#include "base/Vememman.h"
#include "game/Gamef.h"
#include "game/Maint.h"
#include "game/Pmenuse.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbparts.h"

TGameMenu* GameMenu = nullptr;

namespace {

constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;

const TVePartsData TitlePartsTable[] = {
    {0, 0, 260, 60, 6}, {260, 0, 260, 60, 6}, {520, 0, 260, 60, 6}, {780, 0, 260, 60, 6}, {1040, 0, 260, 60, 6},
    {-1, -1, -1, -1, -1},
};

const TPartsPlace TitlePlace[] = {
    {0, 72, 140, 0, 0}, {1, 72, 200, 0, 0}, {2, 72, 260, 0, 0}, {3, 72, 320, 0, 0}, {4, 72, 380, 0, 0},
};

TVeRGBPanel* MakePanel(TComponent* owner, TVeRGBPanel* parent, int x, int y, int w, int h)
{
    auto* panel = new TVeRGBPanel(owner);
    panel->SetOffsetX(x);
    panel->SetOffsetY(y);
    panel->SetSizeX(w);
    panel->SetSizeY(h);
    if (parent)
        panel->SetParent(parent);
    return panel;
}

TVeRGBBtn* MakeButton(TComponent* owner, TVeRGBPanel* parent, int x, int y, int w, int h)
{
    auto* button = new TVeRGBBtn(owner);
    button->SetOffsetX(x);
    button->SetOffsetY(y);
    button->SetSizeX(w);
    button->SetSizeY(h);
    button->SetParent(parent);
    return button;
}

void SetExitButton(TVeRGBBtn* button, const char* picture)
{
    button->SetText(picture);
    button->SetPatFocus(1);
    button->SetPatSelected(1);
    button->SetPatDown(1);
    button->SetPatDisable(1);
}

}  // namespace

TGameMenu::TGameMenu(TComponent* Owner) : TComponent(Owner)
{
    MainMenuPanel = MakePanel(this, nullptr, 0, 0, ScreenWidth, ScreenHeight);
    TitleMenu = MakePanel(this, MainMenuPanel, 0, 0, ScreenWidth, ScreenHeight);
    TitleMenu->SetText("TitleBack.jpg");
    TitleMenu->OnCreate = [this](TObject* s) { PanelCreate(s); };
    TitleMenu->OnRelease = [this](TObject* s) { PanelRelease(s); };

    TVeRGBBtn** buttons[] = {&BtnStart, &BtnChapter, &BtnGallery, &BtnConfig, &BtnExit};
    for (TVeRGBBtn** button : buttons) {
        *button = MakeButton(this, TitleMenu, 0, 0, 98, 31);
        (*button)->SetPatFocus(3);
        (*button)->SetPatDown(1);
        (*button)->SetPatDisable(1);
        (*button)->SetAnimeWait(8);
        (*button)->OnMouseEnter = [this](TObject* s) { BtnMouseEnter(s); };
    }
    BtnStart->OnClick = [this](TObject* s) { BtnStartClick(s); };
    BtnChapter->OnClick = [this](TObject* s) { BtnChapterClick(s); };
    BtnGallery->OnClick = [this](TObject* s) { BtnGalleryClick(s); };
    BtnConfig->OnClick = [this](TObject* s) { BtnConfigClick(s); };
    BtnExit->OnClick = [this](TObject* s) { BtnExitClick(s); };

    ExitWin = MakePanel(this, MainMenuPanel, 0, 0, ScreenWidth, ScreenHeight);
    ExitWin->SetVisible(false);
    ExitFrame = MakePanel(this, ExitWin, 216, 186, 208, 108);
    ExitFrame->SetText("ExitFrame_wm.png");
    ExitFrame->OnCreate = [this](TObject* s) { PanelCreate(s); };
    ExitFrame->OnRelease = [this](TObject* s) { PanelRelease(s); };
    ExitFrame->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { ExitFrameMouseMove(s, sh, x, y); };
    ExitFrame->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        ExitFrameMouseDown(s, b, sh, x, y);
    };
    ExitFrame->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        ExitFrameMouseUp(s, b, sh, x, y);
    };
    ExitBtnYes = MakeButton(this, ExitFrame, 81, 58, 43, 22);
    SetExitButton(ExitBtnYes, "ExitYes_wm.png");
    ExitBtnNo = MakeButton(this, ExitFrame, 136, 58, 43, 22);
    SetExitButton(ExitBtnNo, "ExitNo_wm.png");
    for (TVeRGBBtn* button : {ExitBtnYes, ExitBtnNo}) {
        button->OnCreate = [this](TObject* s) { PanelCreate(s); };
        button->OnRelease = [this](TObject* s) { PanelRelease(s); };
    }
    ExitBtnYes->OnClick = [this](TObject* s) { ExitBtnYesClick(s); };
    ExitBtnNo->OnClick = [this](TObject* s) { ExitBtnNoClick(s); };
}

TGameMenu::~TGameMenu()
{
    if (FSetup)
        Release();
    if (GameMenu == this)
        GameMenu = nullptr;
}

bool TGameMenu::Setup(TFileMan* fileMan)
{
    // A second set-up would load every picture again over the first ones.
    if (FSetup)
        Release();
    FFileMan = fileMan;
    if (!LoadPartsImage(FParts, "TitleParts.png", fileMan, TitlePartsTable)) {
        Release();
        return false;
    }
    TVeRGBBtn* buttons[] = {BtnStart, BtnChapter, BtnGallery, BtnConfig, BtnExit};
    for (int i = 0; i < 5; ++i)
        SetPanelParts(buttons[i], FParts, &TitlePlace[i]);
    MainMenuPanel->AllCreate();
    FSetup = true;
    return true;
}

void TGameMenu::Release()
{
    if (FSetup)
        MainMenuPanel->AllRelease();
    // The buttons show images of the sheet: they must not keep them once it is gone.
    for (TVeRGBBtn* button : {BtnStart, BtnChapter, BtnGallery, BtnConfig, BtnExit}) {
        button->SetImage(nullptr);
        button->SetAlpha(nullptr);
    }
    if (FParts && MemMan)
        MemMan->Delete(FParts);
    FParts = nullptr;
    FSetup = false;
}

void TGameMenu::UpdateButtons()
{
    bool any = false;
    for (int n = 0; n <= 9; ++n)
        any = any || GetSysOpenFlag(SysData, n);
    BtnGallery->SetEnabled(any);
}

void TGameMenu::PanelCreate(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        LoadPanelImage(panel, panel->GetText(), FFileMan);
}

void TGameMenu::PanelRelease(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        ReleasePanelImage(panel);
}

void TGameMenu::PlaySE(const char* name)
{
    PlayMenuSE(name, FFileMan);
}

void TGameMenu::Signal(int value)
{
    MainThreadSignal(value);
}

void TGameMenu::BtnStartClick(TObject*)
{
    PlaySE("btn_3.adp");
    Signal(0);
}

void TGameMenu::BtnChapterClick(TObject*)
{
    PlaySE("btn_3.adp");
    Signal(1);
}

void TGameMenu::BtnConfigClick(TObject*)
{
    PlaySE("btn_3.adp");
    Signal(2);
}

void TGameMenu::BtnGalleryClick(TObject*)
{
    PlaySE("btn_3.adp");
    Signal(3);
}

void TGameMenu::BtnExitClick(TObject*)
{
    PlaySE("btn_3.adp");
    FDragging = false;
    ExitFrame->SetOffsetX((ScreenWidth - ExitFrame->SizeX()) / 2);
    ExitFrame->SetOffsetY((ScreenHeight - ExitFrame->SizeY()) / 2);
    ExitWin->SetVisible(true);
    ExitWin->SetActive();
}

void TGameMenu::BtnMouseEnter(TObject*)
{
    PlaySE("btn_1.adp");
}

void TGameMenu::ExitBtnYesClick(TObject*)
{
    Signal(4);
}

void TGameMenu::ExitBtnNoClick(TObject*)
{
    ExitWin->SetVisible(false);
}

void TGameMenu::ExitFrameMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y)
{
    FDragging = true;
    FDragX = X;
    FDragY = Y;
}

void TGameMenu::ExitFrameMouseMove(TObject*, TShiftState, int X, int Y)
{
    if (!FDragging)
        return;
    // The remembered point belongs to the frame and moves with it, so it is never updated.
    // A frame larger than the screen (a bigger picture) is kept at the top-left corner.
    const int x = std::clamp(ExitFrame->OffsetX() + (X - FDragX), 0, std::max(0, ScreenWidth - ExitFrame->SizeX()));
    const int y = std::clamp(ExitFrame->OffsetY() + (Y - FDragY), 0, std::max(0, ScreenHeight - ExitFrame->SizeY()));
    if (x == ExitFrame->OffsetX() && y == ExitFrame->OffsetY())
        return;
    ExitFrame->SetOffsetX(x);
    ExitFrame->SetOffsetY(y);
}

void TGameMenu::ExitFrameMouseUp(TObject*, TMouseButton, TShiftState, int, int)
{
    FDragging = false;
}
