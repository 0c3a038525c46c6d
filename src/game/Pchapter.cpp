#include "game/Pchapter.h"

#include <algorithm>
#include <cstdio>

#include "archive/Vefileman.h"
#include "base/Vememman.h"
#include "game/Gamef.h"
#include "game/Maint.h"
#include "game/Pmenuse.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbparts.h"

TChapterUnit* ChapterUnit = nullptr;

namespace {

enum TSheet { shButton, shTitle, shEpisode, shEp14, shEp15, shEp16, shGalleryNum, shGalleryName, shViewer };

const char* const SheetNames[TChapterUnit::SheetCount] = {
    "ChapterButton.png", "ChapterTitle.png", "ChapterEpisode.png", "ChapterEp14.png", "ChapterEp15.png",
    "ChapterEp16.png",   "GalleryNum.png",   "GalleryName.png",    "ViewerParts.png",
};

constexpr TVePartsData End{-1, -1, -1, -1, -1};

const TVePartsData ButtonParts[] = {{0, 0, 97, 41, 3}, {97, 0, 211, 40, 3}, End};
const TVePartsData TitleParts[] = {
    {0, 0, 78, 306, 1}, {78, 0, 78, 306, 1}, {156, 0, 78, 306, 1}, {234, 0, 78, 306, 1}, {312, 0, 78, 306, 1}, End};
const TVePartsData EpisodeParts[] = {{0, 0, 205, 38, 4}, {205, 0, 205, 38, 4}, {410, 0, 205, 38, 4}, End};
const TVePartsData GalleryNumParts[] = {{0, 0, 17, 34, 10}, {0, 340, 17, 34, 1}, End};
const TVePartsData ViewerParts[] = {
    {0, 0, 32, 32, 3}, {32, 0, 68, 32, 3}, {0, 96, 130, 50, 2}, {164, 0, 66, 98, 2}, {100, 0, 64, 48, 2}, End};

// A column of count parts, each step pixels below the last.
template <int N>
struct TColumnParts {
    TVePartsData Rows[N + 1];
    constexpr TColumnParts(int w, int h, int step) : Rows{}
    {
        for (int i = 0; i < N; ++i)
            Rows[i] = {0, step * i, w, h, 3};
        Rows[N] = End;
    }
};
constexpr TColumnParts<20> EpListParts(285, 21, 63);
constexpr TColumnParts<17> Ep16ListParts(285, 21, 63);
constexpr TColumnParts<10> GalleryNameParts(328, 33, 99);

const TVePartsData* const SheetTables[TChapterUnit::SheetCount] = {
    ButtonParts, TitleParts, EpisodeParts, EpListParts.Rows, EpListParts.Rows, Ep16ListParts.Rows,
    GalleryNumParts, GalleryNameParts.Rows, ViewerParts,
};

constexpr int GalleryCount = 10;
constexpr int GalleryY[GalleryCount] = {61, 97, 169, 133, 241, 205, 277, 313, 349, 385};

void Place(TVeRGBPanel* panel, TVeRGBParts* parts, int32_t part, int x, int y)
{
    const TPartsPlace place{part, x, y, 0, 0};
    SetPanelParts(panel, parts, &place);
}

TVeRGBBtn* MakeButton(TComponent* owner, TVeRGBPanel* parent, bool withDisable)
{
    auto* button = new TVeRGBBtn(owner);
    button->SetSizeX(98);
    button->SetSizeY(31);
    button->SetPatFocus(1);
    button->SetPatDown(1);
    if (withDisable)
        button->SetPatDisable(1);
    button->SetParent(parent);
    return button;
}

TVeRGBPanel* MakePanel(TComponent* owner, TVeRGBPanel* parent)
{
    auto* panel = new TVeRGBPanel(owner);
    if (parent)
        panel->SetParent(parent);
    return panel;
}

void SetMouseless(TVeRGBPanel* panel)
{
    panel->SetVisible(false);
    panel->SetMouseControl(false);
    panel->SetMouseTrans(true);
}

}  // namespace

TChapterUnit::TChapterUnit(TComponent* Owner) : TComponent(Owner)
{
    using std::placeholders::_1, std::placeholders::_2, std::placeholders::_3, std::placeholders::_4,
        std::placeholders::_5;
    // The screens keep 640 x 480 whatever size their background has.
    MenuPanel = MakePanel(this, nullptr);
    MenuPanel->SetAutoSize(false);
    BtnReturn = MakeButton(this, MenuPanel, false);
    BtnReturn->OnClick = [this](TObject* s) { BtnReturnClick(s); };
    BtnMainMenu = MakeButton(this, MenuPanel, false);
    BtnMainMenu->SetVisible(false);
    BtnMainMenu->OnClick = [this](TObject* s) { BtnMainMenuClick(s); };
    ChapterTitle = MakePanel(this, MenuPanel);
    Episode14 = MakeButton(this, MenuPanel, true);
    Episode15 = MakeButton(this, MenuPanel, true);
    Episode16 = MakeButton(this, MenuPanel, true);
    int tag = 0;
    for (TVeRGBBtn* episode : {Episode14, Episode15, Episode16}) {
        episode->Tag = tag++;
        episode->OnClick = [this](TObject* s) { MenuSelectClick(s); };
    }

    ViewerPanel = MakePanel(this, nullptr);
    ViewerPanel->SetAutoSize(false);
    ViewImage = MakePanel(this, ViewerPanel);
    ViewImage->OnClick = [this](TObject* s) { ViewImageClick(s); };
    ViewHide = MakeButton(this, ViewerPanel, false);
    ViewHide->OnClick = [this](TObject* s) { ViewHideClick(s); };
    ViewExit = MakeButton(this, ViewerPanel, false);
    ViewExit->OnClick = [this](TObject* s) { ViewExitClick(s); };
    ViewHorizon = MakePanel(this, ViewerPanel);
    ViewHorizon->SetNumBlock(2);
    ViewHorizon->OnMouseMove = std::bind(&TChapterUnit::ViewHorizonMouseMove, this, _1, _2, _3, _4);
    ViewHorizon->OnMouseDown = std::bind(&TChapterUnit::ViewHorizonMouseDown, this, _1, _2, _3, _4, _5);
    ViewHorizon->OnMouseEnter = [this](TObject* s) { ViewHorizonMouseEnter(s); };
    ViewHorizon->OnMouseLeave = [this](TObject* s) { ViewHorizonMouseLeave(s); };
    ViewVertical = MakePanel(this, ViewerPanel);
    ViewVertical->SetNumBlock(2);
    ViewVertical->OnMouseMove = std::bind(&TChapterUnit::ViewVerticalMouseMove, this, _1, _2, _3, _4);
    ViewVertical->OnMouseDown = std::bind(&TChapterUnit::ViewVerticalMouseDown, this, _1, _2, _3, _4, _5);
    ViewVertical->OnMouseEnter = [this](TObject* s) { ViewVerticalMouseEnter(s); };
    ViewVertical->OnMouseLeave = [this](TObject* s) { ViewVerticalMouseLeave(s); };
    ViewPos = MakePanel(this, ViewerPanel);
    ViewPos->SetNumBlock(2);
    ViewPos->SetMouseControl(false);

    Num1 = new TVeRGBNum(this);
    Num1->SetParent(MenuPanel);
    Num2 = new TVeRGBNum(this);
    Num2->SetParent(MenuPanel);
    for (TVeRGBNum* number : {Num1, Num2}) {
        SetMouseless(number);
        number->SetColumn(2);
    }
    Num2->SetNumber(10);
    Slash = MakePanel(this, MenuPanel);
    SetMouseless(Slash);
}

TChapterUnit::~TChapterUnit()
{
    if (FMade)
        ReleaseResources();
    if (ChapterUnit == this)
        ChapterUnit = nullptr;
}

bool TChapterUnit::CreateResources(TFileMan* fileMan)
{
    if (FMade)
        ReleaseResources();
    FFileMan = fileMan;
    bool ok = MemMan != nullptr;
    for (int i = 0; ok && i < ListButtonCount; ++i) {
        TVeRGBBtn* button = MemMan->CreateVCL<TVeRGBBtn>();
        FListButtons[i] = button;
        if (!button) {
            ok = false;
            break;
        }
        button->SetPatFocus(1);
        button->SetPatDown(1);
        button->SetParent(MenuPanel);
        button->Tag = i;
        button->OnClick = [this](TObject* s) { MenuSelectClick(s); };
    }
    ok = ok && LoadRGBImage(FChapterBack, nullptr, "ChapterBack.jpg", fileMan);
    ok = ok && LoadRGBImage(FGalleryBack, nullptr, "GalleryBack.jpg", fileMan);
    for (int i = 0; ok && i < SheetCount; ++i)
        ok = LoadPartsImage(FSheets[i], SheetNames[i], fileMan, SheetTables[i]);
    if (!ok) {
        ReleaseResources();
        return false;
    }

    Place(BtnReturn, FSheets[shButton], 0, 538, 422);
    Place(BtnMainMenu, FSheets[shButton], 1, 425, 375);
    Place(Episode14, FSheets[shEpisode], 0, 166, 153);
    Place(Episode15, FSheets[shEpisode], 1, 166, 213);
    Place(Episode16, FSheets[shEpisode], 2, 166, 273);
    Place(Num1, FSheets[shGalleryNum], 0, 539, 8);
    Place(Num2, FSheets[shGalleryNum], 0, 590, 8);
    for (TVeRGBNum* number : {Num1, Num2})
        number->SetSizeX(number->SizeX() * 2);
    Place(Slash, FSheets[shGalleryNum], 1, 573, 8);
    Place(ViewHide, FSheets[shViewer], 0, 608, 448);
    Place(ViewExit, FSheets[shViewer], 1, 540, 448);
    Place(ViewHorizon, FSheets[shViewer], 2, 510, 398);
    Place(ViewVertical, FSheets[shViewer], 3, 574, 350);
    Place(ViewPos, FSheets[shViewer], 4, 575, 399);
    Place(ChapterTitle, FSheets[shTitle], FMode, 12, 8);

    MenuPanel->AllCreate();
    ViewerPanel->AllCreate();
    FMade = true;
    return true;
}

void TChapterUnit::ClearSheetImages()
{
    for (TVeRGBPanel* panel : {static_cast<TVeRGBPanel*>(BtnReturn), static_cast<TVeRGBPanel*>(BtnMainMenu),
                               ChapterTitle, static_cast<TVeRGBPanel*>(Episode14), static_cast<TVeRGBPanel*>(Episode15),
                               static_cast<TVeRGBPanel*>(Episode16), static_cast<TVeRGBPanel*>(ViewHide),
                               static_cast<TVeRGBPanel*>(ViewExit), ViewHorizon, ViewVertical, ViewPos,
                               static_cast<TVeRGBPanel*>(Num1), static_cast<TVeRGBPanel*>(Num2), Slash}) {
        panel->SetImage(nullptr);
        panel->SetAlpha(nullptr);
    }
}

void TChapterUnit::ReleaseResources()
{
    if (FMade) {
        MenuPanel->AllRelease();
        ViewerPanel->AllRelease();
    }
    ReleasePanelImage(ViewImage);
    // Panels must not keep images of the buffers deleted below.
    MenuPanel->SetImage(nullptr);
    ClearSheetImages();
    if (MemMan) {
        if (FChapterBack)
            MemMan->Delete(FChapterBack);
        if (FGalleryBack)
            MemMan->Delete(FGalleryBack);
        for (TVeRGBParts*& sheet : FSheets)
            if (sheet)
                MemMan->Delete(sheet);
        for (TVeRGBBtn*& button : FListButtons)
            if (button)
                MemMan->Delete(button);
    }
    FChapterBack = FGalleryBack = nullptr;
    std::fill(std::begin(FSheets), std::end(FSheets), nullptr);
    std::fill(std::begin(FListButtons), std::end(FListButtons), nullptr);
    FMade = false;
}

void TChapterUnit::SetMode(int mode)
{
    // A mode outside the five would pick a title part and a list that do not exist.
    if (mode < cmEpisode14 || mode > cmEpisodeSelect)
        return;
    FMode = static_cast<uint8_t>(mode);
    MenuPanel->SetImage(mode == cmGallery ? FGalleryBack : FChapterBack);

    BtnMainMenu->SetVisible(mode <= cmEpisode16);
    for (TVeRGBBtn* episode : {Episode14, Episode15, Episode16})
        episode->SetVisible(mode == cmEpisodeSelect);
    for (TVeRGBPanel* panel : {static_cast<TVeRGBPanel*>(Num1), static_cast<TVeRGBPanel*>(Num2), Slash})
        panel->SetVisible(mode == cmGallery);
    Num1->SetNumber(0);
    Place(ChapterTitle, FSheets[shTitle], mode, 12, 8);

    if (mode <= cmEpisode16) {
        const int episode = 14 + mode;
        const int count = mode == cmEpisode16 ? 17 : ListButtonCount;
        const int top = mode == cmEpisode16 ? 43 : 21;
        for (int i = 0; i < ListButtonCount; ++i) {
            TVeRGBBtn* button = FListButtons[i];
            if (!button)
                continue;
            if (i >= count) {
                button->SetVisible(false);
                continue;
            }
            Place(button, FSheets[shEp14 + mode], i, 119, top + 22 * i);
            button->SetVisible(IsProgressReached(SysData, episode, i + 1));
        }
    } else if (mode == cmGallery) {
        int open = 0;
        for (int i = 0; i < ListButtonCount; ++i) {
            TVeRGBBtn* button = FListButtons[i];
            if (!button)
                continue;
            if (i >= GalleryCount) {
                button->SetVisible(false);
                continue;
            }
            Place(button, FSheets[shGalleryName], i, 128, GalleryY[i]);
            const bool shown = GetSysOpenFlag(SysData, i);
            button->SetVisible(shown);
            open += shown ? 1 : 0;
        }
        Num1->SetNumber(open);
    } else {
        const int furthest = SysData ? SysData->FurthestEpisode : 0;
        Episode14->SetEnabled(furthest >= 14);
        Episode15->SetEnabled(furthest >= 15);
        Episode16->SetEnabled(furthest >= 16);
        for (TVeRGBBtn* button : FListButtons)
            if (button)
                button->SetVisible(false);
    }
    MenuPanel->SetModify();
}

bool TChapterUnit::OpenViewer(int n)
{
    if (!FMade)
        return false;
    ReleasePanelImage(ViewImage);
    TFileMan* pictures = MemMan ? MemMan->CreateVCL<TFileMan>() : nullptr;
    bool loaded = false;
    if (pictures) {
        InitPackOrDir(pictures, "EvBG.pak", "EvBG_Pak");
        SelectGnyKeyTable(0);
        char name[32];
        std::snprintf(name, sizeof name, "zbbg%03lld.lzh", static_cast<long long>(n) + 500);
        loaded = LoadPanelImage(ViewImage, name, pictures);
        MemMan->Delete(pictures);
    }
    if (!loaded) {
        // A missing picture must not keep the previous picture's size and with it a scroll bar.
        ViewImage->SetSizeX(640);
        ViewImage->SetSizeY(480);
    }
    ViewImage->SetOffsetX(0);
    ViewImage->SetOffsetY(0);
    FScrollPos = 0;
    if (ViewImage->SizeX() == 1280) {
        FScrollMode = smHorizontal;
        ViewPos->SetParent(ViewHorizon);
        ViewPos->SetOffsetY(1);
    } else if (ViewImage->SizeY() == 960) {
        FScrollMode = smVertical;
        ViewPos->SetParent(ViewVertical);
        ViewPos->SetOffsetX(1);
    } else {
        FScrollMode = smNone;
    }
    UpdateViewPos();
    ShowViewerControls();
    return true;
}

void TChapterUnit::ScrollHorizontal(int x)
{
    const int p = static_cast<int>(std::clamp<int64_t>(int64_t(10) * x - 330, 0, 640));
    if (p == FScrollPos)
        return;
    FScrollPos = p;
    ViewImage->SetOffsetX(-p);
    UpdateViewPos();
}

void TChapterUnit::ScrollVertical(int y)
{
    const int p = static_cast<int>(std::clamp<int64_t>(int64_t(10) * y - 250, 0, 480));
    if (p == FScrollPos)
        return;
    FScrollPos = p;
    ViewImage->SetOffsetY(-p);
    UpdateViewPos();
}

void TChapterUnit::UpdateViewPos()
{
    if (FScrollMode == smHorizontal)
        ViewPos->SetOffsetX((FScrollPos + 5) / 10 + 1);
    else if (FScrollMode == smVertical)
        ViewPos->SetOffsetY((FScrollPos + 5) / 10 + 1);
}

void TChapterUnit::ShowViewerControls()
{
    ViewHide->SetVisible(true);
    ViewExit->SetVisible(true);
    ViewHorizon->SetVisible(FScrollMode == smHorizontal);
    ViewVertical->SetVisible(FScrollMode == smVertical);
    ViewPos->SetVisible(FScrollMode != smNone);
    FControlsShown = true;
    if (GameForm)
        GameForm->SetCursorType(0);
}

void TChapterUnit::HideViewerControls()
{
    for (TVeRGBPanel* panel : {static_cast<TVeRGBPanel*>(ViewHide), static_cast<TVeRGBPanel*>(ViewExit), ViewHorizon,
                               ViewVertical, ViewPos})
        panel->SetVisible(false);
    FControlsShown = false;
    if (GameForm)
        GameForm->SetCursorType(-1);
}

void TChapterUnit::PanelCreate(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        LoadPanelImage(panel, panel->GetText(), FFileMan);
}

void TChapterUnit::PanelRelease(TObject* Sender)
{
    if (auto* panel = dynamic_cast<TVeRGBPanel*>(Sender))
        ReleasePanelImage(panel);
}

void TChapterUnit::Click()
{
    PlayMenuSE("btn_3.adp", FFileMan);
}

void TChapterUnit::BtnReturnClick(TObject*)
{
    Click();
    MainThreadSignal(-1);
}

void TChapterUnit::BtnMainMenuClick(TObject*)
{
    Click();
    MainThreadSignal(-2);
}

void TChapterUnit::MenuSelectClick(TObject* Sender)
{
    Click();
    if (auto* component = dynamic_cast<TComponent*>(Sender))
        MainThreadSignal(component->Tag);
}

void TChapterUnit::BackBtnClick(TObject*)
{
    Click();
    MainThreadSignal(-1);
}

void TChapterUnit::ViewImageClick(TObject*)
{
    if (FControlsShown)
        return;
    Click();
    ShowViewerControls();
}

void TChapterUnit::ViewHideClick(TObject*)
{
    Click();
    HideViewerControls();
}

void TChapterUnit::ViewExitClick(TObject*)
{
    Click();
    MainThreadSignal(0);
}

void TChapterUnit::ViewHorizonMouseDown(TObject*, TMouseButton, TShiftState, int X, int)
{
    ScrollHorizontal(X);
}

void TChapterUnit::ViewHorizonMouseMove(TObject*, TShiftState Shift, int X, int)
{
    if (Shift.Contains(ssLeft))
        ScrollHorizontal(X);
}

void TChapterUnit::ViewHorizonMouseEnter(TObject*)
{
    ViewHorizon->SetBlockIndex(1);
    ViewPos->SetBlockIndex(1);
}

void TChapterUnit::ViewHorizonMouseLeave(TObject*)
{
    ViewHorizon->SetBlockIndex(0);
    ViewPos->SetBlockIndex(0);
}

void TChapterUnit::ViewVerticalMouseDown(TObject*, TMouseButton, TShiftState, int, int Y)
{
    ScrollVertical(Y);
}

void TChapterUnit::ViewVerticalMouseMove(TObject*, TShiftState Shift, int, int Y)
{
    if (Shift.Contains(ssLeft))
        ScrollVertical(Y);
}

void TChapterUnit::ViewVerticalMouseEnter(TObject*)
{
    ViewVertical->SetBlockIndex(1);
    ViewPos->SetBlockIndex(1);
}

void TChapterUnit::ViewVerticalMouseLeave(TObject*)
{
    ViewVertical->SetBlockIndex(0);
    ViewPos->SetBlockIndex(0);
}
