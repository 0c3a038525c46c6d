#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/Filenames.h"

int64_t TStream::GetSize()
{
    int64_t position = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* source, int64_t count)
{
    if (count == 0) {
        source->SetPosition(0);
        count = source->GetSize();
    }
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    int64_t done = 0;
    while (done < count) {
        int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(chunk.size()));
        source->ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        done += n;
    }
    return done;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition >= GetSize())
        return 0;
    int64_t n = std::min(count, GetSize() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (FPosition + count > GetSize())
        FData.resize(static_cast<size_t>(FPosition + count));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : GetSize();
    int64_t target = base + offset;
    if (target < 0)
        target = 0;
    FPosition = target;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t size)
{
    FData.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    FPosition = std::min(FPosition, GetSize());
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream)
{
    stream->SetPosition(0);
    int64_t size = stream->GetSize();
    FData.resize(static_cast<size_t>(size));
    FPosition = 0;
    if (size > 0)
        stream->ReadBuffer(FData.data(), size);
}

bool TMemoryStream::LoadFromFile(const std::string& fileName)
{
    try {
        TFileStream file(fileName, fmOpenRead);
        LoadFromStream(&file);
        return true;
    } catch (const Exception&) {
        Clear();
        return false;
    }
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : FFileName(fileName)
{
    std::string path = NativePath(fileName);
    int flags;
    if (mode == fmCreate)
        flags = O_RDWR | O_CREAT | O_TRUNC;
    else if ((mode & 3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags = O_RDWR;
    else
        flags = O_RDONLY;
    // Without waiting, so that a pipe or a device under the name cannot stall the open; only a
    // regular file is kept, and it reads and writes the same whether or not it waits.
    FHandle = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
    const char* refusal = nullptr;
    if (FHandle >= 0) {
        struct stat st {};
        if (::fstat(FHandle, &st) != 0)
            refusal = std::strerror(errno);
        else if (S_ISDIR(st.st_mode))
            refusal = std::strerror(EISDIR);
        else if (!S_ISREG(st.st_mode))
            refusal = "Not a regular file";
        if (refusal) {
            ::close(FHandle);
            FHandle = -1;
        }
    } else {
        refusal = std::strerror(errno);
    }
    if (FHandle < 0)
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + refusal);
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    int64_t done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(FHandle, bytes + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    int64_t done = 0;
    auto* bytes = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(FHandle, bytes + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    return result < 0 ? -1 : static_cast<int64_t>(result);
}

void TFileStream::SetSize(int64_t size)
{
    if (::ftruncate(FHandle, static_cast<off_t>(size)) != 0)
        throw EWriteError("Cannot set the size of \"" + FFileName + "\"");
}

bool TFileStream::Sync()
{
    return ::fsync(FHandle) == 0;
}
