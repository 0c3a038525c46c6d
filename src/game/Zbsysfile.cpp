#include "game/Zbsysfile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/Verange.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbreadmes.h"
#include "platform/Atomicfile.h"
#include "platform/Filenames.h"
#include "platform/Streams.h"

std::string SysSaveFolder;

namespace {

constexpr int64_t MinRaw = TSysData::ByteSize + TReadMesTable::HeaderSize;

// Set when the file on disk exists but did not load: the next save keeps it aside first.
std::atomic<bool> LoadFailed{false};

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

// Moves a file that failed to load out of the way of the first save over it: to the keep-aside
// name (replacing an older kept file), else to the first free numbered name.
bool KeepUnreadableFile(const std::string& path)
{
    if (!LoadFailed)
        return true;
    std::string kept = InFolder(SysSaveBadName);
    int error = ::rename(path.c_str(), kept.c_str()) == 0 ? 0 : errno;
    // Only a taken name is worth trying the next one for; ENOENT says the file is gone.
    for (int n = 1; error != 0 && error != ENOENT && n <= SysSaveBadNumbers; ++n) {
        kept = InFolder(SysSaveBadName + std::to_string(n));
        error = RenameNoReplace(path, kept) ? 0 : errno;
        if (error != EEXIST)
            break;
    }
    if (error == 0) {
        if (ErrLog)
            ErrLog->Add(LogSysSaveKept + kept.substr(kept.rfind('/') + 1));
    } else if (error != ENOENT) {
        // Rather no save than a save over the only copy of the player's progress.
        LogError(LogSysSaveError, {TAtomicWriteStep::Rename, error});
        return false;
    }
    LoadFailed = false;
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

bool LoadSysDataImage(const uint8_t* data, size_t size)
{
    if (!SysData || !ReadMesTable || !data || size < 8 || std::memcmp(data, SysSaveMagic, 4) != 0)
        return false;
    int64_t rawSize = Get32(data + 4);
    int64_t codedSize = static_cast<int64_t>(size) - 8;
    if (rawSize < MinRaw || rawSize > SysSaveMaxRaw || codedSize > SysSaveMaxCoded)
        return false;
    try {
        std::vector<uint8_t> raw(static_cast<size_t>(rawSize));
        std::unique_ptr<TRangeDecode> decoder(new TRangeDecode);
        if (!decoder->CreateBuffer())
            return false;
        if (!decoder->Decode(data + 8, raw.data(), codedSize, rawSize) || decoder->OutCount != rawSize)
            return false;
        const uint8_t* table = raw.data() + TSysData::ByteSize;
        int64_t tableSize = rawSize - TSysData::ByteSize;
        if (!TReadMesTable::IsValidTable(table, tableSize))
            return false;
        TSysData loaded;
        LoadSysDataBytes(loaded, raw.data());
        if (!ReadMesTable->SetData(table, tableSize))
            return false;
        *SysData = loaded;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool LoadSysData()
{
    LoadFailed = false;
    std::string path = SavePath();
    if (!SysData || !ReadMesTable || !PathIsFile(path))
        return false;
    bool loaded = false;
    try {
        TFileStream file(path, fmOpenRead);
        int64_t size = file.GetSize();
        std::vector<uint8_t> image;
        if (size >= 8 && size <= 8 + SysSaveMaxCoded) {
            image.resize(static_cast<size_t>(size));
            loaded = file.Read(image.data(), size) == size && LoadSysDataImage(image.data(), image.size());
        }
    } catch (const std::exception&) {
    }
    LoadFailed = !loaded;
    return loaded;
}
