#include "scenario/Avgu.h"

#include "archive/Vefileman.h"
#include "game/Gamef.h"
#include "game/Maint.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbfunc.h"
#include "panels/Vergbbtn.h"
#include "panels/Vergbpanel.h"
#include "scenario/Popupu.h"

TAvgUnit* AvgUnit = nullptr;

TAvgUnit::TAvgUnit(TComponent* owner)
    : TComponent(owner), FStack(new uint32_t[ZbScript::MaxValueStack])
{
    FCalls.reserve(64);
    BuildPanels();
}

TAvgUnit::~TAvgUnit()
{
    if (ScenarioReady)
        FreeScenario();
    if (ResourcesReady)
        ReleaseResources();
    // A step still running when the unit goes away must not leave the form calling into it.
    if (GameForm && (Phase == 4 || Phase == 11 || ConfigSwirl == 1 || ConfigSwirl == 3))
        SvcInstallTransitionProcs(false);
    // Pictures a step still held when the unit went away (a scene ended from outside).
    DeletePicture(TransImage);
    DeletePicture(ShakeImage);
}

void TAvgUnit::BuildPanels()
{
    auto full = [](TVeRGBPanel* p) {
        p->SetOffsetX(0);
        p->SetOffsetY(0);
        p->SetSizeX(640);
        p->SetSizeY(480);
        return p;
    };
    auto hidden = [](TVeRGBPanel* p) {
        p->SetVisible(false);
        p->SetMouseControl(false);
        return p;
    };
    AvgPanel = full(new TVeRGBPanel(this));
    AvgPanel->SetKeyControl(true);
    BGPanel = full(new TVeRGBPanel(this, AvgPanel));
    BGPanel->SetAutoSize(false);
    WeatherBack = hidden(full(new TVeRGBPanel(this, BGPanel)));
    WeatherBack->SetAutoSize(false);
    CharOutRight = hidden(full(new TVeRGBPanel(this, BGPanel)));
    CharOutLeft = hidden(full(new TVeRGBPanel(this, BGPanel)));
    CharOutCenter = hidden(full(new TVeRGBPanel(this, BGPanel)));
    CharRight = hidden(full(new TVeRGBPanel(this, BGPanel)));
    CharLeft = hidden(full(new TVeRGBPanel(this, BGPanel)));
    CharCenter = hidden(full(new TVeRGBPanel(this, BGPanel)));
    WeatherFront = hidden(full(new TVeRGBPanel(this, BGPanel)));
    WeatherFront->SetAutoSize(false);
    BackLogWin = hidden(new TVeRGBPanel(this, BGPanel));
    BackLogWin->SetAutoSize(false);
    BackLogWin->SetOffsetX(496);
    BackLogWin->SetOffsetY(312);
    BackLogWin->SetSizeX(80);
    BackLogWin->SetSizeY(27);
    BackLogWin->SetText("BakFrame_wm.png");
    BLBackBtn = new TVeRGBBtn(this, BackLogWin);
    BLStopBtn = new TVeRGBBtn(this, BackLogWin);
    BLNextBtn = new TVeRGBBtn(this, BackLogWin);
    const char* const names[] = {"BakBack_wm.png", "BakStop_wm.png", "BakNext_wm.png"};
    TVeRGBBtn* const buttons[] = {BLBackBtn, BLStopBtn, BLNextBtn};
    for (int i = 0; i < 3; ++i) {
        TVeRGBBtn* b = buttons[i];
        b->SetOffsetX(5 + 26 * i);
        b->SetOffsetY(3);
        b->SetSizeX(21);
        b->SetSizeY(21);
        b->SetNumBlock(4);
        b->SetText(names[i]);
        b->SetEnabled(true);
        b->SetPatFocus(1);
        b->SetPatDown(1);
        b->SetPatDisable(1);
    }

    AvgPanel->OnKeyDown = [this](TObject* s, Word& k, TShiftState sh) { AvgPanelKeyDown(s, k, sh); };
    AvgPanel->OnKeyUp = [this](TObject* s, Word& k, TShiftState sh) { AvgPanelKeyUp(s, k, sh); };
    BGPanel->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        BGPanelMouseDown(s, b, sh, x, y);
    };
    BGPanel->OnAnime = [](TObject*) {};
    BGPanel->OnDraw = [this](TObject* s, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return BGPanelDraw(s, d, x, y, sx, sy, dx, dy);
    };
    WeatherBack->OnDraw = [this](TObject*, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return WeatherDraw(false, d, x, y, sx, sy, dx, dy);
    };
    WeatherFront->OnDraw = [this](TObject*, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
        return WeatherDraw(true, d, x, y, sx, sy, dx, dy);
    };
    for (int slot = 0; slot < 3; ++slot) {
        SlotPanel(slot)->OnDraw = [this, slot](TObject*, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
            return DrawSlotPanel(slot, d, x, y, sx, sy, dx, dy);
        };
        OutPanel(slot)->OnDraw = [this, slot](TObject*, TVeRGBBits* d, int x, int y, int sx, int sy, int dx, int dy) {
            return DrawOutPanel(slot, d, x, y, sx, sy, dx, dy);
        };
    }
    for (TVeRGBPanel* p : {static_cast<TVeRGBPanel*>(BackLogWin), static_cast<TVeRGBPanel*>(BLBackBtn),
                           static_cast<TVeRGBPanel*>(BLStopBtn), static_cast<TVeRGBPanel*>(BLNextBtn)}) {
        p->OnCreate = [this](TObject* s) { PanelCreate(s); };
        p->OnRelease = [this](TObject* s) { PanelRelease(s); };
    }
    BLBackBtn->OnClick = [this](TObject*) { BackLogOlder(); };
    BLStopBtn->OnClick = [this](TObject*) { CloseBackLog(); };
    BLNextBtn->OnClick = [this](TObject*) { BackLogNewer(); };
}

TVeRGBPanel* TAvgUnit::SlotPanel(int slot) const
{
    switch (slot) {
    case 0: return CharLeft;
    case 1: return CharCenter;
    case 2: return CharRight;
    default: return nullptr;
    }
}

TVeRGBPanel* TAvgUnit::OutPanel(int slot) const
{
    switch (slot) {
    case 0: return CharOutLeft;
    case 1: return CharOutCenter;
    case 2: return CharOutRight;
    default: return nullptr;
    }
}

void TAvgUnit::Signal(int32_t value)
{
    if (Host.MainThreadSignal)
        Host.MainThreadSignal(value);
    else
        MainThreadSignal(value);
}

// A scene ended from outside the script (the menu's return to the title, the exit answer).
void TAvgUnit::EndScene(TScriptResult result)
{
    Result = result;
    FHalted = true;
    Signal(result);
}

bool TAvgUnit::InitScenario(TFileMan* packFile)
{
    PackFile = packFile;
    // The managers are owned by the unit, so a failed set-up still frees them with it.
    if (!BGFile)
        BGFile = new TFileMan(this);
    if (!CGFile)
        CGFile = new TFileMan(this);
    if (!SEFile)
        SEFile = new TFileMan(this);
    if (!VoiceFile)
        VoiceFile = new TFileMan(this);
    InitPackOrDir(BGFile, "EvBG.pak", "EvBG_Pak");
    InitPackOrDir(CGFile, "EvCG.pak", "EvCG_Pak");
    InitPackOrDir(SEFile, "EvSE.pak", "EvSE_Pak");

    FTriggerBuffer.assign(ZbScript::TriggerBufferSize, 0);
    FCodeBuffer.assign(ZbScript::CodeBufferSize, 0);
    FStaging.assign(ZbScript::CodeBufferSize, 0);
    if (!FFuncNames.Alloc(ZbScript::FuncNameTableSize))
        return false;
    if (!BuildScriptTable())
        return false;
    ScenarioReady = true;
    return true;
}

void TAvgUnit::FreeScenario()
{
    // The table goes with the buffers it indexes: a selection or a start after the release
    // finds no script instead of reading through a freed buffer.
    FScripts.clear();
    FTrigGroup = 0xFF;
    FTrigScript = -1;
    FTriggerBuffer.clear();
    FTriggerBuffer.shrink_to_fit();
    FCodeBuffer.clear();
    FCodeBuffer.shrink_to_fit();
    FStaging.clear();
    FStaging.shrink_to_fit();
    FTriggerFill = 0;
    FCodeSize = 0;
    FFuncNames.Alloc(0);
    FCurrentScript = -1;
    FHalted = true;
    FBase = nullptr;
    FRegionStart = FRegionEnd = FIP = FNextIP = 0;
    delete BGFile;
    delete CGFile;
    delete SEFile;
    delete VoiceFile;
    BGFile = CGFile = SEFile = VoiceFile = nullptr;
    VoicePack = -1;
    ScenarioReady = false;
}

void TAvgUnit::ResetScene()
{
    BGPanel->SetVisible(true);
    if (PopupWin && PopupWin->MesWin)
        PopupWin->MesWin->SetVisible(false);
    MesWinOpen = false;
    if (BGPanel->Image()) {
        if (Host.DrawScreenTo)
            Host.DrawScreenTo(BGPanel->Image());
        else if (GameForm)
            GameForm->DrawScreenTo(BGPanel->Image());
        BGPanel->SetModify();
    }
    BGShownRequest = BGFileNo = BGRequest = 996;
    BGEffect = 0;
    BGTone = 0;
    for (int slot = 0; slot < 3; ++slot) {
        SlotPanel(slot)->SetVisible(false);
        ClearEyes(slot);
    }
    CharNo = {-1, -1, -1};
    CharRequest = {-1, -1, -1};
    CharOrder = {1, 0, 2};
    CharOrderRequest = {1, 0, 2};
    ApplyCharOrder(CharOrder);
    CharMove = 0;
    Message.clear();
    if (PopupWin)
        PopupWin->ClearMesText();
    if (GameData)
        SetGameModeB(GameData, 0);
    WeatherKind = 0;
    WeatherBack->SetVisible(false);
    WeatherFront->SetVisible(false);
    MesHidden = false;
    SkipOnce = false;
    SkipMode = false;
    CtrlSkip = false;
    ConfigSwirl = 0;
    MenuState = 0;
    CursorCount = 1;
    CursorRaised = true;
    SvcSetCursorType(0);
    Phase = 0;
}

void TAvgUnit::SetLocal(int index, int32_t value)
{
    if (index >= 0 && index < static_cast<int>(Locals.size()))
        Locals[static_cast<size_t>(index)] = value;
}

int32_t TAvgUnit::GetLocal(int index) const
{
    if (index >= 0 && index < static_cast<int>(Locals.size()))
        return Locals[static_cast<size_t>(index)];
    return 0;
}

void TAvgUnit::Fail(const std::string& line) const
{
    if (ErrLog)
        ErrLog->Add(line);
    throw EGameErr();
}
