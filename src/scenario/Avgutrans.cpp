// Scene changes under a transition, shakes, the white flash and timed waits. Each step owns its
// pictures until its phase ends; pictures handed to the transition service are the service's.
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbeffect.h"
#include "game/Zbglobals.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"

namespace {

struct TTransitionRow {
    int Effect;
    const char* Mask;  // fade mask, or null
};

// Transition numbers 0 to 28; 14 loads the water tables and 15 the halation picture.
constexpr TTransitionRow Transitions[] = {
    {0, nullptr},  // 0: none
    {0, nullptr},
    {1, nullptr},
    {0, nullptr},
    {101, "FadeMask02_TovanR.bmp"},
    {101, "FadeMask03_TovanL.bmp"},
    {101, "FadeMask00_BlindR.bmp"},
    {101, "FadeMask01_BlindL.bmp"},
    {3, nullptr},
    {4, nullptr},
    {5, nullptr},
    {6, nullptr},
    {7, nullptr},
    {9, nullptr},
    {11, nullptr},
    {12, nullptr},
    {101, "FadeMask04_Circle.bmp"},
    {101, "FadeMask05_CircleR.bmp"},
    {101, "FadeMask06_Clock.bmp"},
    {101, "FadeMask07_Swirl.bmp"},
    {101, "FadeMask08_Crystal.bmp"},
    {100, "FadeMask09_StripesB.bmp"},
    {101, "FadeMask10_StripesN.bmp"},
    {101, "FadeMask11_Star.bmp"},
    {101, "FadeMask12_Radiation.bmp"},
    {101, "FadeMask13_RadiationR.bmp"},
    {101, "FadeMask14_Windmill.bmp"},
    {101, "FadeMask15_Naruto.bmp"},
    {101, "FadeMask16_Noise.bmp"},
};
constexpr int TransitionCount = static_cast<int>(sizeof Transitions / sizeof Transitions[0]);

constexpr int WhiteFlash = 4;
constexpr int FlashEffect = 1;

}  // namespace

int TAvgUnit::TransitionSetup(int number)
{
    if (number < 0 || number >= TransitionCount)
        return 0;
    const TTransitionRow& row = Transitions[number];
    if (number == 14) {
        if (WaterTable)
            WaterTable->Load(PackFileMan);
    } else if (number == 15) {
        if (HalationImage)
            HalationImage->Load(PackFileMan, static_cast<int>(BitDepth));
    } else if (row.Mask && FadeAlphaMask) {
        FadeAlphaMask->Load(PackFileMan, row.Mask);
    }
    return row.Effect;
}

void TAvgUnit::FreeTransResources(int number)
{
    if (number == 14) {
        if (WaterTable)
            WaterTable->Free();
    } else if (number == 15) {
        if (HalationImage)
            HalationImage->Free();
    } else if ((number >= 4 && number <= 7) || number >= 16) {
        if (FadeAlphaMask)
            FadeAlphaMask->Free();
    }
}

void TAvgUnit::ShowSlotPanels()
{
    for (int s = 0; s < 3; ++s)
        if (CharNo[s] >= 0)
            SlotPanel(s)->SetVisible(true);
}

void TAvgUnit::ChangeScene(int number, uint8_t mode)
{
    TransKind = CtrlSkip || SkipMode ? 0 : number;
    TransMode = number >= 8 && number <= 15 && mode == 0 ? 0 : mode == 1 ? 1 : 2;
    WeatherBack->SetVisible(false);
    WeatherFront->SetVisible(false);

    TVeRGBPanel* mesWin = PopupWin ? PopupWin->MesWin : nullptr;
    const bool hideMes = TransKind != 0 && MesWinOpen && TransMode != 2 && mesWin && mesWin->Visible();
    TVeRGBBits* oldImage = nullptr;
    TVeRGBBits* newImage = nullptr;
    if (TransKind != 0) {
        oldImage = NewEffectPicture();
        newImage = NewEffectPicture();
        if (hideMes)
            mesWin->SetVisible(false);
        DrawPanelTo(AvgPanel, oldImage);
    }

    const int effect = BGEffect;
    const int tone = BGTone;
    LoadBackground();
    if (BGEffect != effect || BGTone != tone)
        CharNo = {-1, -1, -1};
    for (int s = 0; s < 3; ++s)
        LoadCharacter(s);
    CharOrder = CharOrderRequest;
    ApplyCharOrder(CharOrder);

    if (TransKind != 0) {
        DrawPanelTo(AvgPanel, newImage);
        if (hideMes)
            mesWin->SetVisible(true);
    }
    if (WeatherKind != 0 && WeatherKind != 4) {
        WeatherBack->SetVisible(true);
        WeatherFront->SetVisible(true);
        WeatherBack->SetModify();
        WeatherFront->SetModify();
    }

    if (TransKind != 0) {
        bool accepted = false;
        if (oldImage && newImage) {
            int effectNo = 0;
            try {
                effectNo = TransitionSetup(number);
            } catch (...) {
                DeletePicture(oldImage);
                DeletePicture(newImage);
                throw;
            }
            accepted = SvcSetTransition(effectNo, oldImage, newImage);
        } else {
            DeletePicture(oldImage);
            DeletePicture(newImage);
        }
        if (!accepted) {
            FreeTransResources(number);
            TransKind = 0;
        }
    }
    if (TransKind == 0) {
        Wait(1);
    } else {
        Phase = 4;
        if (TransMode == 1) {
            for (int s = 0; s < 3; ++s)
                SlotPanel(s)->SetVisible(false);
            WeatherBack->SetVisible(false);
            WeatherFront->SetVisible(false);
            DeletePicture(TransImage);
            TransImage = NewEffectPicture();
            if (TransImage)
                SvcDrawTransition(TransImage, nullptr);
            BGPanel->SetModify();
        } else {
            SvcInstallTransitionProcs(true);
        }
        SvcResetFrameCounters();
    }
    SvcForceRender();
}

void TAvgUnit::PhaseTransition(int steps, bool skipping)
{
    if (SvcTransitionIdle() || skipping) {
        if (TransMode == 1) {
            ShowSlotPanels();
            if (WeatherKind >= 1 && WeatherKind <= 3) {
                WeatherBack->SetVisible(true);
                WeatherFront->SetVisible(true);
            }
            DeletePicture(TransImage);
        } else {
            SvcInstallTransitionProcs(false);
        }
        SvcEndTransition();
        FreeTransResources(TransKind);
        Phase = 3;
        BGPanel->SetModify();
        return;
    }
    SvcAdvanceTransition(steps);
    if (TransMode == 1) {
        if (TransImage)
            SvcDrawTransition(TransImage, nullptr);
        BGPanel->SetModify();
    }
}

void TAvgUnit::Wait(int frames)
{
    WaitCount = CtrlSkip || SkipMode ? 1 : frames;
    Phase = 10;
}

void TAvgUnit::Shake(int kind)
{
    if (CtrlSkip || SkipMode)
        return;
    ShakeKind = kind;
    ShakeCount = 0;
    TVeRGBPanel* mesWin = PopupWin ? PopupWin->MesWin : nullptr;
    if (kind >= 0 && kind <= 3) {
        DeletePicture(ShakeImage);
        ShakeImage = NewEffectPicture();
        if (ShakeImage) {
            const bool hide = MesWinOpen && mesWin && mesWin->Visible();
            if (hide)
                mesWin->SetVisible(false);
            DrawPanelTo(AvgPanel, ShakeImage);
            if (hide)
                mesWin->SetVisible(true);
            for (int s = 0; s < 3; ++s)
                SlotPanel(s)->SetVisible(false);
            Phase = 11;
            ShakeStep(0);
            BGPanel->SetModify();
            SvcResetFrameCounters();
        }
    } else if (kind == WhiteFlash) {
        TVeRGBBits* first = NewEffectPicture();
        TVeRGBBits* second = NewEffectPicture();
        if (!first || !second) {
            DeletePicture(first);
            DeletePicture(second);
            return;
        }
        DrawPanelTo(AvgPanel, first);
        second->BoxFill(0, 0, 639, 479, 0xFFFFFF);
        if (!SvcSetTransition(FlashEffect, first, second))
            return;
        Phase = 11;
        SvcInstallTransitionProcs(true);
        SvcResetFrameCounters();
    }
    SvcForceRender();
}

bool TAvgUnit::ShakeStep(int i)
{
    ShakeX = 0;
    ShakeY = 0;
    switch (ShakeKind) {
    case 0:
        if (i < 0 || i > 8)
            return false;
        ShakeY = i % 2 == 0 ? -16 : 16;
        return true;
    case 1:
        if (i < 0 || i > 8)
            return false;
        ShakeX = i % 2 == 0 ? -16 : 16;
        return true;
    case 2:
        if (i < 0 || i > 8)
            return false;
        ShakeX = 16 * (GameRandom ? GameRandom->Random(3) : 1) - 16;
        ShakeY = 16 * (GameRandom ? GameRandom->Random(3) : 1) - 16;
        return true;
    case 3:
        if (i < 0 || i > 5)
            return false;
        ShakeY = i <= 3 ? -4 * (i + 1) : i == 4 ? -32 : 32;
        return true;
    default:
        return false;
    }
}

void TAvgUnit::PhaseShake(int steps, bool skipping)
{
    if (ShakeKind != WhiteFlash) {
        ++ShakeCount;
        if (ShakeCount % 2 == 0 || skipping) {
            if (!ShakeStep(ShakeCount / 2) || skipping) {
                ShowSlotPanels();
                DeletePicture(ShakeImage);
                Phase = 3;
            }
            BGPanel->SetModify();
        }
        return;
    }
    if (!SvcTransitionIdle() && !skipping) {
        SvcAdvanceTransition(steps);
        return;
    }
    if (ShakeCount == 0 && !skipping) {
        SvcEndTransition();
        TVeRGBBits* first = NewEffectPicture();
        TVeRGBBits* second = NewEffectPicture();
        bool accepted = false;
        if (first && second) {
            first->BoxFill(0, 0, 639, 479, 0xFFFFFF);
            DrawPanelTo(AvgPanel, second);
            accepted = SvcSetTransition(FlashEffect, first, second);
        } else {
            DeletePicture(first);
            DeletePicture(second);
        }
        if (!accepted) {
            Phase = 3;
            SvcInstallTransitionProcs(false);
        }
        SvcResetFrameCounters();
        ShakeCount = 1;
    } else {
        SvcEndTransition();
        SvcInstallTransitionProcs(false);
        Phase = 3;
    }
    BGPanel->SetModify();
}
