#include "scenario/Avgu.h"

#include "archive/Vefileman.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"

TAvgUnit::TAvgUnit(TComponent* owner)
    : TComponent(owner), FStack(new uint32_t[ZbScript::MaxValueStack])
{
    FCalls.reserve(64);
}

TAvgUnit::~TAvgUnit()
{
    if (ScenarioReady)
        FreeScenario();
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
    if (!BGFile->InitPack("EvBG.pak"))
        BGFile->InitDir("EvBG_Pak");
    if (!CGFile->InitPack("EvCG.pak"))
        CGFile->InitDir("EvCG_Pak");
    if (!SEFile->InitPack("EvSE.pak"))
        SEFile->InitDir("EvSE_Pak");

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
    MesWinOpen = false;
    BGShownRequest = BGFileNo = BGRequest = 996;
    BGEffect = 0;
    BGTone = 0;
    CharNo = {-1, -1, -1};
    CharRequest = {-1, -1, -1};
    EyeX = {-1, -1, -1};
    CharOrder = {1, 0, 2};
    CharOrderRequest = {1, 0, 2};
    CharMove = 0;
    Message.clear();
    if (GameData)
        SetGameModeB(GameData, 0);
    WeatherKind = 0;
    MesHidden = false;
    SkipOnce = false;
    SkipMode = false;
    CtrlSkip = false;
    ConfigSwirl = 0;
    MenuState = 0;
    CursorCount = 1;
    CursorRaised = true;
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

// The backlog arrives with the message presentation; until then a scene has no message to keep.
void TAvgUnit::PushBackLog() {}
