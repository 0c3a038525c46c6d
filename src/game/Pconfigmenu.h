#pragma once
// The settings screen: three volume sliders, three sliders for the message box colour with a
// colour sample, the frame-rate mode, the message-window type, the movie quality, a button that
// restores the standard values and one that leaves. Every control acts at once: volumes and
// the frame-rate mode go to the main form, the rest into MesBoxConfig, which the owner stores
// after OnExit. Runs on the thread that runs frames and takes no lock.

#include <functional>

#include "panels/Vergbbtn.h"
#include "panels/Vergbnum.h"
#include "panels/Vergbpanel.h"
#include "platform/Classes.h"
#include "platform/Input.h"

class TFileMan;
class TVeRGBParts;

using TConfigExitEvent = std::function<void()>;

class TConfigMenu : public TComponent {
public:
    // The six slider rows: three volumes (0..100) then the colour bytes (0..255).
    enum TRow { rwVoice, rwBGM, rwSE, rwRed, rwGreen, rwBlue, RowCount };

    explicit TConfigMenu(TComponent* Owner);
    ~TConfigMenu() override;

    bool Setup(TFileMan* fileMan);
    void Release();
    void SetOnExit(TConfigExitEvent onExit) { OnExit = std::move(onExit); }
    bool IsSetup() const { return FSetup; }
    // The row's current setting, kept inside its range.
    int RowValue(int row) const;

    void PanelCreate(TObject* Sender);
    void PanelRelease(TObject* Sender);

    void BtnASlideVVLClick(TObject* Sender);
    void BtnASlideVVRClick(TObject* Sender);
    void BtnASlideBVLClick(TObject* Sender);
    void BtnASlideBVRClick(TObject* Sender);
    void BtnASlideSVLClick(TObject* Sender);
    void BtnASlideSVRClick(TObject* Sender);
    void BtnASlideRedLClick(TObject* Sender);
    void BtnASlideRedRClick(TObject* Sender);
    void BtnASlideGreenLClick(TObject* Sender);
    void BtnASlideGreenRClick(TObject* Sender);
    void BtnASlideBlueLClick(TObject* Sender);
    void BtnASlideBlueRClick(TObject* Sender);
    void PASliderVVMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PASliderVVMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void PASliderBVMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PASliderBVMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void PASliderSVMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PASliderSVMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void PASliderRedMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PASliderRedMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void PASliderGreenMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PASliderGreenMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void PASliderBlueMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PASliderBlueMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    bool VolumeSliderDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    bool ColorSliderDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    bool ColorSampleDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    void BtnMFPSNoSyncClick(TObject* Sender);
    void BtnMFPSFullClick(TObject* Sender);
    void BtnMFPS30Click(TObject* Sender);
    void BtnMFPS15Click(TObject* Sender);
    void BtnAMesWin1Click(TObject* Sender);
    void BtnAMesWin2Click(TObject* Sender);
    void BtnAMesWinOffClick(TObject* Sender);
    void BtnMovHighClick(TObject* Sender);
    void BtnMovNormalClick(TObject* Sender);
    void BtnMovLowClick(TObject* Sender);
    void BtnANormalSetClick(TObject* Sender);
    void BtnExitClick(TObject* Sender);

    // The screen's panels, owned by this module; the order of creation is the z-order.
    TVeRGBPanel* ConfigPanel;
    TVeRGBBtn* BtnASlideVVL;
    TVeRGBBtn* BtnASlideVVR;
    TVeRGBPanel* PASliderVV;
    TVeRGBNum* NumASlideVV;
    TVeRGBBtn* BtnASlideBVL;
    TVeRGBBtn* BtnASlideBVR;
    TVeRGBPanel* PASliderBV;
    TVeRGBNum* NumASlideBV;
    TVeRGBBtn* BtnASlideSVL;
    TVeRGBBtn* BtnASlideSVR;
    TVeRGBPanel* PASliderSV;
    TVeRGBNum* NumASlideSV;
    TVeRGBBtn* BtnASlideRedL;
    TVeRGBBtn* BtnASlideRedR;
    TVeRGBPanel* PASliderRed;
    TVeRGBNum* NumASlideRed;
    TVeRGBBtn* BtnASlideGreenL;
    TVeRGBBtn* BtnASlideGreenR;
    TVeRGBPanel* PASliderGreen;
    TVeRGBNum* NumASlideGreen;
    TVeRGBBtn* BtnASlideBlueL;
    TVeRGBBtn* BtnASlideBlueR;
    TVeRGBPanel* PASliderBlue;
    TVeRGBNum* NumASlideBlue;
    TVeRGBBtn* BtnMFPSNoSync;
    TVeRGBBtn* BtnMFPSFull;
    TVeRGBBtn* BtnMFPS30;
    TVeRGBBtn* BtnMFPS15;
    TVeRGBBtn* BtnAMesWin1;
    TVeRGBBtn* BtnAMesWin2;
    TVeRGBBtn* BtnAMesWinOff;
    TVeRGBBtn* BtnMovHigh;
    TVeRGBBtn* BtnMovNormal;
    TVeRGBBtn* BtnMovLow;
    TVeRGBBtn* BtnANormalSet;
    TVeRGBBtn* BtnExit;
    TVeRGBPanel* ColorSample;

private:
    struct TRowPanels {
        TVeRGBBtn* Left;
        TVeRGBBtn* Right;
        TVeRGBPanel* Slider;
        TVeRGBNum* Number;
    };
    TRowPanels Row(int row) const;
    void SetRowValue(int row, int value);
    void StepRow(int row, int delta);
    void SliderPress(int row, int X);
    void SliderMove(int row, TShiftState Shift, int X);
    bool DrawKnob(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY, int maximum);
    void SetFPS(int mode);
    void SetMesWinType(int type);
    void SetMovieQuality(int quality);
    void RefreshVolume(int row);
    void RefreshColor();
    void RefreshButtons();
    void RefreshAll();
    void Click();

    bool FSetup = false;
    TFileMan* FFileMan = nullptr;
    TConfigExitEvent OnExit;
    TVeRGBParts* FParts = nullptr;
};

extern TConfigMenu* ConfigMenu;
