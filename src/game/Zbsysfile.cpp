#include "game/Zbsysfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "archive/Verange.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbreadmes.h"
#include "platform/Atomicfile.h"
#include "platform/Filenames.h"

std::string SysSaveFolder;

namespace {

constexpr int64_t MinRaw = TSysData::ByteSize + TReadMesTable::HeaderSize;

// Set when the file on disk exists but did not load, with the reason: the next save keeps it
// aside first. Loaded on the interface thread, saved on the game thread.
std::mutex LoadFailureLock;
bool LoadFailed = false;
std::string LoadFailure;

void SetLoadFailure(bool failed, const std::string& why)
{
    std::lock_guard<std::mutex> lock(LoadFailureLock);
    LoadFailed = failed;
    LoadFailure = why;
}

uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

std::string InFolder(const std::string& name)
{
    return NativePath(SysSaveFolder.empty() ? name : SysSaveFolder + "/" + name);
}

std::string SavePath()
{
    return InFolder(SysSaveFileName);
}

void LogError(const char* line, const TAtomicWriteFault& fault)
{
    if (ErrLog)
        ErrLog->Add(std::string(line) + " (" + AtomicWriteFaultText(fault) + ")");
}

std::string UnreadableLine(const std::string& why)
{
    return std::string(LogSysSaveLoadError) + " (" + why + ")";
}

// Moves a file that failed to load out of the way of the first save over it: to the keep-aside
// name, else to the first free numbered name; an older kept file is never replaced. A file the
// player may not write stays where it is, and the save is refused as for any read-only save.
bool KeepUnreadableFile(const std::string& path)
{
    std::string why;
    {
        std::lock_guard<std::mutex> lock(LoadFailureLock);
        if (!LoadFailed)
            return true;
        why = LoadFailure;
    }
    // A file left where it is would otherwise never say why it was not loaded.
    auto refuse = [&why](const TAtomicWriteFault& fault) {
        if (ErrLog)
            ErrLog->AddOnce(UnreadableLine(why));
        LogError(LogSysSaveError, fault);
        return false;
    };
    if (!MayReplaceFile(path))
        return refuse({TAtomicWriteStep::Access, errno});
    std::string kept;
    int error = EEXIST;
    // Only a taken name is worth trying the next one for; ENOENT says the file is gone.
    for (int n = 0; error == EEXIST && n <= SysSaveBadNumbers; ++n) {
        kept = InFolder(n == 0 ? std::string(SysSaveBadName) : SysSaveBadName + std::to_string(n));
        error = RenameNoReplace(path, kept) ? 0 : errno;
    }
    if (error == 0) {
        if (ErrLog)
            ErrLog->Add(UnreadableLine(why) + LogSysSaveKeptAs + kept.substr(kept.rfind('/') + 1));
    } else if (error != ENOENT) {
        // Rather no save than a save over the only copy of the player's progress.
        return refuse({TAtomicWriteStep::Rename, error});
    }
    SetLoadFailure(false, "");
    return true;
}

}  // namespace

bool BuildSysDataImage(std::vector<uint8_t>& image)
{
    if (!SysData || !ReadMesTable || !ReadMesTable->GetData())
        return false;
    int64_t tableSize = ReadMesTable->GetSize();
    if (tableSize < TReadMesTable::HeaderSize || tableSize >= TReadMesTable::BufferSize)
        return false;
    try {
        int64_t rawSize = TSysData::ByteSize + tableSize;
        std::vector<uint8_t> raw(static_cast<size_t>(rawSize));
        StoreSysData(*SysData, raw.data());
        std::memcpy(raw.data() + TSysData::ByteSize, ReadMesTable->GetData(), static_cast<size_t>(tableSize));

        std::unique_ptr<TRangeEncode> encoder(new TRangeEncode);
        if (!encoder->CreateBuffer())
            return false;
        image.assign(static_cast<size_t>(8 + SysSaveMaxCoded), 0);
        if (!encoder->Encode(raw.data(), image.data() + 8, SysSaveMaxCoded, rawSize))
            return false;
        image.resize(static_cast<size_t>(8 + encoder->OutCount));
        std::memcpy(image.data(), SysSaveMagic, 4);
        for (int i = 0; i < 4; ++i)
            image[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(rawSize) >> (8 * i));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void RemoveSysSaveLeftovers()
{
    RemoveAtomicLeftovers(SavePath(), LeftoverMinAge);
}

bool SaveSysData()
{
    std::vector<uint8_t> image;
    if (!BuildSysDataImage(image))
        return false;
    std::string path = SavePath();
    if (!KeepUnreadableFile(path))
        return false;
    TAtomicWriteFault fault;
    if (!WriteFileAtomic(path, image.data(), image.size(), &fault)) {
        LogError(LogSysSaveError, fault);
        return false;
    }
    if (fault.Step != TAtomicWriteStep::None)
        LogError(LogSysSaveSync, fault);
    return true;
}

bool LoadSysDataImage(const uint8_t* data, size_t size, std::string* why)
{
    auto refuse = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return false;
    };
    if (!SysData || !ReadMesTable || !data)
        return refuse("no records to load into");
    if (size < 8)
        return refuse(std::to_string(size) + " bytes, shorter than the 8-byte header");
    if (std::memcmp(data, SysSaveMagic, 4) != 0)
        return refuse("it does not begin with ZB01");
    int64_t rawSize = Get32(data + 4);
    int64_t codedSize = static_cast<int64_t>(size) - 8;
    if (rawSize < MinRaw || rawSize > SysSaveMaxRaw)
        return refuse("raw size " + std::to_string(rawSize) + " outside " + std::to_string(MinRaw) + " to " +
                      std::to_string(SysSaveMaxRaw));
    if (codedSize > SysSaveMaxCoded)
        return refuse("a body of " + std::to_string(codedSize) + " bytes, more than the " +
                      std::to_string(SysSaveMaxCoded) + " a save may hold");
    try {
        std::vector<uint8_t> raw(static_cast<size_t>(rawSize));
        std::unique_ptr<TRangeDecode> decoder(new TRangeDecode);
        if (!decoder->CreateBuffer())
            return refuse("no memory for the decoder");
        if (!decoder->Decode(data + 8, raw.data(), codedSize, rawSize) || decoder->OutCount != rawSize)
            return refuse("the body does not decode to its raw size of " + std::to_string(rawSize) + " bytes");
        const uint8_t* table = raw.data() + TSysData::ByteSize;
        int64_t tableSize = rawSize - TSysData::ByteSize;
        if (!TReadMesTable::IsValidTable(table, tableSize))
            return refuse("its read-message table is damaged");
        TSysData loaded;
        LoadSysDataBytes(loaded, raw.data());
        if (!ReadMesTable->SetData(table, tableSize))
            return refuse("its read-message table does not fit");
        *SysData = loaded;
        return true;
    } catch (const std::bad_alloc&) {
        return refuse("out of memory");
    }
}

bool LoadSysData()
{
    SetLoadFailure(false, "");
    std::string path = SavePath();
    if (!SysData || !ReadMesTable || !PathIsFile(path))
        return false;
    std::string text;
    int error = 0;
    std::string why;
    bool loaded = false;
    switch (ReadWholeFile(path, 8 + SysSaveMaxCoded, text, &error)) {
    case TFileReadResult::Ok:
        loaded = LoadSysDataImage(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &why);
        break;
    case TFileReadResult::Missing:
        return false;
    case TFileReadResult::TooLarge:
        why = "longer than the " + std::to_string(8 + SysSaveMaxCoded) + " bytes a save may hold";
        break;
    case TFileReadResult::Failed:
        why = std::error_code(error, std::generic_category()).message();
        break;
    }
    SetLoadFailure(!loaded, why);
    return loaded;
}
