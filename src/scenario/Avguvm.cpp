// The script machine: a value stack of 32-bit numbers, a call stack, an instruction pointer
// into the loaded function block (or, for a trigger condition, into the trigger buffer).
#include <cstring>

#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "scenario/Avgu.h"

using ZbScript::ReadU16;
using ZbScript::ReadU32;

namespace {

// A PUSHSTR reference: bit 31 set, bit 30 the trigger buffer, bits 17 to 29 the script whose
// function block holds the text, bits 0 to 16 the instruction's offset. A reference names its
// block by the script, so it holds whenever that script's block is loaded (a call into another
// script and the return reload it) and never while another block is. A script number too large
// for the field gets the reserved value, which no block answers. A value that is not a
// reference is never followed.
constexpr uint32_t RefMark = 0x80000000u;
constexpr uint32_t RefTrigger = 0x40000000u;
constexpr uint32_t RefScriptMask = 0x1FFF;
constexpr uint32_t RefNoScript = RefScriptMask;
constexpr int RefScriptShift = 17;
constexpr uint32_t RefOffsetMask = 0x1FFFF;

uint32_t RefScriptField(int script)
{
    return script >= 0 && static_cast<uint32_t>(script) < RefNoScript ? static_cast<uint32_t>(script) : RefNoScript;
}

void LogLine(const char* line)
{
    if (ErrLog)
        ErrLog->Add(line);
}

}  // namespace

void TAvgUnit::JumpTo(uint32_t codeOffset)
{
    FRegion = TRegion::rgCode;
    FBase = FCodeBuffer.empty() ? nullptr : FCodeBuffer.data();
    FRegionStart = 0;
    FRegionEnd = FBase ? FCodeSize : 0;
    FIP = codeOffset;
    FHalted = false;
}

void TAvgUnit::Halt(TScriptResult result)
{
    Result = result;
    FHalted = true;
}

uint32_t TAvgUnit::StackValue(uint32_t fromTop) const
{
    return fromTop < FSP ? FStack[FSP - 1 - fromTop] : 0;
}

void TAvgUnit::PushFrame()
{
    if (FCalls.size() >= ZbScript::MaxCallStack)
        Fail(ZbScriptMsg::CallStackOver);
    FCalls.push_back(TFuncCall{FCurrentScript, static_cast<uint32_t>(FNextIP), FSP});
}

// The zero-terminated text of an inline operand whose byte count lies at countAt; the
// instruction is already known to lie inside its block.
std::string TAvgUnit::InlineText(uint64_t countAt) const
{
    const uint8_t* text = FBase + countAt + 4;
    const uint32_t count = ReadU32(FBase + countAt);
    const void* end = std::memchr(text, 0, count);
    if (!end)
        Fail(ZbScriptMsg::BadText);
    return std::string(reinterpret_cast<const char*>(text), static_cast<const uint8_t*>(end) - text);
}

void TAvgUnit::CallByName(const std::string& text)
{
    std::string function = text;
    const size_t cut = text.find("::");
    if (cut != std::string::npos) {
        if (cut > 0) {
            const std::string script = text.substr(0, cut);
            const int index = FindScript(script + ZbScript::FileExtension);
            if (index < 0)
                Fail(ZbScriptMsg::CallLScript + script + "]");
            LoadFunction(index);
        }
        function = text.substr(cut + 2);
    }
    const int found = FFuncNames.Search(function.c_str());
    if (found < 0)
        Fail(ZbScriptMsg::CallLFunction + function + "]");
    FNextIP = static_cast<uint32_t>(FFuncNames.GetParam(found));
}

void TAvgUnit::Return()
{
    if (FCalls.size() <= FCallBase) {
        Halt(ZbResult::NextScene);
        return;
    }
    const TFuncCall frame = FCalls.back();
    FCalls.pop_back();
    if (frame.ScriptIndex != FCurrentScript)
        LoadFunction(frame.ScriptIndex);
    FNextIP = frame.ReturnPosition;
    if (FSP < frame.StackDepth)
        Fail(ZbScriptMsg::RetTooFew);
    FSP = frame.StackDepth;
}

bool TAvgUnit::TextOfReference(uint32_t reference, std::string& text) const
{
    if (!(reference & RefMark))
        return false;
    const uint8_t* base;
    uint64_t end;
    if (reference & RefTrigger) {
        base = FTriggerBuffer.data();
        end = FTriggerBuffer.empty() ? 0 : FTriggerFill;
    } else {
        const uint32_t script = (reference >> RefScriptShift) & RefScriptMask;
        if (script == RefNoScript || script != RefScriptField(FCurrentScript))
            return false;
        base = FCodeBuffer.data();
        end = FCodeBuffer.empty() ? 0 : FCodeSize;
    }
    const uint64_t at = reference & RefOffsetMask;
    if (at + 6 > end || ReadU16(base + at) != opPushStr)
        return false;
    const uint64_t count = ReadU32(base + at + 2);
    if (at + 6 + count > end)
        return false;
    const void* zero = std::memchr(base + at + 6, 0, count);
    if (!zero)
        return false;
    text.assign(reinterpret_cast<const char*>(base + at + 6), static_cast<const uint8_t*>(zero) - (base + at + 6));
    return true;
}

// One instruction. Arithmetic reads the values as signed and wraps as 32-bit two's complement.
inline void TAvgUnit::Step()
{
    const int64_t ip = FIP;
    if (ip < FRegionStart || FRegionEnd - ip < 2)
        Fail(ZbScriptMsg::OutOfCode);
    const uint8_t* const p = FBase + ip;
    const uint16_t op = ReadU16(p);
    const uint64_t available = static_cast<uint64_t>(FRegionEnd - ip);
    const uint64_t size = GetCodeSize(p, available);
    if (size > available)
        Fail(ZbScriptMsg::OutOfCode);
    FNextIP = ip + static_cast<int64_t>(size);

    switch (op) {
    case opNop:
        break;
    case opPush:
        Push(ReadU32(p + 2));
        break;
    case opPushStr: {
        uint32_t reference = RefMark | static_cast<uint32_t>(ip);
        if (FRegion == TRegion::rgTrigger)
            reference |= RefTrigger;
        else
            reference |= RefScriptField(FCurrentScript) << RefScriptShift;
        Push(reference);
        break;
    }
    case opPop:
        Pop();
        break;
    case opJmp:
        FNextIP = ip + static_cast<int32_t>(ReadU32(p + 2));
        break;
    case opJz:
        if (Pop() == 0)
            FNextIP = ip + static_cast<int32_t>(ReadU32(p + 2));
        break;
    case opJnz:
        if (Pop() != 0)
            FNextIP = ip + static_cast<int32_t>(ReadU32(p + 2));
        break;
    case opCall:
        if (ResourcesReady) {
            PushFrame();
            FNextIP = ip + static_cast<int32_t>(ReadU32(p + 2));
        }
        break;
    case opCallL:
        if (ResourcesReady) {
            // A condition runs in the trigger buffer: loading a function block there would
            // leave it running code of a block it did not come from.
            if (FEvalMode)
                Fail(ZbScriptMsg::CallLInCondition);
            const std::string text = InlineText(static_cast<uint64_t>(ip) + 2);
            PushFrame();
            CallByName(text);
        }
        break;
    case opDup: {
        const uint32_t v = Pop();
        Push(v);
        Push(v);
        break;
    }
    case opSwap: {
        const uint32_t b = Pop();
        const uint32_t a = Pop();
        Push(b);
        Push(a);
        break;
    }
    case opRet:
        Return();
        break;
    case opEnd:
        Halt(ZbResult::NextScene);
        break;
    case opNot:
        Push(Pop() == 0 ? 1 : 0);
        break;
    case opPlus:
        Push(Pop());
        break;
    case opNeg:
        Push(0u - Pop());
        break;
    case opMul: {
        const uint32_t b = Pop();
        const uint32_t a = Pop();
        Push(a * b);
        break;
    }
    case opDiv:
    case opMod: {
        const int32_t b = static_cast<int32_t>(Pop());
        const int32_t a = static_cast<int32_t>(Pop());
        int32_t r;
        if (b == 0) {
            LogLine(ZbScriptMsg::DivisionByZero);
            r = op == opMod ? 0 : (a < 0 ? 0 : -1);
        } else if (b == -1) {
            // The one quotient that does not fit: wrap as the hardware's two's complement would.
            r = op == opMod ? 0 : static_cast<int32_t>(0u - static_cast<uint32_t>(a));
        } else {
            r = op == opMod ? a % b : a / b;
        }
        Push(static_cast<uint32_t>(r));
        break;
    }
    case opAdd: {
        const uint32_t b = Pop();
        const uint32_t a = Pop();
        Push(a + b);
        break;
    }
    case opSub: {
        const uint32_t b = Pop();
        const uint32_t a = Pop();
        Push(a - b);
        break;
    }
    case opLt:
    case opLe:
    case opGt:
    case opGe:
    case opEq:
    case opNe:
    case opAnd:
    case opOr: {
        const int32_t b = static_cast<int32_t>(Pop());
        const int32_t a = static_cast<int32_t>(Pop());
        bool r = false;
        switch (op) {
        case opLt: r = a < b; break;
        case opLe: r = a <= b; break;
        case opGt: r = a > b; break;
        case opGe: r = a >= b; break;
        case opEq: r = a == b; break;
        case opNe: r = a != b; break;
        case opAnd: r = a != 0 && b != 0; break;
        default: r = a != 0 || b != 0; break;
        }
        Push(r ? 1 : 0);
        break;
    }
    default:
        if (op >= 64)
            ExecSceneCode(op);
        break;
    }
    FIP = FNextIP;
}

// EGameErr and every error that is not a class-library exception become the three-line report;
// other class-library exceptions (the game thread's ending among them) pass unchanged.
void TAvgUnit::ExecCode()
{
    if (FHalted)
        return;
    try {
        Step();
    } catch (const EGameErr&) {
        LogLine(ZbScriptMsg::ExecException);
        throw EGameErr();
    } catch (const Exception&) {
        throw;
    } catch (const std::exception&) {
        LogLine(ZbScriptMsg::ExecException);
        throw EGameErr();
    }
}

bool TAvgUnit::Run()
{
    Phase = 2;
    try {
        int64_t steps = 0;
        while (!FHalted && Phase == 2) {
            if (steps >= RunBudget) {
                // An endless loop must not freeze the frame pump: go on with the next frame.
                // One line per scene, so that the author learns why the screen stands still.
                if (!FBudgetLogged) {
                    FBudgetLogged = true;
                    LogLine(BudgetLine().c_str());
                }
                Phase = 3;
                return false;
            }
            ExecCode();
            ++steps;
        }
    } catch (const EGameErr&) {
        FHalted = true;
        LogLine(ZbScriptMsg::ScriptError);
        throw EGameErr();
    } catch (const Exception&) {
        FHalted = true;
        throw;
    } catch (const std::exception&) {
        FHalted = true;
        LogLine(ZbScriptMsg::ScriptError);
        throw EGameErr();
    }
    if (FHalted) {
        PushBackLog();
        Signal(Result);
    }
    return FHalted;
}

// Names the script and the place where the budget ran out, the place being an offset into
// the script's function block.
std::string TAvgUnit::BudgetLine() const
{
    std::string line = ZbScriptMsg::RunStepOver;
    if (FCurrentScript >= 0 && FCurrentScript < ScriptCount())
        line += FScripts[static_cast<size_t>(FCurrentScript)].FileName;
    return line + " " + std::to_string(FIP) + "]";
}

bool TAvgUnit::StartScript(int scriptIndex, uint32_t entryOffset)
{
    FEvalMode = false;
    if (!ResourcesReady) {
        Halt(ZbResult::NextScene);
        return true;
    }
    ResetScene();
    FBudgetLogged = false;
    FSP = FStackBase = 0;
    FCalls.clear();
    FCallBase = 0;
    if (scriptIndex < ScriptCount()) {
        LoadFunction(scriptIndex);
        if (IsTriggerEntry(scriptIndex, entryOffset)) {
            const TScriptInfo& info = FScripts[static_cast<size_t>(scriptIndex)];
            TTriggerEntry entry;
            ReadTriggerEntry(FTriggerBuffer.data() + info.TriggerOffset + entryOffset, entry);
            JumpTo(entry.CodeOffset);
            return Run();
        }
    }
    // Nothing runs: halted, so that the game flow does not wait for a signal that never comes.
    Halt(ZbResult::NextScene);
    return true;
}

bool TAvgUnit::EvalCode(uint32_t start, uint32_t length)
{
    FEvalMode = true;
    const uint32_t depth = FSP;
    const size_t calls = FCalls.size();
    FStackBase = depth;
    FCallBase = calls;
    FCurrentScript = -1;
    FRegion = TRegion::rgTrigger;
    FBase = FTriggerBuffer.empty() ? nullptr : FTriggerBuffer.data();
    FRegionStart = start;
    FRegionEnd = int64_t(start) + length;
    FIP = start;
    FHalted = false;

    // Whatever the condition does, it leaves both stacks as deep as it found them.
    auto restore = [&] {
        if (FSP > depth)
            FSP = depth;
        if (FCalls.size() > calls)
            FCalls.resize(calls);
        FStackBase = 0;
        FCallBase = 0;
    };
    try {
        if (uint64_t(start) + length > FTriggerBuffer.size())
            Fail(ZbScriptMsg::OutOfCode);
        int64_t steps = 0;
        while (!FHalted && FIP < FRegionEnd) {
            if (steps++ >= EvalBudget)
                Fail(ZbScriptMsg::EvalStepOver);
            ExecCode();
        }
    } catch (const EGameErr&) {
        restore();
        FHalted = true;
        LogLine(ZbScriptMsg::ScriptError);
        throw EGameErr();
    } catch (const Exception&) {
        restore();
        FHalted = true;
        throw;
    } catch (const std::exception&) {
        restore();
        FHalted = true;
        LogLine(ZbScriptMsg::ScriptError);
        throw EGameErr();
    }
    const uint32_t result = FSP > depth ? FStack[FSP - 1] : 0;
    restore();
    return result != 0;
}
