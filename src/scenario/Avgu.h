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
// Everything runs on the game thread; the unit takes no lock.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Vehushtable.h"
#include "platform/Classes.h"
#include "scenario/Zbscrdef.h"

class TFileMan;

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

// What the scene unit needs from the game above the scenario engine's dependencies: the game
// thread's signal (MainThreadSignal) and the script archive (ScriptFileMan). The game sets them.
struct TAvgUnitHost {
    std::function<void(int32_t value)> MainThreadSignal;
    TFileMan* ScriptFileMan = nullptr;
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
    std::array<int, 3> EyeX{-1, -1, -1};
    int BGEffect = 0;
    int BGTone = 0;
    int CharMove = 0;
    bool MesWinOpen = false;
    std::string Message;
    int WeatherKind = 0;
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
    void PushBackLog();

    std::vector<TScriptInfo> FScripts;
    std::vector<uint8_t> FTriggerBuffer;
    std::vector<uint8_t> FCodeBuffer;
    std::vector<uint8_t> FStaging;
    uint32_t FTriggerFill = 0;
    uint32_t FCodeSize = 0;
    uint32_t FLoadSerial = 0;
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

    uint8_t FTrigGroup = 0xFF;
    int32_t FTrigLimit = 100;
    int32_t FTrigScript = -1;
    uint32_t FTrigOffset = 0;
};
