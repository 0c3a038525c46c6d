#pragma once
// The popups of a running scene: the message window, the choice window, the in-game menu and
// the exit confirmation. Each one only shows itself, animates frame by frame, reports the
// player's pick through a closure set by its owner and answers queries; the owner decides what
// a pick means and calls the Update operations once a frame.
//
// Animations count frames: the message and choice windows open and close in 4 frames, the menu
// in 3 steps and the message text cross-fades in 8 steps.
//
// Every picture is loaded through the file manager given to Setup, with the game's picture
// helpers, so every object they make lives in MemMan and has BitDepth bytes per pixel.
// Everything runs on the thread that runs frames; nothing here takes a lock.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/Vergbcolor.h"
#include "panels/Vergbbtn.h"
#include "panels/Vergbpanel.h"
#include "panels/Vergbtext.h"
#include "platform/Classes.h"

class TFileMan;
class TVeAlpha;
class TVeRGBBits;

// The message window's frame: 0 none, 1 the first picture, 2 the second.
using TMesBoxType = int;

using TPopupEvent = std::function<void()>;

class TPopupWin : public TComponent {
public:
    static constexpr int MesLines = 4;
    // Columns of a message line (a single byte takes one, a double-byte character two).
    static constexpr int MesColumns = 48;
    static constexpr int MesLinePitch = 23;
    static constexpr int MesTextWidth = 490;
    static constexpr int MesTextHeight = 89;
    static constexpr int MakerLineHeight = 20;
    static constexpr int SelLines = 3;
    static constexpr int SelLineBytes = 49;
    static constexpr int SelLinePitch = 29;
    static constexpr int MesFrames = 4;
    static constexpr int FadeSteps = 8;
    static constexpr int MenuSteps = 3;
    static constexpr int MenuButtons = 6;

    explicit TPopupWin(TComponent* Owner);
    ~TPopupWin() override;

    // The panels.
    TVeRGBPanel* MesBox;
    TVeRGBPanel* MesFrame;
    TVeRGBPanel* MesText;
    TVeRGBBtn* NextIcon;
    TVeRGBBtn* LookBtn;
    TVeRGBBtn* SkipBtn;
    TVeRGBPanel* SelWin;
    TVeRGBPanel* SelCur;
    TVeRGBPanel* SelText;
    TVeRGBPanel* MesWin;
    TVeRGBText* MesTextMaker;
    TVeRGBPanel* MenuWin;
    TVeRGBPanel* MenuFrame;
    TVeRGBBtn* MenuBtn1;
    TVeRGBBtn* MenuBtn2;
    TVeRGBBtn* MenuBtn3;
    TVeRGBBtn* MenuBtn4;
    TVeRGBBtn* MenuBtn5;
    TVeRGBBtn* MenuBtn6;
    TVeRGBPanel* ExitWin;
    TVeRGBPanel* ExitFrame;
    TVeRGBBtn* ExitBtnYes;
    TVeRGBBtn* ExitBtnNo;

    // Builds every popup; false (with everything made released again) when a panel image or
    // plane cannot be made. A missing picture only leaves its panel without one.
    bool Setup(TFileMan* fileMan);
    void Release();
    bool IsSetUp() const { return FSetUp; }

    // Shared panel handlers.
    void PanelCreate(TObject* Sender);
    void PanelRelease(TObject* Sender);
    void MesTextMakerCreate(TObject* Sender);
    void MesTextMakerRelease(TObject* Sender);

    // The message window.
    void LoadMesWinImages();
    void SetMesBoxColor(uint32_t colour);
    void SetMesWinType(TMesBoxType type);
    void SetReadTint(int on);
    void AttachMesWin(TVeRGBPanel* parent);
    void DetachMesWin();
    void SetOnMesClick(TPopupEvent e) { FOnMesClick = std::move(e); }
    void SetOnLook(TPopupEvent e) { FOnLook = std::move(e); }
    void SetOnSkip(TPopupEvent e) { FOnSkip = std::move(e); }
    void SetOnMesRightClick(TPopupEvent e) { FOnMesRightClick = std::move(e); }
    void OpenMesWin(bool immediate);
    void CloseMesWin(bool immediate);
    void LayoutMesText(const std::string& text, TVeAlpha* target);
    void SetMesText(const std::string& text);
    void ClearMesText();
    void FadeMesText(const std::string& text);
    void SetNextIconVisible(bool visible);
    // One frame of the window's animation or text fade; true when idle. finish ends it at once.
    bool UpdateMesWin(bool finish);
    bool MesBoxDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    bool MesFrameDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    void MesWinMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void LookBtnClick(TObject* Sender);
    void SkipBtnClick(TObject* Sender);

    // The message lines as laid out: the text split at line feeds, long lines broken after 48
    // columns (a closing mark may hang in the column past them), at most four lines.
    static std::array<std::string, MesLines> LayoutMesLines(const std::string& text);
    // A choice line as drawn: cut after 49 bytes without splitting a double-byte character.
    static std::string CutSelLine(const std::string& line);
    // True when the two bytes at pos are one of the closing marks allowed past a full line, in
    // the text code page.
    static bool IsKinsoku(const std::string& s, size_t pos);
    // The text colour for a box colour: light on a dark box, dark on a light one.
    static uint32_t TextColorFor(uint32_t boxColour, bool tint);

    uint32_t MesBoxColor() const { return FBoxColor.ToDWORD(); }
    TMesBoxType MesWinType() const { return FWinType; }
    uint32_t MesTextColor() const { return TextColorFor(FBoxColor.ToDWORD(), FReadTint != 0); }
    // 0 idle, 1 opening, 2 closing, 3 text fade.
    int MesAnimeState() const { return FMesState; }
    TVeAlpha* NewTextAlpha() const { return FNewAlpha; }
    TVeAlpha* OldTextAlpha() const { return FOldAlpha; }

    // The choice window.
    void AttachSelWin(TVeRGBPanel* parent);
    void DetachSelWin();
    void SetOnSelect(TPopupEvent e) { FOnSelect = std::move(e); }
    void SetOnSelRightClick(TPopupEvent e) { FOnSelRightClick = std::move(e); }
    void OpenSelWin();
    void CloseSelWin();
    int SetSelText(const std::string& text);
    void SetSelCursor(int i);
    void SelCursorUp();
    void SelCursorDown();
    void SelectChoice();
    void SetSelCursorVisible(bool visible);
    // True only on the frame on which an opening or closing ends.
    bool UpdateSelWin();
    int GetSelIndex() const { return FSelIndex; }
    int GetSelCount() const { return FSelCount; }
    bool SelWinDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    void SelWinMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void SelWinMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    // The choice row under (X, Y) of the window, or -1.
    static int SelLineAt(int X, int Y);

    // The in-game menu.
    void AttachMenuWin(TVeRGBPanel* parent);
    void DetachMenuWin();
    void SetMenuBtnEnabled(int i, bool on);
    void SetOnMenu(TPopupEvent e) { FOnMenu = std::move(e); }
    int GetMenuIndex() const { return FMenuIndex; }
    void OpenMenu();
    void CloseMenu();
    // True when idle or on the frame the animation ends.
    bool UpdateMenu();
    bool MenuFrameDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    void MenuBtnClick(TObject* Sender);
    void MenuMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    TVeRGBBtn* MenuButton(int i) const { return i >= 0 && i < MenuButtons ? FMenuBtn[i] : nullptr; }

    // The exit confirmation.
    void ShowExitConfirm(TVeRGBPanel* parent);
    void HideExitConfirm();
    void SetOnExitConfirm(TPopupEvent e) { FOnExitConfirm = std::move(e); }
    bool GetExitConfirmResult() const { return FExitResult; }
    void ExitBtnYesClick(TObject* Sender);
    void ExitBtnNoClick(TObject* Sender);

private:
    // A panel of this object at (x, y) of its parent, w x h.
    template <class T>
    T* MakePanel(TVeRGBPanel* parent, int x, int y, int w, int h)
    {
        T* p = parent ? new T(this, parent) : new T(this);
        p->SetOffsetX(x);
        p->SetOffsetY(y);
        p->SetSizeX(w);
        p->SetSizeY(h);
        return p;
    }
    void BuildMesPanels();
    void BuildSelPanels();
    void BuildMenuPanels();
    void BuildExitPanels();
    bool SetupSteps();
    void ReleaseMesWinImages();
    void FillMesTextColor();
    void FadeStep();
    // Draws the rows [top, bottom) of the panel's picture through its alpha as a band that
    // opens from the middle: d rows are cut at the top and at the bottom of the panel, and the
    // picture's middle is left out so that its top and bottom edges stay at the band's edges.
    static bool DrawBand(TVeRGBPanel* panel, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY,
                         int d);
    static int BandCut(int height, int framesLeft, bool opening);
    // Called through a copy: the closure may replace or clear itself while it runs.
    static void Call(const TPopupEvent& e)
    {
        if (TPopupEvent copy = e)
            copy();
    }

    bool FSetUp = false;
    TFileMan* FFileMan = nullptr;
    int FMesState = 0;
    TVeRGB FBoxColor = TVeRGB(0x404080);
    TMesBoxType FWinType = 1;
    int FReadTint = 0;
    int FMesCount = 0;
    int FFadeCount = 0;
    TVeAlpha* FNewAlpha = nullptr;
    TVeAlpha* FOldAlpha = nullptr;
    TPopupEvent FOnMesClick;
    TPopupEvent FOnLook;
    TPopupEvent FOnSkip;
    TPopupEvent FOnMesRightClick;

    int FSelState = 0;
    int FSelFrames = 0;
    int FSelCount = 0;
    int FSelIndex = 0;
    TPopupEvent FOnSelect;
    TPopupEvent FOnSelRightClick;
    int FMenuState = 0;
    int FMenuStep = 0;
    TPopupEvent FOnMenu;
    int FMenuIndex = 0;
    std::array<TVeRGBBtn*, MenuButtons> FMenuBtn{};
    TPopupEvent FOnExitConfirm;
    bool FExitResult = false;
};

extern TPopupWin* PopupWin;
