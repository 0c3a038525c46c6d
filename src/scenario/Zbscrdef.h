#pragma once
// The scenario engine's own strings, buffer sizes and the script machine's opcodes.

#include <cstdint>

namespace ZbScript {

constexpr char FilePattern[] = "*.Wps";
constexpr char FileExtension[] = ".wps";
constexpr char Magic[4] = {'Z', 'B', '0', '1'};

constexpr int HeaderSize = 40;
constexpr int TriggerBufferSize = 65536;
constexpr int CodeBufferSize = 131072;
constexpr int FuncNameTableSize = 256;
constexpr int MaxFileNameLength = 25;  // the table's name field holds 28 bytes with the zero

constexpr int TriggerEntryFixedSize = 12;
constexpr int FuncEntryFixedSize = 12;

// The machine's limits. Valid scripts stay far below them; they turn a runaway script into a
// script error (or, for the run budget, into a pause until the next frame) instead of a hang.
constexpr uint32_t MaxValueStack = 65536;
constexpr uint32_t MaxCallStack = 4096;
constexpr int64_t RunBudget = 1000000;   // instructions per Run before it yields a frame
constexpr int64_t EvalBudget = 1000000;  // instructions a trigger condition may take

// Little-endian readers of the script format.
inline uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace ZbScript

// Log lines, byte for byte.
namespace ZbScriptMsg {
constexpr char TrigBufferOver[] = "AvgUnit TrigBuffer Over.";
constexpr char LoadOverTable[] = "LoadFunction over ScriptInfoTable";
constexpr char LoadCantOpen[] = "LoadFunction can't open ScriptFile";
constexpr char LoadBufferOver[] = "LoadFunction FuncBufer over";
constexpr char LoadCantLoad[] = "LoadFunction can't load Function";
constexpr char LoadNameOverflow[] = "LoadFunction overflow FuncNameTable";
constexpr char CallLScript[] = "ExecCode_CALL_L not found ScriptIndex [";
constexpr char CallLFunction[] = "ExecCode_CALL_L not found Function [";
constexpr char RetTooFew[] = "ExecCode_RET Stack is too few";
constexpr char DivisionByZero[] = "Division by zero";
constexpr char ExecException[] = "ExecCode Exception Error";
constexpr char ScriptError[] = "Script Error in ExecCode";

// Our own lines for the checks the machine adds.
constexpr char BadScriptFile[] = "AvgUnit bad ScriptFile [";
constexpr char BadFunction[] = "LoadFunction broken Function [";
constexpr char OutOfCode[] = "ExecCode out of Code";
constexpr char StackEmpty[] = "ExecCode Stack is empty";
constexpr char StackOver[] = "ExecCode Stack over";
constexpr char CallStackOver[] = "ExecCode CallStack over";
constexpr char CallLInCondition[] = "ExecCode_CALL_L in Condition";
constexpr char BadText[] = "ExecCode broken Text";
constexpr char EvalStepOver[] = "EvalCode Step over";
constexpr char RunStepOver[] = "Run Step over [";
}  // namespace ZbScriptMsg

// Opcodes. The core machine: 0 to 31.
enum TScriptOp : uint16_t {
    opNop = 0,
    opPush = 1,
    opPushStr = 2,
    opPop = 3,
    opJmp = 4,
    opJz = 5,
    opJnz = 6,
    opCall = 7,
    opCallL = 8,
    opDup = 9,
    opSwap = 10,
    opRet = 14,
    opEnd = 15,
    opNot = 16,
    opPlus = 17,
    opNeg = 18,
    opMul = 19,
    opDiv = 20,
    opMod = 21,
    opAdd = 22,
    opSub = 23,
    opLt = 24,
    opLe = 25,
    opGt = 26,
    opGe = 27,
    opEq = 28,
    opNe = 29,
    opAnd = 30,
    opOr = 31,

    // Scene instructions: game data and locals.
    opSetFlag = 64,
    opGetFlag = 65,
    opSetSysFlag = 66,
    opGetSysFlag = 67,
    opSetVar = 68,
    opIncVar = 69,
    opDecVar = 70,
    opGetVar = 71,
    opSetReg = 72,
    opGetReg = 73,
    opSetLocal = 74,
    opGetLocal = 75,

    // Messages and choices (the only opcodes besides 2 and 8 with inline operands).
    opMes = 128,
    opMesEnd = 129,
    opSelect = 130,
    opVoice = 131,
    opMesVoice = 132,

    // Sound, pictures, transitions and the story position.
    opPlayBGM = 256,
    opStopBGM = 257,
    opPlayBGMOnce = 258,
    opStopBGM2 = 259,
    opPlaySE = 260,
    opStopSE = 261,
    opPlaySE2 = 262,
    opStopSE2 = 263,
    opBG = 264,
    opBGWhite = 265,
    opBGBlack = 266,
    opSetChar = 267,
    opRemoveChar = 268,
    opChangeScene = 269,
    opChangeScene1 = 270,
    opBGChange = 271,
    opWhiteOut = 272,
    opBlackOut = 273,
    opCharIn = 274,
    opCharOut = 275,
    opShake = 276,
    opWait = 277,
    opGetPhase = 278,
    opGetEpisode = 279,
    opGetScene = 280,
    opSetProgress = 281,
    opGetModeA = 282,
    opSetModeA = 283,
    opRandom = 284,
    opSetModeB = 285,
    opClearModeB = 286,
    opOpeningMovie = 287,
    opEndingMovie = 288,
    opToTitle = 289,
    opRaiseCursor = 290,
    opLowerCursor = 291,
    opChapterMovie = 292,
    opMiniGame = 293,
    opScriptValue = 294,
    opBatonResult = 295,
};

// A scene's result code handed to the game flow.
using TScriptResult = int32_t;
namespace ZbResult {
constexpr TScriptResult NextScene = 0;
constexpr TScriptResult ChapterMovie = 1;
constexpr TScriptResult MiniGame = 2;
constexpr TScriptResult OpeningMovie = 8;
constexpr TScriptResult EndingMovie = 9;
constexpr TScriptResult Quit = 16;
constexpr TScriptResult Title = -1;
}  // namespace ZbResult

// True for the opcodes of the scene instructions (which have handlers, unlike the other
// opcodes above 31, which are two-byte no-ops).
constexpr bool IsSceneOp(uint32_t op)
{
    return (op >= 64 && op <= 75) || (op >= 128 && op <= 132) || (op >= 256 && op <= 295);
}
