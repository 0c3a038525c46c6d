#pragma once
// The title screen: the background, five buttons and a draggable exit confirmation. Its only
// output is the title signal raised with MainThreadSignal: 0 Start, 1 Chapter, 2 Config,
// 3 Gallery, 4 Exit. Runs on the thread that runs frames and takes no lock.

#include "panels/Vergbbtn.h"
#include "panels/Vergbpanel.h"
#include "platform/Classes.h"
#include "platform/Input.h"

class TFileMan;
class TVeRGBParts;

class TGameMenu : public TComponent {
public:
    explicit TGameMenu(TComponent* Owner);
    ~TGameMenu() override;

    bool Setup(TFileMan* fileMan);
    void Release();
    void UpdateButtons();
    bool IsSetup() const { return FSetup; }

    void PanelCreate(TObject* Sender);
    void PanelRelease(TObject* Sender);
    void BtnStartClick(TObject* Sender);
    void BtnChapterClick(TObject* Sender);
    void BtnGalleryClick(TObject* Sender);
    void BtnConfigClick(TObject* Sender);
    void BtnExitClick(TObject* Sender);
    void BtnMouseEnter(TObject* Sender);
    void ExitBtnYesClick(TObject* Sender);
    void ExitBtnNoClick(TObject* Sender);
    void ExitFrameMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void ExitFrameMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ExitFrameMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

    // The screen's panels, owned by this module; the order of creation is the z-order.
    TVeRGBPanel* MainMenuPanel;
    TVeRGBPanel* TitleMenu;
    TVeRGBBtn* BtnStart;
    TVeRGBBtn* BtnChapter;
    TVeRGBBtn* BtnGallery;
    TVeRGBBtn* BtnConfig;
    TVeRGBBtn* BtnExit;
    TVeRGBPanel* ExitWin;
    TVeRGBPanel* ExitFrame;
    TVeRGBBtn* ExitBtnYes;
    TVeRGBBtn* ExitBtnNo;

private:
    void PlaySE(const char* name);
    void Signal(int value);

    bool FSetup = false;
    TFileMan* FFileMan = nullptr;
    TVeRGBParts* FParts = nullptr;
    bool FDragging = false;
    int FDragX = 0;
    int FDragY = 0;
};

extern TGameMenu* GameMenu;
