#pragma once
// The screen behind the title's Chapter and Gallery entries. MenuPanel shows, by mode, the
// episode select, the chapter list of one episode or the gallery; ViewerPanel shows one event
// picture full screen, scrollable when it is twice the screen's width or height. Every button
// hands a value to the game thread with MainThreadSignal; the game flow decides what follows.
// Runs on the thread that runs frames and takes no lock.

#include <cstdint>

#include "panels/Vergbbtn.h"
#include "panels/Vergbnum.h"
#include "panels/Vergbpanel.h"
#include "platform/Classes.h"
#include "platform/Input.h"

class TFileMan;
class TVeRGBParts;

class TChapterUnit : public TComponent {
public:
    static constexpr int ListButtonCount = 20;
    static constexpr int SheetCount = 9;
    enum TChapterMode : uint8_t { cmEpisode14, cmEpisode15, cmEpisode16, cmGallery, cmEpisodeSelect };
    enum TScrollMode : int32_t { smNone, smHorizontal, smVertical };

    explicit TChapterUnit(TComponent* Owner);
    ~TChapterUnit() override;

    bool CreateResources(TFileMan* fileMan);
    void ReleaseResources();
    bool ResourcesMade() const { return FMade; }
    void SetMode(int mode);
    int GetMode() const { return FMode; }
    bool OpenViewer(int n);
    int32_t GetScrollMode() const { return FScrollMode; }
    int32_t GetScrollPos() const { return FScrollPos; }
    bool ViewerControlsShown() const { return FControlsShown; }
    TVeRGBBtn* ListButton(int i) const { return i >= 0 && i < ListButtonCount ? FListButtons[i] : nullptr; }

    void ScrollHorizontal(int x);
    void ScrollVertical(int y);
    void UpdateViewPos();
    void ShowViewerControls();
    void HideViewerControls();

    void PanelCreate(TObject* Sender);
    void PanelRelease(TObject* Sender);
    void BtnReturnClick(TObject* Sender);
    void BtnMainMenuClick(TObject* Sender);
    void MenuSelectClick(TObject* Sender);
    void BackBtnClick(TObject* Sender);
    void ViewImageClick(TObject* Sender);
    void ViewHideClick(TObject* Sender);
    void ViewExitClick(TObject* Sender);
    void ViewHorizonMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void ViewHorizonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ViewHorizonMouseEnter(TObject* Sender);
    void ViewHorizonMouseLeave(TObject* Sender);
    void ViewVerticalMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void ViewVerticalMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ViewVerticalMouseEnter(TObject* Sender);
    void ViewVerticalMouseLeave(TObject* Sender);

    // The form's panels, owned by this unit; the order of creation is the z-order.
    TVeRGBPanel* MenuPanel;
    TVeRGBBtn* BtnReturn;
    TVeRGBBtn* BtnMainMenu;
    TVeRGBPanel* ChapterTitle;
    TVeRGBBtn* Episode14;
    TVeRGBBtn* Episode15;
    TVeRGBBtn* Episode16;
    TVeRGBPanel* ViewerPanel;
    TVeRGBPanel* ViewImage;
    TVeRGBBtn* ViewHide;
    TVeRGBBtn* ViewExit;
    TVeRGBPanel* ViewHorizon;
    TVeRGBPanel* ViewVertical;
    TVeRGBPanel* ViewPos;
    TVeRGBNum* Num1;
    TVeRGBNum* Num2;
    TVeRGBPanel* Slash;

private:
    void Click();
    void ClearSheetImages();

    bool FMade = false;
    TFileMan* FFileMan = nullptr;
    TVeRGBBits* FChapterBack = nullptr;
    TVeRGBBits* FGalleryBack = nullptr;
    TVeRGBParts* FSheets[SheetCount] = {};
    TVeRGBBtn* FListButtons[ListButtonCount] = {};
    int32_t FScrollMode = smNone;
    int32_t FScrollPos = 0;
    uint8_t FMode = cmEpisodeSelect;
    bool FControlsShown = true;
};

extern TChapterUnit* ChapterUnit;
