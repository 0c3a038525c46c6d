#include "game/Zbsysfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/Verange.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbreadmes.h"
#include "platform/Filenames.h"
#include "platform/Streams.h"

std::string SysSaveFolder;

namespace {

constexpr int64_t MinRaw = TSysData::ByteSize + TReadMesTable::HeaderSize;

int PosixOpen(const char* path)
{
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

bool PosixWrite(int handle, const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(handle, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool PosixSync(int handle)
{
    return ::fsync(handle) == 0;
}

bool PosixClose(int handle)
{
    return ::close(handle) == 0;
}

bool PosixRename(const char* from, const char* to)
{
    return std::rename(from, to) == 0;
}

bool PosixSyncFolder(const char* folder)
{
    int handle = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return false;
    bool ok = ::fsync(handle) == 0;
    ::close(handle);
    return ok;
}

uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

std::string SavePath()
{
    std::string name = SysSaveFolder.empty() ? std::string(SysSaveFileName) : SysSaveFolder + "/" + SysSaveFileName;
    return NativePath(name);
}

// Writes the whole image beside the old file and renames it over; the old file stays until the
// new one is complete on disk.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& image)
{
    const TSaveFileOps& ops = SaveFileOps;
    std::string temp = path + ".tmp";
    int handle = ops.Open(temp.c_str());
    if (handle < 0)
        return false;
    bool ok = ops.Write(handle, image.data(), 8) && ops.Write(handle, image.data() + 8, image.size() - 8) &&
              ops.Sync(handle);
    ok = ops.Close(handle) && ok;
    if (!ok || !ops.Rename(temp.c_str(), path.c_str())) {
        ::unlink(temp.c_str());
        return false;
    }
    return ops.SyncFolder(SysSaveFolder.empty() ? "." : SysSaveFolder.c_str());
}

}  // namespace

const TSaveFileOps DefaultSaveFileOps = {PosixOpen, PosixWrite, PosixSync, PosixClose, PosixRename, PosixSyncFolder};
TSaveFileOps SaveFileOps = DefaultSaveFileOps;

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

bool SaveSysData()
{
    std::vector<uint8_t> image;
    if (!BuildSysDataImage(image))
        return false;
    return WriteAtomically(SavePath(), image);
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
    std::string path = SavePath();
    if (!PathIsFile(path))
        return false;
    try {
        TFileStream file(path, fmOpenRead);
        int64_t size = file.GetSize();
        if (size < 8 || size > 8 + SysSaveMaxCoded)
            return false;
        std::vector<uint8_t> image(static_cast<size_t>(size));
        if (file.Read(image.data(), size) != size)
            return false;
        return LoadSysDataImage(image.data(), image.size());
    } catch (const std::exception&) {
        return false;
    }
}
