// The scene scheduler: one call per frame advances the running presentation step, resumes the
// script when a step has ended, and runs the in-game menu and the swirl to the settings
// screen. Input handlers only set flags and phases; the script runs only in FrameUpdate.
#include <algorithm>
#include <cstdint>

#include "base/Vememman.h"
#include "base/Vergbbits.h"
#include "game/Gamef.h"
#include "game/Zbdata.h"
#include "game/Zbeffect.h"
#include "game/Zbglobals.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"

namespace {

constexpr char SwirlMaskName[] = "FadeMask07_Swirl.bmp";
constexpr int WaitForever = 0x7fffffff;
constexpr int SwirlEffect = 101;

enum : Word { KeyEnter = 13, KeyCtrl = 17, KeySpace = 32, KeyUp = 38, KeyDown = 40 };

void LoadSwirlMask()
{
    if (FadeAlphaMask)
        FadeAlphaMask->Load(PackFileMan, SwirlMaskName);
}

void FreeSwirlMask()
{
    if (FadeAlphaMask)
        FadeAlphaMask->Free();
}

}  // namespace

void TAvgUnit::FrameUpdate(int steps)
{
    if (steps == 0)
        return;
    if (MenuState > 0) {
        MenuStep();
        return;
    }
    if (ConfigSwirl > 0) {
        SwirlStep(steps);
        return;
    }
    const bool skipping = Skipping();
    if (skipping) {
        const bool playing = Host.IsSEPlaying ? Host.IsSEPlaying() : GameForm && GameForm->IsSEPlaying();
        if (playing)
            SvcStopSE();
    }
    if (WeatherKind >= 1 && WeatherKind <= 3 && Phase != 3 && Phase != 4 && Phase != 11)
        WeatherUpdate(steps);

    switch (Phase) {
    case 3:
        Run();
        break;
    case 4:
        PhaseTransition(steps, skipping);
        break;
    case 5:
        ++StepCount;
        if (skipping)
            StepCount = 8;
        if (StepCount >= 8)
            Phase = 3;
        DrawCharStep();
        break;
    case 6:
        if (!PopupWin || PopupWin->UpdateMesWin(skipping))
            MesWinOpened();
        break;
    case 7:
        if (!PopupWin || PopupWin->UpdateMesWin(skipping))
            MesWinClosed();
        break;
    case 8:
        if (!PopupWin || PopupWin->UpdateMesWin(skipping)) {
            Phase = 9;
            if (PopupWin)
                PopupWin->SetNextIconVisible(true);
        }
        break;
    case 9:
        if (skipping)
            MesContinue();
        EyeBlink();
        break;
    case 10:
        // Counted in 64 bits: a negative wait from the script must not wrap round.
        if (WaitCount != WaitForever)
            WaitCount = static_cast<int>(std::max<int64_t>(int64_t(WaitCount) - steps, -1));
        if (skipping)
            WaitCount = -1;
        if (WaitCount < 0)
            Phase = 3;
        break;
    case 11:
        PhaseShake(steps, skipping);
        break;
    case 12:
        if (!PopupWin || PopupWin->UpdateSelWin())
            Phase = 14;
        break;
    case 13:
        if (!PopupWin || PopupWin->UpdateSelWin())
            Phase = 3;
        break;
    case 14:
    case 15:
    case 16:
        EyeBlink();
        break;
    default:
        break;
    }
    SkipOnce = false;
}

void TAvgUnit::MenuStep()
{
    if (MenuState != 1 && MenuState != 3)
        return;
    if (PopupWin && !PopupWin->UpdateMenu())
        return;
    if (MenuState == 1) {
        MenuState = 2;
        return;
    }
    MenuState = 0;
    switch (PopupWin ? PopupWin->GetMenuIndex() : -1) {
    case 0:
        if (Phase == 9) {
            MesHidden = true;
            LowerCursor();
            CloseMesWindow();
        }
        break;
    case 1:
        if (Phase == 9)
            SkipMode = true;
        break;
    case 2:
        OpenBackLog();
        break;
    case 3:
        SwirlToConfig();
        break;
    case 4:
        EndScene(ZbResult::Title);
        break;
    case 5:
        RaiseCursor();
        PopupWin->ShowExitConfirm(AvgPanel);
        PopupWin->SetOnExitConfirm([this] { OnExitAnswer(); });
        break;
    default:
        break;
    }
}

void TAvgUnit::OpenMesMenu()
{
    // A second right click while the menu is up would raise the cursor count twice.
    if (MenuState != 0 || !PopupWin)
        return;
    CtrlSkip = false;
    PopupWin->SetMenuBtnEnabled(0, Phase == 9);
    PopupWin->SetMenuBtnEnabled(1, Phase == 9);
    PopupWin->SetMenuBtnEnabled(2, Phase == 9 || Phase == 14 || Phase == 15);
    PopupWin->OpenMenu();
    RaiseCursor();
    MenuState = 1;
}

void TAvgUnit::CloseMesMenu()
{
    if (PopupWin)
        PopupWin->CloseMenu();
    LowerCursor();
    MenuState = 3;
}

void TAvgUnit::OnMenu()
{
    // Only a menu that is open may close; a click during its opening would count the cursor
    // down twice.
    if (MenuState == 2)
        CloseMesMenu();
}

void TAvgUnit::OnExitAnswer()
{
    LowerCursor();
    const bool yes = PopupWin && PopupWin->GetExitConfirmResult();
    if (PopupWin) {
        PopupWin->HideExitConfirm();
        PopupWin->SetOnExitConfirm(nullptr);
    }
    if (yes)
        EndScene(ZbResult::Quit);
}

void TAvgUnit::OnMesRightClick()
{
    OpenMesMenu();
}

void TAvgUnit::OnSelRightClick()
{
    OpenMesMenu();
}

void TAvgUnit::OnSelect()
{
    if (Phase == 14)
        TakeChoice();
}

void TAvgUnit::RaiseCursor()
{
    if (++CursorCount == 1)
        SvcSetCursorType(0);
}

void TAvgUnit::LowerCursor()
{
    if (--CursorCount == 0)
        SvcSetCursorType(-1);
}

void TAvgUnit::MesClick()
{
    if (Phase == 9)
        MesContinue();
    else if (Phase == 15)
        ShowHiddenWindow();
    else
        ClickSkip();
}

void TAvgUnit::ClickSkip()
{
    if (Phase >= 4 && Phase <= 11)
        SkipOnce = true;
}

void TAvgUnit::BGPanelMouseDown(TObject*, TMouseButton button, TShiftState, int, int)
{
    if (ConfigSwirl != 0 || MenuState != 0)
        return;
    SkipMode = false;
    if (button == mbLeft)
        MesClick();
    else if (button == mbRight && (Phase == 9 || Phase == 14 || Phase == 15 || Phase == 16))
        OpenMesMenu();
}

void TAvgUnit::AvgPanelKeyDown(TObject*, Word& key, TShiftState)
{
    if (ConfigSwirl != 0 || MenuState != 0)
        return;
    switch (key) {
    case KeyCtrl:
        CtrlSkip = true;
        break;
    case KeyEnter:
        SkipMode = false;
        if (Phase == 14)
            TakeChoice();
        else
            MesClick();
        break;
    case KeySpace:
        SkipMode = false;
        if (Phase != 14)
            MesClick();
        break;
    case KeyUp:
        if (Phase == 14 && PopupWin)
            PopupWin->SelCursorUp();
        break;
    case KeyDown:
        if (Phase == 14 && PopupWin)
            PopupWin->SelCursorDown();
        break;
    default:
        break;
    }
}

void TAvgUnit::AvgPanelKeyUp(TObject*, Word& key, TShiftState)
{
    if (ConfigSwirl != 0 || MenuState != 0)
        return;
    if (key == KeyCtrl)
        CtrlSkip = false;
}

void TAvgUnit::SwirlToConfig()
{
    CtrlSkip = false;
    RaiseCursor();
    TVeRGBBits* first = NewEffectPicture();
    TVeRGBBits* second = NewEffectPicture();
    DrawPanelTo(AvgPanel, first);
    DrawPanelTo(Host.ConfigPanel, second);
    EyeTimer = {0, 0, 0};
    LoadSwirlMask();
    if (!first || !second || !SvcSetTransition(SwirlEffect, first, second)) {
        if (!first || !second) {
            DeletePicture(first);
            DeletePicture(second);
        }
        FreeSwirlMask();
        if (GameForm) {
            GameForm->DetachScreen(AvgPanel);
            if (Host.ConfigPanel)
                GameForm->AttachScreen(Host.ConfigPanel);
        }
        ConfigSwirl = 2;
        return;
    }
    ConfigSwirl = 1;
    SvcInstallTransitionProcs(true);
    SvcResetFrameCounters();
}

void TAvgUnit::SwirlFromConfig()
{
    LowerCursor();
    TVeRGBBits* first = NewEffectPicture();
    TVeRGBBits* second = NewEffectPicture();
    DrawPanelTo(Host.ConfigPanel, first);
    DrawPanelTo(AvgPanel, second);
    if (GameForm) {
        if (Host.ConfigPanel)
            GameForm->DetachScreen(Host.ConfigPanel);
        GameForm->AttachScreen(AvgPanel);
    }
    LoadSwirlMask();
    if (!first || !second || !SvcSetTransition(SwirlEffect, first, second)) {
        if (!first || !second) {
            DeletePicture(first);
            DeletePicture(second);
        }
        FreeSwirlMask();
        ConfigSwirl = 0;
        BGPanel->SetModify();
        return;
    }
    ConfigSwirl = 3;
    SvcInstallTransitionProcs(true);
    SvcResetFrameCounters();
}

void TAvgUnit::SwirlStep(int steps)
{
    if (ConfigSwirl != 1 && ConfigSwirl != 3)
        return;
    if (!SvcTransitionIdle()) {
        SvcAdvanceTransition(steps);
        return;
    }
    SvcInstallTransitionProcs(false);
    SvcEndTransition();
    FreeSwirlMask();
    if (ConfigSwirl == 1) {
        if (GameForm) {
            GameForm->DetachScreen(AvgPanel);
            if (Host.ConfigPanel)
                GameForm->AttachScreen(Host.ConfigPanel);
        }
        if (Host.ConfigPanel)
            Host.ConfigPanel->SetModify();
        ConfigSwirl = 2;
    } else {
        ConfigSwirl = 0;
        BGPanel->SetModify();
    }
}

void TAvgUnit::ConfigChanged()
{
    if (MesBoxConfig) {
        WriteMesBoxIni(MesBoxConfig);
        if (PopupWin) {
            PopupWin->SetMesBoxColor(MesBoxConfig->BoxColor.ToDWORD() & 0xFFFFFF);
            PopupWin->SetMesWinType(MesBoxConfig->MesBoxType);
        }
    }
    SwirlFromConfig();
}
