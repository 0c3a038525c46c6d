#include "game/Pconfigmenu.h"

#include <algorithm>

#include "base/Vememman.h"
#include "game/Gamef.h"
#include "game/Pmenuse.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbparts.h"

TConfigMenu* ConfigMenu = nullptr;

namespace {

const TVePartsData CfgPartsTable[] = {
    {0, 0, 56, 19, 2},     {56, 0, 56, 19, 2},     {112, 0, 56, 19, 2},   {168, 0, 56, 19, 2},
    {0, 38, 75, 19, 2},    {75, 38, 75, 19, 2},    {150, 38, 75, 19, 2},  {0, 76, 75, 19, 3},
    {75, 76, 75, 19, 3},   {150, 76, 75, 19, 3},   {0, 133, 146, 55, 3},  {146, 133, 146, 55, 3},
    {225, 0, 16, 16, 3},   {241, 0, 16, 16, 3},    {257, 0, 16, 16, 3},   {273, 0, 16, 16, 3},
    {225, 48, 9, 19, 1},   {292, 0, 9, 14, 10},    {301, 0, 9, 14, 10},   {-1, -1, -1, -1, -1},
};

enum : int32_t {
    ptFPSNoSync, ptFPSFull, ptFPS30, ptFPS15, ptMesWin1, ptMesWin2, ptMesWinOff, ptMovHigh, ptMovNormal, ptMovLow,
    ptNormalSet, ptExit, ptVolumeLeft, ptVolumeRight, ptColorLeft, ptColorRight, ptKnob, ptVolumeDigits, ptColorDigits
};

constexpr int RowY[TConfigMenu::RowCount] = {150, 170, 190, 309, 329, 349};
constexpr int SliderWidth = 157;
constexpr int SliderTravel = 148;  // knob positions 0..148 of the 157-pixel slider
constexpr int KnobWidth = 9;
constexpr int KnobHeight = 19;
constexpr int DigitWidth = 9;
constexpr uint32_t StandardBoxColor = 0x404080;

bool IsVolumeRow(int row)
{
    return row <= TConfigMenu::rwSE;
}

int RowMaximum(int row)
{
    return IsVolumeRow(row) ? 100 : 255;
}

void Place(TVeRGBPanel* panel, TVeRGBParts* parts, int32_t part, int x, int y)
{
    const TPartsPlace place{part, x, y, 0, 0};
    SetPanelParts(panel, parts, &place);
}

}  // namespace

TConfigMenu::TConfigMenu(TComponent* Owner) : TComponent(Owner)
{
    ConfigPanel = new TVeRGBPanel(this);
    ConfigPanel->SetText("CfgBack.png");
    ConfigPanel->OnCreate = [this](TObject* s) { PanelCreate(s); };
    ConfigPanel->OnRelease = [this](TObject* s) { PanelRelease(s); };

    auto makeButton = [this]() {
        auto* button = new TVeRGBBtn(this);
        button->SetParent(ConfigPanel);
        return button;
    };
    TRowPanels rows[RowCount];
    for (TRowPanels& row : rows) {
        row.Left = makeButton();
        row.Right = makeButton();
        row.Slider = new TVeRGBPanel(this);
        row.Slider->SetParent(ConfigPanel);
        row.Number = new TVeRGBNum(this);
        row.Number->SetParent(ConfigPanel);
        row.Number->SetColumn(3);
        row.Number->SetAutoSize(false);
        for (TVeRGBBtn* arrow : {row.Left, row.Right}) {
            arrow->SetPatDown(1);
            arrow->SetPatDisable(1);
        }
    }
    BtnASlideVVL = rows[rwVoice].Left, BtnASlideVVR = rows[rwVoice].Right;
    PASliderVV = rows[rwVoice].Slider, NumASlideVV = rows[rwVoice].Number;
    BtnASlideBVL = rows[rwBGM].Left, BtnASlideBVR = rows[rwBGM].Right;
    PASliderBV = rows[rwBGM].Slider, NumASlideBV = rows[rwBGM].Number;
    BtnASlideSVL = rows[rwSE].Left, BtnASlideSVR = rows[rwSE].Right;
    PASliderSV = rows[rwSE].Slider, NumASlideSV = rows[rwSE].Number;
    BtnASlideRedL = rows[rwRed].Left, BtnASlideRedR = rows[rwRed].Right;
    PASliderRed = rows[rwRed].Slider, NumASlideRed = rows[rwRed].Number;
    BtnASlideGreenL = rows[rwGreen].Left, BtnASlideGreenR = rows[rwGreen].Right;
    PASliderGreen = rows[rwGreen].Slider, NumASlideGreen = rows[rwGreen].Number;
    BtnASlideBlueL = rows[rwBlue].Left, BtnASlideBlueR = rows[rwBlue].Right;
    PASliderBlue = rows[rwBlue].Slider, NumASlideBlue = rows[rwBlue].Number;

    BtnASlideVVL->OnClick = [this](TObject* s) { BtnASlideVVLClick(s); };
    BtnASlideVVR->OnClick = [this](TObject* s) { BtnASlideVVRClick(s); };
    BtnASlideBVL->OnClick = [this](TObject* s) { BtnASlideBVLClick(s); };
    BtnASlideBVR->OnClick = [this](TObject* s) { BtnASlideBVRClick(s); };
    BtnASlideSVL->OnClick = [this](TObject* s) { BtnASlideSVLClick(s); };
    BtnASlideSVR->OnClick = [this](TObject* s) { BtnASlideSVRClick(s); };
    BtnASlideRedL->OnClick = [this](TObject* s) { BtnASlideRedLClick(s); };
    BtnASlideRedR->OnClick = [this](TObject* s) { BtnASlideRedRClick(s); };
    BtnASlideGreenL->OnClick = [this](TObject* s) { BtnASlideGreenLClick(s); };
    BtnASlideGreenR->OnClick = [this](TObject* s) { BtnASlideGreenRClick(s); };
    BtnASlideBlueL->OnClick = [this](TObject* s) { BtnASlideBlueLClick(s); };
    BtnASlideBlueR->OnClick = [this](TObject* s) { BtnASlideBlueRClick(s); };
    using std::placeholders::_1, std::placeholders::_2, std::placeholders::_3, std::placeholders::_4,
        std::placeholders::_5, std::placeholders::_6, std::placeholders::_7, std::placeholders::_8;
    PASliderVV->OnMouseDown = std::bind(&TConfigMenu::PASliderVVMouseDown, this, _1, _2, _3, _4, _5);
    PASliderVV->OnMouseMove = std::bind(&TConfigMenu::PASliderVVMouseMove, this, _1, _2, _3, _4);
    PASliderBV->OnMouseDown = std::bind(&TConfigMenu::PASliderBVMouseDown, this, _1, _2, _3, _4, _5);
    PASliderBV->OnMouseMove = std::bind(&TConfigMenu::PASliderBVMouseMove, this, _1, _2, _3, _4);
    PASliderSV->OnMouseDown = std::bind(&TConfigMenu::PASliderSVMouseDown, this, _1, _2, _3, _4, _5);
    PASliderSV->OnMouseMove = std::bind(&TConfigMenu::PASliderSVMouseMove, this, _1, _2, _3, _4);
    PASliderRed->OnMouseDown = std::bind(&TConfigMenu::PASliderRedMouseDown, this, _1, _2, _3, _4, _5);
    PASliderRed->OnMouseMove = std::bind(&TConfigMenu::PASliderRedMouseMove, this, _1, _2, _3, _4);
    PASliderGreen->OnMouseDown = std::bind(&TConfigMenu::PASliderGreenMouseDown, this, _1, _2, _3, _4, _5);
    PASliderGreen->OnMouseMove = std::bind(&TConfigMenu::PASliderGreenMouseMove, this, _1, _2, _3, _4);
    PASliderBlue->OnMouseDown = std::bind(&TConfigMenu::PASliderBlueMouseDown, this, _1, _2, _3, _4, _5);
    PASliderBlue->OnMouseMove = std::bind(&TConfigMenu::PASliderBlueMouseMove, this, _1, _2, _3, _4);
    for (int row = 0; row < RowCount; ++row) {
        auto draw = IsVolumeRow(row) ? &TConfigMenu::VolumeSliderDraw : &TConfigMenu::ColorSliderDraw;
        rows[row].Slider->OnDraw = std::bind(draw, this, _1, _2, _3, _4, _5, _6, _7, _8);
    }

    BtnMFPSNoSync = makeButton();
    BtnMFPSFull = makeButton();
    BtnMFPS30 = makeButton();
    BtnMFPS15 = makeButton();
    BtnAMesWin1 = makeButton();
    BtnAMesWin2 = makeButton();
    BtnAMesWinOff = makeButton();
    for (TVeRGBBtn* button : {BtnMFPSNoSync, BtnMFPSFull, BtnMFPS30, BtnMFPS15, BtnAMesWin1, BtnAMesWin2, BtnAMesWinOff})
        button->SetPatSelected(1);
    BtnMovHigh = makeButton();
    BtnMovNormal = makeButton();
    BtnMovLow = makeButton();
    for (TVeRGBBtn* button : {BtnMovHigh, BtnMovNormal, BtnMovLow}) {
        button->SetPatSelected(1);
        button->SetPatDisable(1);
    }
    BtnANormalSet = makeButton();
    BtnExit = makeButton();
    for (TVeRGBBtn* button : {BtnANormalSet, BtnExit}) {
        button->SetPatFocus(1);
        button->SetPatDown(1);
    }
    BtnMFPSNoSync->OnClick = [this](TObject* s) { BtnMFPSNoSyncClick(s); };
    BtnMFPSFull->OnClick = [this](TObject* s) { BtnMFPSFullClick(s); };
    BtnMFPS30->OnClick = [this](TObject* s) { BtnMFPS30Click(s); };
    BtnMFPS15->OnClick = [this](TObject* s) { BtnMFPS15Click(s); };
    BtnAMesWin1->OnClick = [this](TObject* s) { BtnAMesWin1Click(s); };
    BtnAMesWin2->OnClick = [this](TObject* s) { BtnAMesWin2Click(s); };
    BtnAMesWinOff->OnClick = [this](TObject* s) { BtnAMesWinOffClick(s); };
    BtnMovHigh->OnClick = [this](TObject* s) { BtnMovHighClick(s); };
    BtnMovNormal->OnClick = [this](TObject* s) { BtnMovNormalClick(s); };
    BtnMovLow->OnClick = [this](TObject* s) { BtnMovLowClick(s); };
    BtnANormalSet->OnClick = [this](TObject* s) { BtnANormalSetClick(s); };
    BtnExit->OnClick = [this](TObject* s) { BtnExitClick(s); };

    ColorSample = new TVeRGBPanel(this);
    ColorSample->SetParent(ConfigPanel);
    ColorSample->OnDraw = std::bind(&TConfigMenu::ColorSampleDraw, this, _1, _2, _3, _4, _5, _6, _7, _8);
}

TConfigMenu::~TConfigMenu()
{
    if (FSetup)
        Release();
    if (ConfigMenu == this)
        ConfigMenu = nullptr;
}

TConfigMenu::TRowPanels TConfigMenu::Row(int row) const
{
    switch (row) {
    case rwVoice:
        return {BtnASlideVVL, BtnASlideVVR, PASliderVV, NumASlideVV};
    case rwBGM:
        return {BtnASlideBVL, BtnASlideBVR, PASliderBV, NumASlideBV};
    case rwSE:
        return {BtnASlideSVL, BtnASlideSVR, PASliderSV, NumASlideSV};
    case rwRed:
        return {BtnASlideRedL, BtnASlideRedR, PASliderRed, NumASlideRed};
    case rwGreen:
        return {BtnASlideGreenL, BtnASlideGreenR, PASliderGreen, NumASlideGreen};
    default:
        return {BtnASlideBlueL, BtnASlideBlueR, PASliderBlue, NumASlideBlue};
    }
}

bool TConfigMenu::Setup(TFileMan* fileMan)
{
    if (FSetup)
        Release();
    FFileMan = fileMan;
    if (!LoadPartsImage(FParts, "CfgParts.png", fileMan, CfgPartsTable)) {
        Release();
        return false;
    }
    for (int row = 0; row < RowCount; ++row) {
        const TRowPanels p = Row(row);
        const bool volume = IsVolumeRow(row);
        const int y = RowY[row];
        Place(p.Left, FParts, volume ? ptVolumeLeft : ptColorLeft, 85, y);
        Place(p.Slider, FParts, ptKnob, 101, y - 1);
        p.Slider->SetSizeX(SliderWidth);
        p.Slider->SetMaskMode(mmNoImage);
        Place(p.Right, FParts, volume ? ptVolumeRight : ptColorRight, 258, y);
        Place(p.Number, FParts, volume ? ptVolumeDigits : ptColorDigits, 276, y + 1);
        p.Number->SetSizeX(3 * DigitWidth);
    }
    Place(BtnMFPSNoSync, FParts, ptFPSNoSync, 362, 148);
    Place(BtnMFPSFull, FParts, ptFPSFull, 419, 148);
    Place(BtnMFPS30, FParts, ptFPS30, 476, 148);
    Place(BtnMFPS15, FParts, ptFPS15, 533, 148);
    Place(BtnAMesWin1, FParts, ptMesWin1, 362, 248);
    Place(BtnAMesWin2, FParts, ptMesWin2, 438, 248);
    Place(BtnAMesWinOff, FParts, ptMesWinOff, 514, 248);
    Place(BtnMovHigh, FParts, ptMovHigh, 362, 348);
    Place(BtnMovNormal, FParts, ptMovNormal, 438, 348);
    Place(BtnMovLow, FParts, ptMovLow, 514, 348);
    Place(BtnANormalSet, FParts, ptNormalSet, 22, 389);
    Place(BtnExit, FParts, ptExit, 476, 389);
    ColorSample->SetOffsetX(35);
    ColorSample->SetOffsetY(324);
    ColorSample->SetSizeX(28);
    ColorSample->SetSizeY(24);

    ConfigPanel->AllCreate();
    FSetup = true;
    for (int row = 0; row < RowCount; ++row)
        Row(row).Number->SetNumber(RowValue(row));
    if (!InitPanelImage(ColorSample, false)) {
        Release();
        return false;
    }
    ColorSample->SetMaskMode(mmNoImage);
    RefreshAll();
    return true;
}

void TConfigMenu::Release()
{
    ReleasePanelImage(ColorSample);
    if (FSetup)
        ConfigPanel->AllRelease();
    // Every control but the background shows an image of the sheet: none may keep one once
    // the sheet is gone.
    for (int i = 0; i < ConfigPanel->GetChildCount(); ++i) {
        TVeRGBPanel* child = ConfigPanel->GetChild(i);
        if (child != ColorSample) {
            child->SetImage(nullptr);
            child->SetAlpha(nullptr);
        }
    }
    if (FParts && MemMan)
        MemMan->Delete(FParts);
    FParts = nullptr;
    FSetup = false;
}

void TConfigMenu::PanelCreate(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        LoadPanelImage(panel, panel->GetText(), FFileMan);
}

void TConfigMenu::PanelRelease(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        ReleasePanelImage(panel);
}

int TConfigMenu::RowValue(int row) const
{
    int value = 0;
    switch (row) {
    case rwVoice:
        value = GameForm ? GameForm->GetVolumeVoice() : 0;
        break;
    case rwBGM:
        value = GameForm ? GameForm->GetVolumeBGM() : 0;
        break;
    case rwSE:
        value = GameForm ? GameForm->GetVolumeSE() : 0;
        break;
    case rwRed:
        value = MesBoxConfig ? MesBoxConfig->BoxColor.r : 0;
        break;
    case rwGreen:
        value = MesBoxConfig ? MesBoxConfig->BoxColor.g : 0;
        break;
    case rwBlue:
        value = MesBoxConfig ? MesBoxConfig->BoxColor.b : 0;
        break;
    default:
        return 0;
    }
    // A volume from a hand-edited settings file may lie outside the slider.
    return std::clamp(value, 0, RowMaximum(row));
}

void TConfigMenu::SetRowValue(int row, int value)
{
    value = std::clamp(value, 0, RowMaximum(row));
    switch (row) {
    case rwVoice:
        if (GameForm)
            GameForm->SetVolumeVoice(value);
        break;
    case rwBGM:
        if (GameForm)
            GameForm->SetVolumeBGM(value);
        break;
    case rwSE:
        if (GameForm)
            GameForm->SetVolumeSE(value);
        break;
    case rwRed:
        if (MesBoxConfig)
            MesBoxConfig->BoxColor.r = static_cast<uint8_t>(value);
        break;
    case rwGreen:
        if (MesBoxConfig)
            MesBoxConfig->BoxColor.g = static_cast<uint8_t>(value);
        break;
    case rwBlue:
        if (MesBoxConfig)
            MesBoxConfig->BoxColor.b = static_cast<uint8_t>(value);
        break;
    default:
        return;
    }
    if (IsVolumeRow(row))
        RefreshVolume(row);
    else
        RefreshColor();
}

void TConfigMenu::StepRow(int row, int delta)
{
    const int value = RowValue(row) + delta;
    if (value < 0 || value > RowMaximum(row))
        return;
    SetRowValue(row, value);
}

void TConfigMenu::SliderPress(int row, int X)
{
    SetRowValue(row, std::clamp(X - 4, 0, SliderTravel) * RowMaximum(row) / SliderTravel);
}

void TConfigMenu::SliderMove(int row, TShiftState Shift, int X)
{
    if (Shift.Contains(ssLeft))
        SliderPress(row, X);
}

void TConfigMenu::RefreshVolume(int row)
{
    const TRowPanels p = Row(row);
    const int value = RowValue(row);
    p.Slider->Tag = value;
    p.Slider->SetModify();
    p.Number->SetNumber(value);
}

void TConfigMenu::RefreshColor()
{
    for (int row = rwRed; row <= rwBlue; ++row) {
        const TRowPanels p = Row(row);
        const int value = RowValue(row);
        // The knob is drawn from the Tag, so the slider must be redrawn when it changes.
        if (p.Slider->Tag != value) {
            p.Slider->Tag = value;
            p.Slider->SetModify();
        }
        p.Number->SetNumber(value);
    }
    TVeRGBBits* image = ColorSample->Image();
    if (image && image->Created() && MesBoxConfig) {
        image->BoxFill(0, 0, image->Width() - 1, image->Height() - 1, MesBoxConfig->BoxColor.ToDWORD());
        ColorSample->SetModify();
    }
}

void TConfigMenu::RefreshButtons()
{
    const int type = MesBoxConfig ? MesBoxConfig->MesBoxType : 1;
    BtnAMesWin1->SetSelected(type == 1);
    BtnAMesWin2->SetSelected(type == 2);
    BtnAMesWinOff->SetSelected(type == 0);

    const int mode = GameForm ? GameForm->GetFPSMode() : 2;
    BtnMFPSNoSync->SetSelected(mode == 3);
    BtnMFPSFull->SetSelected(mode == 2);
    BtnMFPS30->SetSelected(mode == 1);
    BtnMFPS15->SetSelected(mode == 0);
    // The slower frame rates cannot show the larger movies; the quality follows the mode
    // before the movie buttons show it.
    if (mode == 0) {
        BtnMovHigh->SetEnabled(false);
        BtnMovNormal->SetEnabled(false);
        if (MesBoxConfig && MesBoxConfig->MovieQuality != 0)
            MesBoxConfig->MovieQuality = 0;
    } else if (mode == 1) {
        BtnMovHigh->SetEnabled(false);
        BtnMovNormal->SetEnabled(true);
        if (MesBoxConfig && MesBoxConfig->MovieQuality == 2)
            MesBoxConfig->MovieQuality = 1;
    } else {
        BtnMovHigh->SetEnabled(true);
        BtnMovNormal->SetEnabled(true);
    }
    BtnMovLow->SetEnabled(true);

    const int quality = MesBoxConfig ? MesBoxConfig->MovieQuality : 1;
    BtnMovHigh->SetSelected(quality == 2);
    BtnMovNormal->SetSelected(quality == 1);
    BtnMovLow->SetSelected(quality == 0);
}

void TConfigMenu::RefreshAll()
{
    for (int row = rwVoice; row <= rwSE; ++row)
        RefreshVolume(row);
    RefreshColor();
    RefreshButtons();
}

bool TConfigMenu::DrawKnob(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY,
                           int maximum)
{
    auto* slider = dynamic_cast<TVeRGBPanel*>(Sender);
    if (!slider || !DestBits)
        return true;
    TVeRGBBits* knob = slider->Image();
    if (!knob || !knob->Created())
        return true;
    const int k = std::clamp(slider->Tag, 0, maximum) * SliderTravel / maximum;
    const int left = std::max(SX, k);
    const int top = std::max(SY, 0);
    const int right = std::min({SX + DX, k + KnobWidth, k + knob->Width()});
    const int bottom = std::min({SY + DY, KnobHeight, knob->Height()});
    if (left >= right || top >= bottom)
        return true;
    const int dx = X + (left - SX);
    const int dy = Y + (top - SY);
    // A knob picture without an alpha channel is drawn opaque rather than not at all.
    if (TVeAlpha* alpha = slider->Alpha())
        DestBits->DrawAlphaMask(dx, dy, knob, left - k, top, right - left, bottom - top, alpha);
    else
        DestBits->Draw(dx, dy, knob, left - k, top, right - left, bottom - top);
    return true;
}

bool TConfigMenu::VolumeSliderDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX,
                                   int DY)
{
    return DrawKnob(Sender, DestBits, X, Y, SX, SY, DX, DY, 100);
}

bool TConfigMenu::ColorSliderDraw(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX,
                                  int DY)
{
    return DrawKnob(Sender, DestBits, X, Y, SX, SY, DX, DY, 255);
}

bool TConfigMenu::ColorSampleDraw(TObject*, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    TVeRGBBits* image = ColorSample->Image();
    if (!DestBits || !image || !image->Created())
        return true;
    const int left = std::max(SX, 0);
    const int top = std::max(SY, 0);
    const int right = std::min(SX + DX, image->Width());
    const int bottom = std::min(SY + DY, image->Height());
    if (left < right && top < bottom)
        DestBits->AlphaBlend(X + (left - SX), Y + (top - SY), image, left, top, right - left, bottom - top, 64);
    return true;
}

void TConfigMenu::Click()
{
    PlayMenuSE("btn_3.adp", FFileMan);
}

void TConfigMenu::SetFPS(int mode)
{
    Click();
    if (GameForm)
        GameForm->SetFPSMode(static_cast<TFPSMode>(mode));
    RefreshButtons();
}

void TConfigMenu::SetMesWinType(int type)
{
    Click();
    if (MesBoxConfig)
        MesBoxConfig->MesBoxType = type;
    RefreshButtons();
}

void TConfigMenu::SetMovieQuality(int quality)
{
    Click();
    if (MesBoxConfig)
        MesBoxConfig->MovieQuality = quality;
    RefreshButtons();
}

void TConfigMenu::BtnASlideVVLClick(TObject*) { StepRow(rwVoice, -1); }
void TConfigMenu::BtnASlideVVRClick(TObject*) { StepRow(rwVoice, 1); }
void TConfigMenu::BtnASlideBVLClick(TObject*) { StepRow(rwBGM, -1); }
void TConfigMenu::BtnASlideBVRClick(TObject*) { StepRow(rwBGM, 1); }
void TConfigMenu::BtnASlideSVLClick(TObject*) { StepRow(rwSE, -1); }
void TConfigMenu::BtnASlideSVRClick(TObject*) { StepRow(rwSE, 1); }
void TConfigMenu::BtnASlideRedLClick(TObject*) { StepRow(rwRed, -1); }
void TConfigMenu::BtnASlideRedRClick(TObject*) { StepRow(rwRed, 1); }
void TConfigMenu::BtnASlideGreenLClick(TObject*) { StepRow(rwGreen, -1); }
void TConfigMenu::BtnASlideGreenRClick(TObject*) { StepRow(rwGreen, 1); }
void TConfigMenu::BtnASlideBlueLClick(TObject*) { StepRow(rwBlue, -1); }
void TConfigMenu::BtnASlideBlueRClick(TObject*) { StepRow(rwBlue, 1); }

void TConfigMenu::PASliderVVMouseDown(TObject*, TMouseButton, TShiftState, int X, int) { SliderPress(rwVoice, X); }
void TConfigMenu::PASliderVVMouseMove(TObject*, TShiftState Shift, int X, int) { SliderMove(rwVoice, Shift, X); }
void TConfigMenu::PASliderBVMouseDown(TObject*, TMouseButton, TShiftState, int X, int) { SliderPress(rwBGM, X); }
void TConfigMenu::PASliderBVMouseMove(TObject*, TShiftState Shift, int X, int) { SliderMove(rwBGM, Shift, X); }
void TConfigMenu::PASliderSVMouseDown(TObject*, TMouseButton, TShiftState, int X, int) { SliderPress(rwSE, X); }
void TConfigMenu::PASliderSVMouseMove(TObject*, TShiftState Shift, int X, int) { SliderMove(rwSE, Shift, X); }
void TConfigMenu::PASliderRedMouseDown(TObject*, TMouseButton, TShiftState, int X, int) { SliderPress(rwRed, X); }
void TConfigMenu::PASliderRedMouseMove(TObject*, TShiftState Shift, int X, int) { SliderMove(rwRed, Shift, X); }
void TConfigMenu::PASliderGreenMouseDown(TObject*, TMouseButton, TShiftState, int X, int) { SliderPress(rwGreen, X); }
void TConfigMenu::PASliderGreenMouseMove(TObject*, TShiftState Shift, int X, int) { SliderMove(rwGreen, Shift, X); }
void TConfigMenu::PASliderBlueMouseDown(TObject*, TMouseButton, TShiftState, int X, int) { SliderPress(rwBlue, X); }
void TConfigMenu::PASliderBlueMouseMove(TObject*, TShiftState Shift, int X, int) { SliderMove(rwBlue, Shift, X); }

void TConfigMenu::BtnMFPSNoSyncClick(TObject*) { SetFPS(3); }
void TConfigMenu::BtnMFPSFullClick(TObject*) { SetFPS(2); }
void TConfigMenu::BtnMFPS30Click(TObject*) { SetFPS(1); }
void TConfigMenu::BtnMFPS15Click(TObject*) { SetFPS(0); }
void TConfigMenu::BtnAMesWin1Click(TObject*) { SetMesWinType(1); }
void TConfigMenu::BtnAMesWin2Click(TObject*) { SetMesWinType(2); }
void TConfigMenu::BtnAMesWinOffClick(TObject*) { SetMesWinType(0); }
void TConfigMenu::BtnMovHighClick(TObject*) { SetMovieQuality(2); }
void TConfigMenu::BtnMovNormalClick(TObject*) { SetMovieQuality(1); }
void TConfigMenu::BtnMovLowClick(TObject*) { SetMovieQuality(0); }

void TConfigMenu::BtnANormalSetClick(TObject*)
{
    Click();
    SetRowValue(rwVoice, 100);
    SetRowValue(rwBGM, 70);
    SetRowValue(rwSE, 100);
    if (MesBoxConfig)
        MesBoxConfig->BoxColor = StandardBoxColor;
    RefreshColor();
    if (MesBoxConfig)
        MesBoxConfig->MesBoxType = 1;
    if (GameForm)
        GameForm->SetFPSMode(2);
    RefreshButtons();
}

void TConfigMenu::BtnExitClick(TObject*)
{
    Click();
    if (OnExit)
        OnExit();
}
