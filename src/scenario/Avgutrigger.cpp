// Trigger selection: candidates of a group by descending priority, then table order.
#include "scenario/Avgu.h"

void TAvgUnit::SetTriggerGroup(uint8_t group)
{
    FTrigGroup = group;
    FTrigLimit = 100;
    FTrigScript = -1;
}

bool TAvgUnit::FindTrigger(int& scriptIndex, uint32_t& entryOffset)
{
    if (static_cast<int8_t>(FTrigGroup) < 0)
        return false;
    const int count = ScriptCount();
    for (;;) {
        if (FTrigScript == -1) {
            int best = -1;
            for (int s = 0; s < count && best != FTrigLimit; ++s) {
                const TScriptInfo& info = FScripts[static_cast<size_t>(s)];
                const uint8_t* block = FTriggerBuffer.data() + info.TriggerOffset;
                for (uint32_t offset = 0; offset < info.Header.TriggerSize;) {
                    TTriggerEntry entry;
                    ReadTriggerEntry(block + offset, entry);
                    if (entry.Group == FTrigGroup && entry.Priority <= FTrigLimit && entry.Priority > best) {
                        best = entry.Priority;
                        FTrigScript = s;
                        FTrigOffset = offset;
                        if (best == FTrigLimit)
                            break;
                    }
                    offset += entry.EntryLength;
                }
            }
            if (FTrigScript == -1) {
                FTrigGroup = 0xFF;
                return false;
            }
            FTrigLimit = best;
        }

        for (; FTrigScript < count; ++FTrigScript, FTrigOffset = 0) {
            const TScriptInfo& info = FScripts[static_cast<size_t>(FTrigScript)];
            const uint8_t* block = FTriggerBuffer.data() + info.TriggerOffset;
            while (FTrigOffset < info.Header.TriggerSize) {
                const uint32_t offset = FTrigOffset;
                TTriggerEntry entry;
                ReadTriggerEntry(block + offset, entry);
                FTrigOffset += entry.EntryLength;
                if (entry.Group == FTrigGroup && entry.Priority == FTrigLimit) {
                    scriptIndex = FTrigScript;
                    entryOffset = offset;
                    return true;
                }
            }
        }

        --FTrigLimit;
        FTrigScript = -1;
        if (FTrigLimit < 0) {
            FTrigGroup = 0xFF;
            return false;
        }
    }
}

bool TAvgUnit::TestTrigger(int scriptIndex, uint32_t entryOffset)
{
    // The trigger-test phase ends however the test does, a condition's script error included.
    struct TPhaseGuard {
        uint8_t& Phase;
        ~TPhaseGuard() { Phase = 0; }
    } guard{Phase};
    Phase = 1;
    if (!IsTriggerEntry(scriptIndex, entryOffset))
        return false;
    const TScriptInfo& info = FScripts[static_cast<size_t>(scriptIndex)];
    const uint32_t at = info.TriggerOffset + entryOffset;
    TTriggerEntry entry;
    ReadTriggerEntry(FTriggerBuffer.data() + at, entry);
    return EvalCode(at + ZbScript::TriggerEntryFixedSize + entry.DataLength, entry.ConditionLength);
}
