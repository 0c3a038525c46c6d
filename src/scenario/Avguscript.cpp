// Script files: the script table, the trigger buffer and the function blocks.
#include <cstring>
#include <string>

#include "archive/Vefileman.h"
#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "game/Zbreadmes.h"
#include "scenario/Avgu.h"

using ZbScript::ReadU16;
using ZbScript::ReadU32;

namespace {

// Closes a stream of the file manager however the reader is left.
class TStreamGuard {
public:
    TStreamGuard(TFileMan* files, TStream* stream) : FFiles(files), FStream(stream) {}
    ~TStreamGuard() { Close(); }
    TStreamGuard(const TStreamGuard&) = delete;
    TStreamGuard& operator=(const TStreamGuard&) = delete;
    void Close()
    {
        if (FStream)
            FFiles->Close(FStream);
    }

private:
    TFileMan* FFiles;
    TStream* FStream;
};

// Reads count bytes at offset; false when the stream cannot give them all.
bool ReadAt(TStream* stream, uint32_t offset, uint8_t* buffer, uint32_t count)
{
    if (stream->Seek(offset, soBeginning) != static_cast<int64_t>(offset))
        return count == 0;
    return stream->Read(buffer, count) == static_cast<int64_t>(count);
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The line that names a script file and what is wrong with it. It goes before the loader's own
// line, which says only which step failed, so that line keeps its words.
void NoteScriptFile(const std::string& name, const std::string& failure)
{
    if (ErrLog)
        ErrLog->Add(ZbScriptMsg::BadScriptFile + name + "] " + failure);
}

// Leaves the line for a script file the table refuses; false, so that the build ends.
bool RefuseScriptFile(const std::string& name, const std::string& failure)
{
    NoteScriptFile(name, failure);
    return false;
}

}  // namespace

void ReadScriptHeader(const uint8_t* bytes, TScriptHeader& header)
{
    std::memcpy(header.Magic, bytes, 4);
    header.Reserved1 = ReadU32(bytes + 4);
    header.ScenarioId = ReadU32(bytes + 8);
    std::memcpy(header.Stamp, bytes + 12, 8);
    header.TriggerOffset = ReadU32(bytes + 20);
    header.TriggerSize = ReadU32(bytes + 24);
    header.FuncOffset = ReadU32(bytes + 28);
    header.FuncSize = ReadU32(bytes + 32);
    header.Reserved2 = ReadU32(bytes + 36);
}

void ReadTriggerEntry(const uint8_t* bytes, TTriggerEntry& entry)
{
    entry.EntryLength = ReadU16(bytes);
    entry.DataLength = ReadU16(bytes + 2);
    entry.CodeOffset = ReadU32(bytes + 4);
    entry.Group = bytes[8];
    entry.Priority = bytes[9];
    entry.ConditionLength = ReadU16(bytes + 10);
}

uint64_t GetCodeSize(const uint8_t* instruction, uint64_t available)
{
    if (available < 2)
        return 2;
    switch (ReadU16(instruction)) {
    case opPush:
    case opJmp:
    case opJz:
    case opJnz:
    case opCall:
        return 6;
    case opPushStr:
    case opCallL:
    case opSelect:
        return available < 6 ? 6 : 6 + uint64_t(ReadU32(instruction + 2));
    case opMes:
    case opMesVoice:
        return available < 10 ? 10 : 10 + uint64_t(ReadU32(instruction + 6));
    default:
        return 2;
    }
}

bool TAvgUnit::BuildScriptTable()
{
    TFileMan* files = Host.ScriptFileMan ? Host.ScriptFileMan : ::ScriptFileMan;
    FScripts.clear();
    FTriggerFill = 0;
    if (FTriggerBuffer.size() != ZbScript::TriggerBufferSize)
        FTriggerBuffer.assign(ZbScript::TriggerBufferSize, 0);
    if (!files)
        return false;
    files->FindFirst(ZbScript::FilePattern);
    std::string name;
    while (files->FindNext(name))
        if (!ReadScriptFile(files, name))
            return false;
    return true;
}

// Adds one file to the table; false ends the build. Nothing of a refused file is kept, and its
// scenario is registered with the read-message table only once the file has passed.
bool TAvgUnit::ReadScriptFile(TFileMan* files, const std::string& name)
{
    std::string failure;
    TStream* stream = files->Open(name, &failure);
    if (!stream)
        return RefuseScriptFile(name, "cannot be read: " + failure);
    TStreamGuard guard(files, stream);
    if (name.size() > ZbScript::MaxFileNameLength)
        return RefuseScriptFile(name, "name longer than " + std::to_string(ZbScript::MaxFileNameLength) + " characters");

    uint8_t head[ZbScript::HeaderSize];
    if (stream->Read(head, sizeof head) < static_cast<int64_t>(sizeof head))
        return RefuseScriptFile(name, "shorter than its header");
    if (std::memcmp(head, ZbScript::Magic, 4) != 0)
        return RefuseScriptFile(name, "bad header: not a script file");
    TScriptInfo info;
    info.FileName = name;
    ReadScriptHeader(head, info.Header);

    const uint32_t size = info.Header.TriggerSize;
    if (uint64_t(FTriggerFill) + size > ZbScript::TriggerBufferSize) {
        NoteScriptFile(name, "trigger block of " + std::to_string(size) + " bytes");
        if (ErrLog)
            ErrLog->Add(ZbScriptMsg::TrigBufferOver);
        return false;
    }
    if (!ReadAt(stream, info.Header.TriggerOffset, FTriggerBuffer.data() + FTriggerFill, size))
        return RefuseScriptFile(name, "trigger block past the end of the file");
    if (!CheckTriggerBlock(FTriggerBuffer.data() + FTriggerFill, size, info.Header.FuncSize))
        return RefuseScriptFile(name, "broken trigger block");
    if (ReadMesTable)
        ReadMesTable->SetScenario(static_cast<int32_t>(info.Header.ScenarioId), info.Header.Stamp);
    info.TriggerOffset = FTriggerFill;
    FTriggerFill += size;
    FScripts.push_back(std::move(info));
    return true;
}

// Every entry at least its fixed part long and inside the block, its data and condition inside
// the entry, its code offset inside the function block; the chain ends exactly at the block's
// end.
bool TAvgUnit::CheckTriggerBlock(const uint8_t* block, uint32_t size, uint32_t funcSize) const
{
    uint64_t offset = 0;
    while (offset < size) {
        if (size - offset < ZbScript::TriggerEntryFixedSize)
            return false;
        TTriggerEntry entry;
        ReadTriggerEntry(block + offset, entry);
        if (entry.EntryLength < ZbScript::TriggerEntryFixedSize || offset + entry.EntryLength > size)
            return false;
        if (uint64_t(ZbScript::TriggerEntryFixedSize) + entry.DataLength + entry.ConditionLength > entry.EntryLength)
            return false;
        if (entry.CodeOffset >= funcSize)
            return false;
        offset += entry.EntryLength;
    }
    return true;
}

bool TAvgUnit::IsTriggerEntry(int scriptIndex, uint32_t entryOffset) const
{
    if (scriptIndex < 0 || scriptIndex >= ScriptCount())
        return false;
    const TScriptInfo& info = FScripts[static_cast<size_t>(scriptIndex)];
    const uint8_t* block = FTriggerBuffer.data() + info.TriggerOffset;
    uint32_t offset = 0;
    while (offset < entryOffset && offset < info.Header.TriggerSize)
        offset += ReadU16(block + offset);
    return offset == entryOffset && offset < info.Header.TriggerSize;
}

int TAvgUnit::FindScript(const std::string& name) const
{
    for (size_t i = 0; i < FScripts.size(); ++i)
        if (SameNameIgnoringCase(FScripts[i].FileName, name))
            return static_cast<int>(i);
    return -1;
}

// Reads and checks the whole block before anything changes, so a failed load leaves the loaded
// block, its name table and the current script index as they were.
void TAvgUnit::LoadFunction(int index)
{
    if (index < 0 || index >= ScriptCount())
        Fail(ZbScriptMsg::LoadOverTable);
    const TScriptInfo& info = FScripts[static_cast<size_t>(index)];
    TFileMan* files = Host.ScriptFileMan ? Host.ScriptFileMan : ::ScriptFileMan;
    std::string failure = "no script archive";
    TStream* stream = files ? files->Open(info.FileName, &failure) : nullptr;
    if (!stream) {
        NoteScriptFile(info.FileName, "cannot be read: " + failure);
        Fail(ZbScriptMsg::LoadCantOpen);
    }
    TStreamGuard guard(files, stream);
    const uint32_t size = info.Header.FuncSize;
    if (size > ZbScript::CodeBufferSize) {
        NoteScriptFile(info.FileName, "function block of " + std::to_string(size) + " bytes");
        Fail(ZbScriptMsg::LoadBufferOver);
    }
    if (FStaging.size() != ZbScript::CodeBufferSize)
        FStaging.assign(ZbScript::CodeBufferSize, 0);
    if (!ReadAt(stream, info.Header.FuncOffset, FStaging.data(), size)) {
        NoteScriptFile(info.FileName, "function block past the end of the file");
        Fail(ZbScriptMsg::LoadCantLoad);
    }
    guard.Close();

    const uint8_t* block = FStaging.data();
    uint64_t offset = 0;
    int count = 0;
    while (offset < size) {
        bool good = size - offset >= ZbScript::FuncEntryFixedSize;
        uint64_t length = good ? ReadU32(block + offset) : 0;
        uint64_t nameLength = good ? ReadU16(block + offset + 4) : 0;
        good = good && length >= ZbScript::FuncEntryFixedSize + nameLength && offset + length <= size &&
               nameLength > 0 && std::memchr(block + offset + 12, 0, nameLength) != nullptr;
        if (!good)
            Fail(ZbScriptMsg::BadFunction + info.FileName + "]");
        ++count;
        offset += length;
    }
    if (count > FFuncNames.GetCapacity()) {
        NoteScriptFile(info.FileName, "more function names than the table holds");
        Fail(ZbScriptMsg::LoadNameOverflow);
    }

    if (FCodeBuffer.size() != ZbScript::CodeBufferSize)
        FCodeBuffer.assign(ZbScript::CodeBufferSize, 0);
    std::memcpy(FCodeBuffer.data(), block, size);
    FCodeSize = size;
    FFuncNames.AllClear();
    for (offset = 0; offset < size; offset += ReadU32(FCodeBuffer.data() + offset)) {
        const uint8_t* entry = FCodeBuffer.data() + offset;
        uint32_t codeOffset = static_cast<uint32_t>(offset + 12 + ReadU16(entry + 4));
        if (FFuncNames.AddData(reinterpret_cast<const char*>(entry + 12), static_cast<int32_t>(codeOffset)) < 0) {
            NoteScriptFile(info.FileName, "more function names than the table holds");
            Fail(ZbScriptMsg::LoadNameOverflow);
        }
    }
    FCurrentScript = index;
    if (FRegion == TRegion::rgCode) {
        FBase = FCodeBuffer.data();
        FRegionStart = 0;
        FRegionEnd = FCodeSize;
    }
}
