#include "scenario/Popupu.h"

#include <algorithm>

#include "base/Vealpha.h"
#include "base/Vememman.h"
#include "base/Vergbbits.h"
#include "base/Vestring.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "platform/Codepage.h"
#include "platform/Graphics.h"

TPopupWin* PopupWin = nullptr;

namespace {

const char* const MesFrameFiles[] = {"MesWin1_wm.png", "MesWin2_wm.png"};
constexpr int LookBtnPlace[2][2] = {{537, 107}, {538, 108}};
constexpr int SkipBtnPlace[2][2] = {{525, 123}, {526, 124}};

// Where a message line must break: the scan stops once more than the line's columns are used
// or before a double-byte character that would start past them; the line's size when it fits.
// Every step starts on a character boundary, so the lead-byte test alone tells the byte types.
size_t MesLineBreak(const std::string& line)
{
    const size_t n = line.size();
    size_t p = 0;
    int c = 0;
    while (p < n && c <= TPopupWin::MesColumns) {
        const uint8_t b = static_cast<uint8_t>(line[p]);
        if (!IsLeadByte(b)) {
            ++p;
            if (b != '\\') {
                ++c;
                continue;
            }
            // A wait escape and its digits take no room; any other byte after "\" counts.
            if (p < n && line[p] == 'w') {
                ++p;
                while (p < n && line[p] >= '0' && line[p] <= '9')
                    ++p;
            }
            continue;
        }
        if (c != TPopupWin::MesColumns) {
            c += 2;
            p = std::min(p + 2, n);  // a lead byte at the very end has no trail to skip
        } else if (TPopupWin::IsKinsoku(line, p)) {
            c += 2;
            p += 2;
        } else if (p + 1 == n) {
            c += 1;
            p += 1;
        } else {
            return p;
        }
    }
    return p;
}

}  // namespace

TPopupWin::TPopupWin(TComponent* Owner) : TComponent(Owner)
{
    BuildMesPanels();
    BuildSelPanels();
    BuildMenuPanels();
    BuildExitPanels();
}

TPopupWin::~TPopupWin()
{
    if (FSetUp)
        Release();
}

void TPopupWin::BuildMesPanels()
{
    MesWin = MakePanel<TVeRGBPanel>(nullptr, 42, 330, 560, 146);
    MesWin->SetMouseControl(false);

    MesBox = MakePanel<TVeRGBPanel>(MesWin, 14, 17, 526, 116);
    MesBox->SetAutoSize(false);
    MesBox->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        MesWinMouseDown(s, b, sh, x, y);
    };
    MesBox->OnDraw = [this](TObject* s, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return MesBoxDraw(s, d, x, y, sx, sy, dx, dy);
    };

    MesFrame = MakePanel<TVeRGBPanel>(MesWin, 0, 0, 560, 146);
    MesFrame->Hide();
    MesFrame->SetAutoSize(false);
    MesFrame->OnMouseDown = MesBox->OnMouseDown;
    MesFrame->OnDraw = [this](TObject* s, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return MesFrameDraw(s, d, x, y, sx, sy, dx, dy);
    };

    MesText = MakePanel<TVeRGBPanel>(MesBox, 18, 13, 490, 89);
    MesText->SetMouseControl(false);
    MesText->SetAutoSize(false);

    NextIcon = MakePanel<TVeRGBBtn>(MesBox, 478, 82, 22, 22);
    NextIcon->Hide();
    NextIcon->SetMouseControl(false);
    NextIcon->SetNumBlock(7);
    NextIcon->SetText("MesNextBtn_wm.png");
    NextIcon->SetPatNormal(7);
    NextIcon->SetAnimeWait(3);
    NextIcon->OnCreate = [this](TObject* s) { PanelCreate(s); };
    NextIcon->OnRelease = [this](TObject* s) { PanelRelease(s); };

    auto frameButton = [this](TPopupEvent click) {
        TVeRGBBtn* b = MakePanel<TVeRGBBtn>(MesFrame, 0, 0, 15, 15);
        b->Hide();
        b->SetNumBlock(4);
        b->SetPatFocus(1);
        b->SetPatDown(1);
        b->SetPatDisable(1);
        b->OnClick = [click](TObject*) { click(); };
        return b;
    };
    LookBtn = frameButton([this] { LookBtnClick(LookBtn); });
    SkipBtn = frameButton([this] { SkipBtnClick(SkipBtn); });

    MesTextMaker = new TVeRGBText(this);
    MesTextMaker->SetSizeX(500);
    MesTextMaker->SetSizeY(MakerLineHeight);
    MesTextMaker->Hide();
    MesTextMaker->SetMouseControl(false);
    MesTextMaker->SetAntiAliase(true);
    MesTextMaker->SetFontSize(20);
    TFont font;
    font.Name = "FZShaoEr-M11";
    font.Charset = GB2312_CHARSET;
    font.Height = -24;
    font.Pitch = fpFixed;
    MesTextMaker->SetFont(&font);
    MesTextMaker->OnCreate = [this](TObject* s) { MesTextMakerCreate(s); };
    MesTextMaker->OnRelease = [this](TObject* s) { MesTextMakerRelease(s); };
}

bool TPopupWin::Setup(TFileMan* fileMan)
{
    // A second set-up starts from scratch rather than leaking the first one's pictures.
    if (FSetUp)
        Release();
    FFileMan = fileMan;
    bool ok = false;
    try {
        ok = SetupSteps();
    } catch (const Exception&) {
        ok = false;
    }
    if (ok)
        FSetUp = true;
    else
        Release();
    return ok;
}

bool TPopupWin::SetupSteps()
{
    if (!MemMan)
        return false;
    MesTextMaker->Create();
    if (!MesTextMaker->BuffersMade())
        return false;
    for (TVeRGBPanel* root : {MesWin, SelWin, MenuWin, ExitWin})
        if (!root->AllCreate())
            return false;

    if (!InitPanelImage(MesBox, false))
        return false;
    MesBox->SetMaskMode(mmNoImage);
    LoadMesWinImages();
    MesBox->Image()->BoxFill(0, 0, MesBox->Image()->Width() - 1, MesBox->Image()->Height() - 1,
                             FBoxColor.ToDWORD());

    MesText->SetSizeX(MesTextWidth);
    MesText->SetSizeY(MesTextHeight);
    if (!InitPanelImage(MesText, true))
        return false;
    FillMesTextColor();
    MesText->Alpha()->Fill(0);

    for (TVeAlpha** plane : {&FNewAlpha, &FOldAlpha}) {
        *plane = MemMan->CreateVCL<TVeAlpha>();
        if (!*plane || !(*plane)->Resize(MesTextWidth, MesTextHeight) || !(*plane)->Create())
            return false;
    }

    SelText->SetSizeX(MesTextWidth);
    SelText->SetSizeY(78);
    if (!InitPanelImage(SelText, true))
        return false;
    SelText->Image()->BoxFill(0, 0, SelText->Image()->Width() - 1, SelText->Image()->Height() - 1, 0xFFFFFF);
    SelText->Alpha()->Fill(0);
    return true;
}

void TPopupWin::Release()
{
    ReleasePanelImage(MesBox);
    ReleaseMesWinImages();
    ReleasePanelImage(MesText);
    if (MemMan) {
        MemMan->Delete(FNewAlpha);
        MemMan->Delete(FOldAlpha);
    }
    FNewAlpha = nullptr;
    FOldAlpha = nullptr;
    ReleasePanelImage(SelText);
    MesTextMaker->Release();
    for (TVeRGBPanel* root : {MesWin, SelWin, MenuWin, ExitWin})
        root->AllRelease();
    FSetUp = false;
}

void TPopupWin::PanelCreate(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        LoadPanelImage(panel, panel->GetText(), FFileMan);
}

void TPopupWin::PanelRelease(TObject* Sender)
{
    ReleasePanelImage(dynamic_cast<TVeRGBPanel*>(Sender));
}

void TPopupWin::MesTextMakerCreate(TObject*)
{
    MesTextMaker->MakeBuffer(BitDepth == bd32 ? pf32_888 : pf24_888);
}

void TPopupWin::MesTextMakerRelease(TObject*)
{
    MesTextMaker->ReleaseBuffer();
}

void TPopupWin::LoadMesWinImages()
{
    // Any type but the two framed ones shows no frame.
    if (FWinType != 1 && FWinType != 2) {
        MesFrame->Hide();
        return;
    }
    const int t = FWinType - 1;
    LoadPanelImage(MesFrame, MesFrameFiles[t], FFileMan);
    LookBtn->SetOffsetX(LookBtnPlace[t][0]);
    LookBtn->SetOffsetY(LookBtnPlace[t][1]);
    SkipBtn->SetOffsetX(SkipBtnPlace[t][0]);
    SkipBtn->SetOffsetY(SkipBtnPlace[t][1]);
    LoadPanelImage(LookBtn, "MesHide_wm.png", FFileMan);
    LoadPanelImage(SkipBtn, "MesSkip_wm.png", FFileMan);
    MesFrame->Show();
    LookBtn->Show();
    SkipBtn->Show();
}

void TPopupWin::ReleaseMesWinImages()
{
    ReleasePanelImage(MesFrame);
    ReleasePanelImage(LookBtn);
    ReleasePanelImage(SkipBtn);
}

uint32_t TPopupWin::TextColorFor(uint32_t boxColour, bool tint)
{
    const int sum = int((boxColour >> 16) & 0xFF) + int((boxColour >> 8) & 0xFF) + int(boxColour & 0xFF);
    if (sum < 480)
        return tint ? 0xD0D0FF : 0xFFFFFF;
    return tint ? 0x404080 : 0x000000;
}

void TPopupWin::FillMesTextColor()
{
    TVeRGBBits* image = MesText->Image();
    if (!image)
        return;
    image->BoxFill(0, 0, image->Width() - 1, image->Height() - 1, MesTextColor());
    MesText->SetModify();
}

void TPopupWin::SetMesBoxColor(uint32_t colour)
{
    colour &= 0xFFFFFF;
    if (colour == FBoxColor.ToDWORD())
        return;
    FBoxColor = colour;
    if (TVeRGBBits* image = MesBox->Image())
        image->BoxFill(0, 0, image->Width() - 1, image->Height() - 1, colour);
    MesBox->SetModify();
    FillMesTextColor();
}

void TPopupWin::SetMesWinType(TMesBoxType type)
{
    if (type == FWinType)
        return;
    FWinType = type;
    // Before set-up there is nothing to swap: Setup loads the pictures of the stored type.
    if (!FSetUp)
        return;
    ReleaseMesWinImages();
    LoadMesWinImages();
}

void TPopupWin::SetReadTint(int on)
{
    if (on == FReadTint)
        return;
    FReadTint = on;
    FillMesTextColor();
}

void TPopupWin::AttachMesWin(TVeRGBPanel* parent)
{
    MesWin->Hide();
    MesWin->SetParent(parent);
}

void TPopupWin::DetachMesWin()
{
    MesWin->SetParent(nullptr);
}

void TPopupWin::OpenMesWin(bool immediate)
{
    MesWin->Show();
    if (immediate) {
        FMesCount = 0;
        // An open window shows its text and buttons, even when an animation that hid them was
        // still running; a fade it was holding back goes on by itself.
        MesText->Show();
        LookBtn->Show();
        SkipBtn->Show();
        if (FMesState == 1 || FMesState == 2)
            FMesState = FFadeCount > 0 ? 3 : 0;
        return;
    }
    MesText->Hide();
    NextIcon->Hide();
    LookBtn->Hide();
    SkipBtn->Hide();
    FMesCount = MesFrames;
    FMesState = 1;
    MesWin->SetModify();
}

void TPopupWin::CloseMesWin(bool immediate)
{
    if (immediate) {
        MesWin->Hide();
        // An animation still running would otherwise reopen or close the window later.
        if (FMesState == 1 || FMesState == 2) {
            FMesCount = 0;
            MesText->Show();
            if (FFadeCount > 0) {
                FFadeCount = 1;
                FadeStep();
            }
            FMesState = 0;
        }
        return;
    }
    MesText->Hide();
    NextIcon->Hide();
    LookBtn->Hide();
    SkipBtn->Hide();
    FMesCount = MesFrames;
    FMesState = 2;
    MesWin->SetModify();
}

bool TPopupWin::IsKinsoku(const std::string& s, size_t pos)
{
    return IsClosingMark(s, pos);
}

std::array<std::string, TPopupWin::MesLines> TPopupWin::LayoutMesLines(const std::string& text)
{
    std::array<std::string, MesLines> lines;
    SeparateString(text, lines.data(), MesLines);
    for (int i = 0; i < MesLines; ++i) {
        if (lines[i].size() <= static_cast<size_t>(MesColumns))
            continue;
        const size_t stop = MesLineBreak(lines[i]);
        if (stop >= lines[i].size())
            continue;
        std::string rest = lines[i].substr(stop);
        lines[i].resize(stop);
        if (i == MesLines - 1)
            continue;  // no room left: the rest is dropped
        for (int j = MesLines - 1; j > i + 1; --j)
            lines[j] = std::move(lines[j - 1]);
        lines[i + 1] = std::move(rest);
    }
    return lines;
}

void TPopupWin::LayoutMesText(const std::string& text, TVeAlpha* target)
{
    if (!target)
        return;
    const std::array<std::string, MesLines> lines = LayoutMesLines(text);
    target->Fill(0);
    for (int i = 0; i < MesLines; ++i) {
        if (lines[i].empty())
            continue;
        MesTextMaker->SetText(lines[i]);
        if (TVeAlpha* line = MesTextMaker->AlphaPlane())
            target->Draw(0, MesLinePitch * i, line, 0, 0, MesTextWidth, MakerLineHeight);
    }
}

void TPopupWin::SetMesText(const std::string& text)
{
    // A text shown at once wins over a fade still pending, which would otherwise paint the
    // earlier text back over it.
    FFadeCount = 0;
    if (FMesState == 3)
        FMesState = 0;
    LayoutMesText(text, MesText->Alpha());
    MesText->SetModify();
}

void TPopupWin::ClearMesText()
{
    FFadeCount = 0;
    if (FMesState == 3)
        FMesState = 0;
    if (TVeAlpha* alpha = MesText->Alpha())
        alpha->Fill(0);
    MesText->SetModify();
}

void TPopupWin::FadeMesText(const std::string& text)
{
    if (MesText->Alpha() && FOldAlpha)
        FOldAlpha->Draw(0, 0, MesText->Alpha(), 0, 0, MesTextWidth, MesTextHeight);
    LayoutMesText(text, FNewAlpha);
    if (FMesState != 1 && FMesState != 2)
        FMesState = 3;
    FFadeCount = FadeSteps;
    MesText->SetModify();
}

void TPopupWin::FadeStep()
{
    if (FFadeCount <= 0)
        return;
    --FFadeCount;
    const int weight = 128 - 8 * FFadeCount;
    if (TVeAlpha* alpha = MesText->Alpha(); alpha && FOldAlpha && FNewAlpha)
        alpha->AlphaBlend(0, 0, FOldAlpha, 0, 0, FNewAlpha, 0, 0, MesTextWidth, MesTextHeight, weight);
    MesText->SetModify();
}

void TPopupWin::SetNextIconVisible(bool visible)
{
    NextIcon->SetVisible(visible);
}

bool TPopupWin::UpdateMesWin(bool finish)
{
    switch (FMesState) {
    case 1:
    case 2:
        if (finish)
            FMesCount = 1;
        if (FMesCount > 0) {
            --FMesCount;
            MesWin->SetModify();
        }
        if (FMesCount > 0)
            return false;
        if (FMesState == 1) {
            MesText->Show();
            LookBtn->Show();
            SkipBtn->Show();
            if (FFadeCount > 0) {
                if (!finish) {
                    FMesState = 3;
                    return false;
                }
                FFadeCount = 1;
                FadeStep();
            }
        } else {
            MesWin->Hide();
            MesText->Show();
            if (FFadeCount > 0) {
                FFadeCount = 1;
                FadeStep();
            }
        }
        FMesState = 0;
        return true;
    case 3:
        if (finish && FFadeCount > 0)
            FFadeCount = 1;
        FadeStep();
        if (FFadeCount > 0)
            return false;
        FMesState = 0;
        return true;
    default:
        return true;
    }
}

int TPopupWin::BandCut(int height, int framesLeft, bool opening)
{
    framesLeft = std::clamp(framesLeft, 0, MesFrames);
    return (height / 2) * (opening ? framesLeft + 1 : 5 - framesLeft) / 6;
}

namespace {

// Draws the panel rows [rowTop, rowBottom), clipped to the asked area (SX, SY, DX, DY), from the
// picture's rows starting at pictureTop, through the alpha plane.
void DrawRows(TVeRGBBits* dest, int X, int Y, int SX, int SY, int DX, int DY, TVeRGBBits* image, TVeAlpha* alpha,
              int rowTop, int rowBottom, int pictureTop)
{
    int top = std::max(rowTop, SY);
    const int bottom = std::min(rowBottom, SY + DY);
    // Rows above the picture have nothing to show.
    if (pictureTop + (top - rowTop) < 0)
        top = rowTop - pictureTop;
    if (top >= bottom || DX <= 0)
        return;
    dest->DrawAlphaMask(X, Y + (top - SY), image, SX, pictureTop + (top - rowTop), DX, bottom - top, alpha);
}

}  // namespace

bool TPopupWin::DrawBand(TVeRGBPanel* panel, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY,
                         int d)
{
    TVeRGBBits* image = panel->Image();
    TVeAlpha* alpha = panel->Alpha();
    const int h = panel->SizeY();
    const int middle = h / 2;
    // Each lower row comes from the row that keeps the picture's bottom edge at the band's
    // bottom, whatever part of the band is asked for.
    const int lowerShift = d + (image->Height() - h);
    DrawRows(DestBits, X, Y, SX, SY, DX, DY, image, alpha, d, std::min(middle, h - d), d);
    DrawRows(DestBits, X, Y, SX, SY, DX, DY, image, alpha, std::max(middle, d), h - d, std::max(middle, d) + lowerShift);
    return true;
}

bool TPopupWin::MesBoxDraw(TObject*, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    TVeRGBBits* image = MesBox->Image();
    if (!image || !image->Created())
        return false;
    int top = std::max(SY, 0);
    int bottom = SY + DY;
    if (FMesState == 1 || FMesState == 2) {
        const int d = BandCut(MesFrame->SizeY(), FMesCount, FMesState == 1);
        top = std::max(top, d);
        bottom = std::min(bottom, MesBox->SizeY() - d);
    }
    const int left = std::max(SX, 0);
    const int right = std::min(SX + DX, image->Width());
    bottom = std::min(bottom, image->Height());
    if (left < right && top < bottom)
        DestBits->AlphaBlend(X + (left - SX), Y + (top - SY), image, left, top, right - left, bottom - top, 64);
    return true;
}

bool TPopupWin::MesFrameDraw(TObject*, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    TVeRGBBits* image = MesFrame->Image();
    TVeAlpha* alpha = MesFrame->Alpha();
    if (!image || !alpha || !image->Created() || !alpha->Created())
        return false;
    if (FMesState == 1 || FMesState == 2)
        return DrawBand(MesFrame, DestBits, X, Y, SX, SY, DX, DY,
                        BandCut(MesFrame->SizeY(), FMesCount, FMesState == 1));
    DestBits->DrawAlphaMask(X, Y, image, SX, SY, DX, DY, alpha);
    return true;
}

void TPopupWin::MesWinMouseDown(TObject*, TMouseButton Button, TShiftState, int, int)
{
    if (Button == mbLeft)
        Call(FOnMesClick);
    else if (Button == mbRight)
        Call(FOnMesRightClick);
}

void TPopupWin::LookBtnClick(TObject*)
{
    Call(FOnLook);
}

void TPopupWin::SkipBtnClick(TObject*)
{
    Call(FOnSkip);
}
