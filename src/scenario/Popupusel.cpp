// The choice window, the in-game menu and the exit confirmation of the popups.

#include <algorithm>

#include "base/Vealpha.h"
#include "base/Vergbbits.h"
#include "base/Vestring.h"
#include "platform/Codepage.h"
#include "scenario/Popupu.h"

namespace {

// Choice geometry in the window's coordinates.
constexpr int SelLeft = 23;
constexpr int SelRight = 522;
constexpr int SelCursorTop = 24;
constexpr int SelCursorHeight = 28;  // a press on the row below the bar still finds its line

}  // namespace

void TPopupWin::BuildSelPanels()
{
    auto create = [this](TObject* s) { PanelCreate(s); };
    auto release = [this](TObject* s) { PanelRelease(s); };

    SelWin = MakePanel<TVeRGBPanel>(nullptr, 46, 152, 550, 136);
    SelWin->Hide();
    SelWin->SetAutoSize(false);
    SelWin->SetText("SelFrame_wm.png");
    SelWin->OnCreate = create;
    SelWin->OnRelease = release;
    SelWin->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { SelWinMouseMove(s, sh, x, y); };
    SelWin->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        SelWinMouseDown(s, b, sh, x, y);
    };
    SelWin->OnDraw = [this](TObject* s, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return SelWinDraw(s, d, x, y, sx, sy, dx, dy);
    };

    SelCur = MakePanel<TVeRGBPanel>(SelWin, SelLeft, SelCursorTop, 500, SelCursorHeight);
    SelCur->SetMouseControl(false);
    SelCur->SetAutoSize(false);
    SelCur->SetText("SelCursor_wm.png");
    SelCur->OnCreate = create;
    SelCur->OnRelease = release;

    SelText = MakePanel<TVeRGBPanel>(SelWin, SelLeft, 28, MesTextWidth, 78);
    SelText->SetMouseControl(false);
    SelText->SetAutoSize(false);
}

void TPopupWin::BuildMenuPanels()
{
    auto create = [this](TObject* s) { PanelCreate(s); };
    auto release = [this](TObject* s) { PanelRelease(s); };
    auto rightClick = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        MenuMouseDown(s, b, sh, x, y);
    };

    MenuWin = MakePanel<TVeRGBPanel>(nullptr, 0, 0, 640, 480);
    MenuWin->SetAutoSize(false);
    MenuWin->OnMouseDown = rightClick;

    MenuFrame = MakePanel<TVeRGBPanel>(MenuWin, 235, 121, 170, 160);
    MenuFrame->SetAutoSize(false);
    MenuFrame->SetText("MenuFrame_wm.png");
    MenuFrame->OnCreate = create;
    MenuFrame->OnRelease = release;
    MenuFrame->OnMouseDown = rightClick;
    MenuFrame->OnDraw = [this](TObject* s, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return MenuFrameDraw(s, d, x, y, sx, sy, dx, dy);
    };

    for (int n = 1; n <= MenuButtons; ++n) {
        TVeRGBBtn* b = MakePanel<TVeRGBBtn>(MenuFrame, 24, 27 + 20 * (n - 1), 122, 20);
        b->Tag = n - 1;
        b->SetAutoSize(false);
        b->SetNumBlock(9);
        b->SetText("Menu0" + std::to_string(n) + "_wm.png");
        b->SetPatFocus(7);
        b->SetPatDisable(1);
        b->SetAnimeWait(4);
        b->SetAnimeType(batRoundtrip);
        b->OnClick = [this](TObject* s) { MenuBtnClick(s); };
        b->OnMouseDown = rightClick;
        b->OnCreate = create;
        b->OnRelease = release;
        FMenuBtn[static_cast<size_t>(n - 1)] = b;
    }
    MenuBtn1 = FMenuBtn[0];
    MenuBtn2 = FMenuBtn[1];
    MenuBtn3 = FMenuBtn[2];
    MenuBtn4 = FMenuBtn[3];
    MenuBtn5 = FMenuBtn[4];
    MenuBtn6 = FMenuBtn[5];
}

void TPopupWin::BuildExitPanels()
{
    auto create = [this](TObject* s) { PanelCreate(s); };
    auto release = [this](TObject* s) { PanelRelease(s); };

    ExitWin = MakePanel<TVeRGBPanel>(nullptr, 0, 0, 640, 480);
    ExitWin->SetKeyControl(true);

    ExitFrame = MakePanel<TVeRGBPanel>(ExitWin, 216, 186, 208, 108);
    ExitFrame->SetText("ExitFrame_wm.png");
    ExitFrame->OnCreate = create;
    ExitFrame->OnRelease = release;

    auto button = [&](int x, const char* file) {
        TVeRGBBtn* b = MakePanel<TVeRGBBtn>(ExitFrame, x, 58, 43, 22);
        b->SetNumBlock(5);
        b->SetText(file);
        b->SetPatFocus(1);
        b->SetPatSelected(1);
        b->SetPatDown(1);
        b->SetPatDisable(1);
        b->OnCreate = create;
        b->OnRelease = release;
        return b;
    };
    ExitBtnYes = button(81, "ExitYes_wm.png");
    ExitBtnYes->OnClick = [this](TObject* s) { ExitBtnYesClick(s); };
    ExitBtnNo = button(136, "ExitNo_wm.png");
    ExitBtnNo->OnClick = [this](TObject* s) { ExitBtnNoClick(s); };
}

std::string TPopupWin::CutSelLine(const std::string& line)
{
    if (line.size() <= static_cast<size_t>(SelLineBytes))
        return line;
    // Choices never wrap: a double-byte character across the cut goes, unless it is a closing
    // mark, which may hang one column further.
    if (ByteType(line, SelLineBytes) == mbLeadByte)
        return line.substr(0, IsKinsoku(line, SelLineBytes - 1) ? SelLineBytes + 1 : SelLineBytes - 1);
    return line.substr(0, SelLineBytes);
}

void TPopupWin::AttachSelWin(TVeRGBPanel* parent)
{
    SelWin->SetParent(parent);
}

void TPopupWin::DetachSelWin()
{
    SelWin->SetParent(nullptr);
}

void TPopupWin::OpenSelWin()
{
    SelWin->Show();
    SelCur->Hide();
    SelText->Hide();
    FSelFrames = MesFrames;
    FSelState = 1;
    SelWin->SetModify();
}

void TPopupWin::CloseSelWin()
{
    SelText->Hide();
    FSelFrames = MesFrames;
    FSelState = 2;
    SelWin->SetModify();
}

int TPopupWin::SetSelText(const std::string& text)
{
    std::string lines[SelLines];
    SeparateString(text, lines, SelLines);
    TVeAlpha* target = SelText->Alpha();
    if (target)
        target->Fill(0);
    int count = 0;
    while (count < SelLines && !lines[count].empty()) {
        MesTextMaker->SetText(CutSelLine(lines[count]));
        if (TVeAlpha* line = MesTextMaker->AlphaPlane(); line && target)
            target->Draw(0, SelLinePitch * count, line, 0, 0, MesTextWidth, MakerLineHeight);
        ++count;
    }
    FSelCount = count;
    SelText->SetModify();
    // The cursor never stays on a line that no longer exists.
    if (FSelIndex >= std::max(count, 1))
        SetSelCursor(count - 1);
    return count;
}

void TPopupWin::SetSelCursor(int i)
{
    // Kept on a laid-out line (the first one when there is none), so that the index handed to
    // the script always names a choice it offered.
    FSelIndex = std::clamp(i, 0, std::max(FSelCount - 1, 0));
    SelCur->SetOffsetY(SelCursorTop + SelLinePitch * FSelIndex);
}

void TPopupWin::SelCursorUp()
{
    if (FSelIndex > 0)
        SetSelCursor(FSelIndex - 1);
}

void TPopupWin::SelCursorDown()
{
    if (FSelIndex < FSelCount - 1)
        SetSelCursor(FSelIndex + 1);
}

void TPopupWin::SelectChoice()
{
    Call(FOnSelect);
}

void TPopupWin::SetSelCursorVisible(bool visible)
{
    SelCur->SetVisible(visible);
}

bool TPopupWin::UpdateSelWin()
{
    if (FSelState != 1 && FSelState != 2)
        return false;
    if (FSelFrames > 0) {
        --FSelFrames;
        SelWin->SetModify();
    }
    if (FSelFrames > 0)
        return false;
    if (FSelState == 1) {
        SelText->Show();
        SelCur->Show();
    } else {
        SelWin->Hide();
        SelCur->Show();
    }
    FSelState = 0;
    return true;
}

bool TPopupWin::SelWinDraw(TObject*, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    TVeRGBBits* image = SelWin->Image();
    TVeAlpha* alpha = SelWin->Alpha();
    if (!image || !alpha || !image->Created() || !alpha->Created())
        return false;
    if (FSelState == 1 || FSelState == 2)
        return DrawBand(SelWin, DestBits, X, Y, SX, SY, DX, DY, BandCut(SelWin->SizeY(), FSelFrames, FSelState == 1));
    DestBits->DrawAlphaMask(X, Y, image, SX, SY, DX, DY, alpha);
    return true;
}

int TPopupWin::SelLineAt(int X, int Y)
{
    if (X < SelLeft || X > SelRight)
        return -1;
    for (int i = 0; i < SelLines; ++i)
        if (SelCursorTop + SelLinePitch * i <= Y && Y <= SelCursorTop + SelCursorHeight + SelLinePitch * i)
            return i;
    return -1;
}

void TPopupWin::SelWinMouseMove(TObject*, TShiftState, int X, int Y)
{
    const int i = SelLineAt(X, Y);
    if (i >= 0 && i < FSelCount && i != FSelIndex)
        SetSelCursor(i);
}

void TPopupWin::SelWinMouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y)
{
    if (Button == mbRight) {
        Call(FOnSelRightClick);
        return;
    }
    if (Button != mbLeft)
        return;
    const int i = SelLineAt(X, Y);
    if (i < 0 || i >= FSelCount)
        return;
    if (i != FSelIndex)
        SetSelCursor(i);
    if (FSelState == 0)
        SelectChoice();
}

void TPopupWin::AttachMenuWin(TVeRGBPanel* parent)
{
    MenuWin->Hide();
    MenuWin->SetParent(parent);
    FMenuState = 0;
}

void TPopupWin::DetachMenuWin()
{
    MenuWin->SetParent(nullptr);
}

void TPopupWin::SetMenuBtnEnabled(int i, bool on)
{
    if (TVeRGBBtn* b = MenuButton(i))
        b->SetEnabled(on);
}

void TPopupWin::OpenMenu()
{
    MenuWin->Show();
    FMenuState = 1;
    FMenuStep = 0;
    for (TVeRGBBtn* b : FMenuBtn)
        b->Hide();
    MenuFrame->SetModify();
}

void TPopupWin::CloseMenu()
{
    MenuWin->Show();
    FMenuState = 2;
    FMenuStep = 0;
    MenuFrame->SetModify();
}

bool TPopupWin::UpdateMenu()
{
    if (FMenuState != 1 && FMenuState != 2)
        return true;
    if (FMenuStep < MenuSteps) {
        // Opening shows the pairs top down, closing hides them bottom up.
        const int pair = FMenuState == 1 ? FMenuStep : MenuSteps - 1 - FMenuStep;
        for (int b = 2 * pair; b <= 2 * pair + 1; ++b)
            FMenuBtn[static_cast<size_t>(b)]->SetVisible(FMenuState == 1);
        ++FMenuStep;
    }
    bool done = false;
    if (FMenuStep >= MenuSteps) {
        if (FMenuState == 2)
            MenuWin->Hide();
        FMenuState = 0;
        done = true;
    }
    MenuFrame->SetModify();
    return done;
}

bool TPopupWin::MenuFrameDraw(TObject*, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    if (FMenuState != 1 && FMenuState != 2)
        return false;
    TVeRGBBits* image = MenuFrame->Image();
    TVeAlpha* alpha = MenuFrame->Alpha();
    if (!image || !alpha || !image->Created() || !alpha->Created())
        return false;
    const int k = std::clamp(FMenuState == 1 ? FMenuStep : 2 - FMenuStep, 0, MenuSteps);
    const int edge = 27 + 40 * k;
    // The frame's top with the rows for k button pairs, then its bottom 13 rows as the edge.
    auto rows = [&](int rowTop, int rowBottom, int pictureTop) {
        int top = std::max({rowTop, SY, rowTop - pictureTop});
        const int bottom = std::min(rowBottom, SY + DY);
        if (top < bottom && DX > 0)
            DestBits->DrawAlphaMask(X, Y + (top - SY), image, SX, pictureTop + (top - rowTop), DX, bottom - top,
                                    alpha);
    };
    rows(0, edge, 0);
    rows(edge, edge + 13, image->Height() - 13);
    return true;
}

void TPopupWin::MenuBtnClick(TObject* Sender)
{
    const auto* c = dynamic_cast<const TComponent*>(Sender);
    FMenuIndex = c ? c->Tag : -1;
    Call(FOnMenu);
}

void TPopupWin::MenuMouseDown(TObject*, TMouseButton Button, TShiftState, int, int)
{
    if (Button != mbRight)
        return;
    FMenuIndex = -1;
    Call(FOnMenu);
}

void TPopupWin::ShowExitConfirm(TVeRGBPanel* parent)
{
    ExitFrame->SetOffsetX((640 - ExitFrame->SizeX()) / 2);
    ExitFrame->SetOffsetY((480 - ExitFrame->SizeY()) / 2);
    FExitResult = false;
    ExitWin->SetParent(parent);
}

void TPopupWin::HideExitConfirm()
{
    ExitWin->SetParent(nullptr);
}

void TPopupWin::ExitBtnYesClick(TObject*)
{
    FExitResult = true;
    Call(FOnExitConfirm);
}

void TPopupWin::ExitBtnNoClick(TObject*)
{
    FExitResult = false;
    Call(FOnExitConfirm);
}
