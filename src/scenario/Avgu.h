#pragma once
// The scene unit: it owns the story's compiled scripts and the stack machine that runs them.
//
// Script files ("*.Wps", all numbers little-endian):
//   header, 40 bytes:
//     0  4  "ZB01"
//     4  4  unused
//     8  4  scenario id (registered with the read-message table)
//     12 8  stamp of the compiled scenario
//     20 4  trigger block offset     24 4  trigger block size
//     28 4  function block offset    32 4  function block size (at most 131,072)
//     36 4  unused
//   trigger block: entries end to end, filling the block exactly:
//     0 u16 entry length, 2 u16 data length, 4 u32 code offset (into the function block),
//     8 u8 group, 9 u8 priority, 10 u16 condition length, 12 data, then the condition's code
//   function block: entries end to end:
//     0 u32 entry length, 4 u16 name length, 6 six unused bytes, 12 the zero-terminated name
//     inside name-length bytes, then the function's code to the end of the entry
//   code: a u16 opcode, then inline operands: a u32 for 1, 4, 5, 6, 7; a u32 byte count and
//   that many text bytes for 2, 8, 130; a u32 message id, a u32 count and the text for 128, 132.
//
// Every length, offset and count is checked when the table is built and when a function block
// loads, so the machine afterwards only has to check that each instruction lies inside its code
// block or condition. The instruction pointer is a buffer and an offset, never a raw address.
//
// The unit also presents the scene: a panel tree of background, three figure slots with their
// out-panels, two weather layers and the backlog buttons, driven one frame at a time by
// FrameUpdate through the phases below; the script resumes only in phase 3 of that call.
//   Avguscene.cpp  the scene instructions     Avgusched.cpp  scheduler, input, menu, swirl
//   Avgubg.cpp     backgrounds, figures, eyes  Avguweather.cpp rain, snow, scratches
//   Avgutrans.cpp  scene changes, shakes, waits Avgumes.cpp   messages, skipping, backlog
//   Avgulife.cpp   resources, popups, the main form's services
// Phases: 0 idle, 1 trigger test, 2 executing, 3 resume, 4 transition, 5 eight-frame figure
// step, 6/7 message window opening/closing, 8 typing, 9 waiting for a click, 10 timed wait,
// 11 shake or flash, 12/13 choices opening/closing, 14 choice active, 15 window hidden,
// 16 backlog.
//
// Everything runs on the game thread; the unit takes no lock.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Vehushtable.h"
#include "platform/Classes.h"
#include "platform/Input.h"
#include "scenario/Zbscrdef.h"

class TFileMan;
class TVeAlpha;
class TVeRGBBits;
class TVeRGBBtn;
class TVeRGBPanel;
class TVeRectSet;

// One row of "EyeAnime.csv": the character, and where its eye strip lies on the figure.
struct TEyeTable {
    int32_t CharNo;
    int32_t EyeX;
    int32_t EyeY;
};

struct TScriptHeader {
    uint8_t Magic[4] = {};
    uint32_t Reserved1 = 0;
    uint32_t ScenarioId = 0;
    uint8_t Stamp[8] = {};
    uint32_t TriggerOffset = 0;
    uint32_t TriggerSize = 0;
    uint32_t FuncOffset = 0;
    uint32_t FuncSize = 0;
    uint32_t Reserved2 = 0;
};

// Reads the 40 header bytes.
void ReadScriptHeader(const uint8_t* bytes, TScriptHeader& header);

struct TScriptInfo {
    std::string FileName;  // at most 25 characters
    TScriptHeader Header;
    uint32_t TriggerOffset = 0;  // of this file's trigger block inside the trigger buffer
};

struct TTriggerEntry {
    uint16_t EntryLength = 0;
    uint16_t DataLength = 0;
    uint32_t CodeOffset = 0;
    uint8_t Group = 0;
    uint8_t Priority = 0;
    uint16_t ConditionLength = 0;
};

// Reads the 12 fixed bytes of a trigger entry.
void ReadTriggerEntry(const uint8_t* bytes, TTriggerEntry& entry);

struct TFuncCall {
    int32_t ScriptIndex;
    uint32_t ReturnPosition;  // offset in the buffer the call was made in
    uint32_t StackDepth;
};

// Length in bytes of the instruction at instruction, of which available bytes are readable.
// When the operand count needed for the length lies beyond available, the answer is the length
// up to and including that count, which is then more than available: an instruction lies wholly
// inside its block exactly when the answer is at most available.
uint64_t GetCodeSize(const uint8_t* instruction, uint64_t available);

// Where the scene unit reaches the game around it. Every member left empty means the game's
// own: the game thread's signal, the global script archive, the main form's audio and
// transition services. Tests fill them in to record or to decide what the services answer.
struct TAvgUnitHost {
    std::function<void(int32_t value)> MainThreadSignal;
    TFileMan* ScriptFileMan = nullptr;
    // The settings screen's panel, for the swirl into and out of it.
    TVeRGBPanel* ConfigPanel = nullptr;

    std::function<void(int track, bool loop, bool crossFade)> PlayBGM;
    std::function<void(bool fade)> StopBGM;
    std::function<void(const std::string& name, TFileMan* files)> PlaySE;
    std::function<void(const std::string& name, TFileMan* files, bool fadeIn)> PlaySE2;
    std::function<void()> StopSE;
    std::function<void(bool fade)> StopSE2;
    std::function<void(const std::string& name, TFileMan* files)> PlayVoice;
    std::function<void()> StopVoice;
    std::function<bool()> IsSEPlaying;

    // Takes over both pictures whatever it answers.
    std::function<bool(int effect, TVeRGBBits* oldImage, TVeRGBBits* newImage)> SetTransition;
    std::function<bool()> IsTransitionIdle;
    std::function<void(int steps)> AdvanceTransition;
    std::function<void()> EndTransition;
    std::function<void(TVeRGBBits* target, TVeRectSet* dirty)> DrawTransition;
    std::function<void(TVeRGBBits* target)> DrawScreenTo;
};

class TAvgUnit : public TComponent {
public:
    explicit TAvgUnit(TComponent* owner);
    ~TAvgUnit() override;

    TAvgUnitHost Host;

    // Set-up of the script part: stores the main archive, opens the scene archives, makes the
    // buffers and the name table and builds the script table.
    bool InitScenario(TFileMan* packFile);
    void FreeScenario();

    // Script files and the script table.
    bool BuildScriptTable();
    int FindScript(const std::string& name) const;
    void LoadFunction(int index);
    int ScriptCount() const { return static_cast<int>(FScripts.size()); }
    const TScriptInfo& GetScriptInfo(int index) const { return FScripts[static_cast<size_t>(index)]; }
    const uint8_t* TriggerBuffer() const { return FTriggerBuffer.data(); }
    uint32_t TriggerFill() const { return FTriggerFill; }
    const TVeHushTable& FuncNameTable() const { return FFuncNames; }
    int CurrentScript() const { return FCurrentScript; }
    uint32_t CodeSize() const { return FCodeSize; }

    // Trigger selection.
    void SetTriggerGroup(uint8_t group);
    bool FindTrigger(int& scriptIndex, uint32_t& entryOffset);
    bool TestTrigger(int scriptIndex, uint32_t entryOffset);
    uint8_t TriggerGroup() const { return FTrigGroup; }

    // The machine.
    bool StartScript(int scriptIndex, uint32_t entryOffset);
    bool Run();
    void ExecCode();
    void JumpTo(uint32_t codeOffset);
    bool IsHalted() const { return FHalted; }
    // Runs the condition at start (an offset into the trigger buffer), length bytes long.
    bool EvalCode(uint32_t start, uint32_t length);
    void ResetScene();

    // Scene resources: the panels' pictures, the eye table and strips, the snow flakes.
    bool CreateResources();
    void ReleaseResources();
    void AttachPopup();
    void DetachPopup();
    void PanelCreate(TObject* sender);
    void PanelRelease(TObject* sender);

    // The scheduler (one call per frame) and its input.
    void FrameUpdate(int steps);
    void MesClick();
    void ClickSkip();
    void OpenMesMenu();
    void CloseMesMenu();
    void RaiseCursor();
    void LowerCursor();
    void ConfigChanged();
    void SwirlToConfig();
    void SwirlFromConfig();
    void TransitionRedrawProc(TVeRGBBits* bits);
    void TransitionDrawProc(TVeRGBBits* bits, TVeRectSet* dirty);
    void BGPanelMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    void AvgPanelKeyDown(TObject* sender, Word& key, TShiftState shift);
    void AvgPanelKeyUp(TObject* sender, Word& key, TShiftState shift);
    void OnMesRightClick();
    void OnSelRightClick();
    void OnSelect();
    void OnMenu();
    void OnExitAnswer();
    bool Skipping() const { return SkipOnce || SkipMode || CtrlSkip; }

    // Backgrounds and characters.
    void LoadBackground();
    void LoadCharacter(int slot);
    void SetCharacter(int character, int slot);
    void RemoveCharacter(int slot) { SetCharacter(-1, slot); }
    void ChangeCharacters(int kind, int slot);
    void DrawCharStep();
    void ApplyCharOrder(const std::array<int, 3>& order);
    void ApplyCharOutOrder(const std::array<int, 3>& order);
    void MoveToOutPanel(TVeRGBPanel* from, TVeRGBPanel* to);
    void ClearEyes(int slot);
    void MoveEyes(int to, int from);
    void EyeBlink();
    void DrawEyes(int slot, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
    bool DrawCharLevel(TVeRGBPanel* panel, int level, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx,
                       int dy);
    bool BGPanelDraw(TObject* sender, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
    TVeRGBPanel* SlotPanel(int slot) const;
    TVeRGBPanel* OutPanel(int slot) const;

    // Weather.
    void WeatherInit();
    void WeatherUpdate(int steps);
    bool WeatherDraw(bool front, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);

    // Transitions, shakes and waits.
    void ChangeScene(int number, uint8_t mode);
    int TransitionSetup(int number);
    void FreeTransResources(int number);
    void Shake(int kind);
    bool ShakeStep(int step);
    void Wait(int frames);

    // Messages, choices and the backlog.
    void OpenMesWindow();
    void CloseMesWindow();
    void MesWinOpened();
    void MesWinClosed();
    std::string ExpandMessage(const std::string& text) const;
    void ShowMessage(const std::string& text);
    void PushBackLog();
    void MesContinue();
    void PlayVoice(int32_t id);
    void PlaySE(int number);
    void PlaySE2(int number, bool fadeIn);
    void ShowChoices();
    void TakeChoice();
    void CloseChoices();
    void OpenBackLog();
    void CloseBackLog();
    void ShowBackLog();
    void HideBackLog();
    void ShowBackLogEntry(int index);
    void BackLogOlder();
    void BackLogNewer();
    void ShowHiddenWindow();
    void OnMesWinClick();
    void OnLook();
    void OnSkip();
    // The backlog entry i places back from the newest; empty when there is none.
    std::string BackLogEntry(int i) const;

    void SetPhase(uint8_t phase) { Phase = phase; }
    void SetLocal(int index, int32_t value);
    int32_t GetLocal(int index) const;

    // The text a PUSHSTR reference designates; false when the reference is not one, or its
    // function block is no longer loaded.
    bool TextOfReference(uint32_t reference, std::string& text) const;

    // Machine state for the scheduler and the tests.
    uint32_t StackDepth() const { return FSP; }
    uint32_t StackValue(uint32_t fromTop) const;  // 0 is the top; 0 when there is no such value
    uint32_t CallDepth() const { return static_cast<uint32_t>(FCalls.size()); }
    bool InEvalMode() const { return FEvalMode; }
    uint32_t InstructionOffset() const { return static_cast<uint32_t>(FIP); }

    // The scene's panels, owned by the unit.
    TVeRGBPanel* AvgPanel;
    TVeRGBPanel* BGPanel;
    TVeRGBPanel* CharLeft;
    TVeRGBPanel* CharRight;
    TVeRGBPanel* CharCenter;
    TVeRGBPanel* CharOutLeft;
    TVeRGBPanel* CharOutCenter;
    TVeRGBPanel* CharOutRight;
    TVeRGBPanel* WeatherBack;
    TVeRGBPanel* WeatherFront;
    TVeRGBPanel* BackLogWin;
    TVeRGBBtn* BLBackBtn;
    TVeRGBBtn* BLStopBtn;
    TVeRGBBtn* BLNextBtn;

    bool ScenarioReady = false;
    bool ResourcesReady = false;
    uint8_t Phase = 0;
    TFileMan* PackFile = nullptr;
    TFileMan* BGFile = nullptr;
    TFileMan* CGFile = nullptr;
    TFileMan* SEFile = nullptr;
    TFileMan* VoiceFile = nullptr;
    int VoicePack = -1;
    std::array<int32_t, 32> Locals{};
    TScriptResult Result = 0;
    int32_t ResultValue = 0;

    int BGShownRequest = 999;
    int BGFileNo = 999;
    int BGRequest = 999;
    std::array<int, 3> CharNo{-1, -1, -1};
    std::array<int, 3> CharRequest{-1, -1, -1};
    std::array<int, 3> CharOrder{1, 0, 2};
    std::array<int, 3> CharOrderRequest{1, 0, 2};
    TEyeTable* EyeTable = nullptr;
    int EyeRows = 0;
    std::array<int, 3> EyeX{-1, -1, -1};
    std::array<int, 3> EyeY{-1, -1, -1};
    std::array<TVeRGBBits*, 3> EyeImage{};
    std::array<TVeAlpha*, 3> EyeAlpha{};
    std::array<bool, 3> EyeHasAlpha{};
    std::array<int, 3> EyeTimer{};
    int BGEffect = 0;
    int BGTone = 0;
    int CharMove = 0;
    std::array<int, 3> CharInKind{};
    std::array<int, 3> CharOutKind{};
    std::array<int, 3> CharLevel{128, 128, 128};
    std::array<int, 3> CharOutLevel{};
    bool MesWinOpen = false;
    int TransKind = 0;
    uint8_t TransMode = 0;
    TVeRGBBits* TransImage = nullptr;
    int StepCount = 0;
    std::string Message;
    static constexpr int BackLogSize = 20;
    std::array<std::string, BackLogSize> BackLog;
    int BackLogHead = 0;
    int BackLogCount = 0;
    int BackLogMode = 0;
    int BackLogView = 0;
    int ShakeKind = 0;
    int ShakeCount = 0;
    int ShakeX = 0;
    int ShakeY = 0;
    TVeRGBBits* ShakeImage = nullptr;
    int WeatherKind = 0;
    int WeatherCount = 0;
    static constexpr int WeatherParticles = 128;
    std::array<int16_t, WeatherParticles> WeatherX{};
    std::array<int16_t, WeatherParticles> WeatherY{};
    std::array<int32_t, 4> WeatherDrift{};
    TVeRGBBits* SnowImage = nullptr;
    int WaitCount = 0;
    bool MesHidden = false;
    bool SkipOnce = false;
    bool SkipMode = false;
    bool CtrlSkip = false;
    int ConfigSwirl = 0;
    int MenuState = 0;
    int CursorCount = 0;
    bool CursorRaised = false;

    // Instructions per Run before it pauses until the next frame, and per trigger condition.
    int64_t RunBudget = ZbScript::RunBudget;
    int64_t EvalBudget = ZbScript::EvalBudget;

private:
    enum class TRegion : uint8_t { rgCode, rgTrigger };

    // Script files.
    bool ReadScriptFile(TFileMan* files, const std::string& name);
    bool CheckTriggerBlock(const uint8_t* block, uint32_t size, uint32_t funcSize) const;
    bool IsTriggerEntry(int scriptIndex, uint32_t entryOffset) const;
    [[noreturn]] void Fail(const std::string& line) const;  // logs the line, raises EGameErr

    // The machine.
    void Step();
    void ExecSceneCode(uint16_t op);
    void Push(uint32_t value)
    {
        if (FSP >= ZbScript::MaxValueStack)
            Fail(ZbScriptMsg::StackOver);
        FStack[FSP++] = value;
    }
    uint32_t Pop()
    {
        if (FSP <= FStackBase)
            Fail(ZbScriptMsg::StackEmpty);
        return FStack[--FSP];
    }
    void PushFrame();
    void CallByName(const std::string& text);
    void Return();
    std::string InlineText(uint64_t countAt) const;
    void Halt(TScriptResult result);
    std::string BudgetLine() const;

    // The scene's side.
    void BuildPanels();
    void Signal(int32_t value);
    void EndScene(TScriptResult result);
    void ExecMessage(uint16_t op, uint64_t at, uint32_t voice);
    void ExecChoices(uint64_t at);
    void PhaseTransition(int steps, bool skipping);
    void PhaseShake(int steps, bool skipping);
    void MenuStep();
    void SwirlStep(int steps);
    void ShowSlotPanels();
    void PlaceFigure(int slot, TVeRGBPanel* panel);
    void TintPicture(TVeRGBBits* bits);
    void MarkEyes(int slot);
    bool DrawOutPanel(int slot, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
    bool DrawSlotPanel(int slot, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
    // Pictures and the form's services: a hook when the host set one, else the main form.
    TVeRGBBits* NewEffectPicture();
    void DeletePicture(TVeRGBBits*& bits);
    void DrawPanelTo(TVeRGBPanel* panel, TVeRGBBits* bits);
    bool SvcSetTransition(int effect, TVeRGBBits* oldImage, TVeRGBBits* newImage);
    bool SvcTransitionIdle();
    void SvcAdvanceTransition(int steps);
    void SvcEndTransition();
    void SvcDrawTransition(TVeRGBBits* target, TVeRectSet* dirty);
    void SvcInstallTransitionProcs(bool on);
    void SvcResetFrameCounters();
    void SvcForceRender();
    void SvcSetCursorType(int type);
    void SvcStopSE();
    void SvcStopVoice();

    std::vector<TScriptInfo> FScripts;
    std::vector<uint8_t> FTriggerBuffer;
    std::vector<uint8_t> FCodeBuffer;
    std::vector<uint8_t> FStaging;
    uint32_t FTriggerFill = 0;
    uint32_t FCodeSize = 0;
    TVeHushTable FFuncNames;
    int FCurrentScript = -1;

    std::unique_ptr<uint32_t[]> FStack;
    uint32_t FSP = 0;
    uint32_t FStackBase = 0;  // what a condition may not pop below
    std::vector<TFuncCall> FCalls;
    size_t FCallBase = 0;  // frames a condition's return may not pop

    // The instruction pointer: a region of one buffer and an offset into that buffer.
    TRegion FRegion = TRegion::rgCode;
    const uint8_t* FBase = nullptr;
    int64_t FRegionStart = 0;
    int64_t FRegionEnd = 0;
    int64_t FIP = 0;
    int64_t FNextIP = 0;
    bool FHalted = true;
    bool FEvalMode = false;
    bool FBudgetLogged = false;  // the scene's run budget ran out once already

    uint8_t FTrigGroup = 0xFF;
    int32_t FTrigLimit = 100;
    int32_t FTrigScript = -1;
    uint32_t FTrigOffset = 0;
};

extern TAvgUnit* AvgUnit;
