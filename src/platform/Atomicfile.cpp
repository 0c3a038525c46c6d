#include "platform/Atomicfile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/Filenames.h"

TFileReadResult ReadWholeFile(const std::string& fileName, int64_t maxBytes, std::string& text)
{
    text.clear();
    std::string path = NativePath(fileName);
    // Non-blocking so that a pipe or device under the name cannot stall the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? TFileReadResult::Missing : TFileReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return TFileReadResult::Failed;
    }
    // The size is checked again while reading: the file may grow under us.
    if (static_cast<int64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return TFileReadResult::TooLarge;
    }
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            text.clear();
            return TFileReadResult::Failed;
        }
        if (n == 0)
            break;
        if (static_cast<int64_t>(text.size()) + n > maxBytes) {
            ::close(fd);
            text.clear();
            return TFileReadResult::TooLarge;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return TFileReadResult::Ok;
}

namespace {

int PosixCreate(const char* path, unsigned mode)
{
    // O_EXCL refuses any existing name, a link or a dangling link included; O_NOFOLLOW says so twice.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    // Set after the open so that the umask does not narrow the old file's mode.
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
        int error = errno;
        ::close(fd);
        ::unlink(path);
        errno = error;
        return -1;
    }
    return fd;
}

bool PosixWrite(int handle, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(handle, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
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
    return ::rename(from, to) == 0;
}

bool PosixSyncFolder(const char* folder)
{
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

// Six letters or digits nobody can guess, so that nothing can be planted at the name in advance.
std::string RandomSuffix()
{
    static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint64_t> Counter{0};
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
        bits = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<uint64_t>(::getpid()) << 32) ^ (++Counter * 0x9E3779B97F4A7C15ull);
    std::string suffix;
    for (int i = 0; i < 6; ++i, bits /= 62)
        suffix += Letters[bits % 62];
    return suffix;
}

bool Fail(TAtomicWriteFault* fault, TAtomicWriteStep step, int error)
{
    if (fault)
        *fault = {step, error};
    return false;
}

}  // namespace

const TAtomicFileOps DefaultAtomicFileOps = {PosixCreate, PosixWrite, PosixSync, PosixClose, PosixRename, PosixSyncFolder};
TAtomicFileOps AtomicFileOps = DefaultAtomicFileOps;

const char* AtomicWriteStepName(TAtomicWriteStep step)
{
    switch (step) {
    case TAtomicWriteStep::None: return "";
    case TAtomicWriteStep::Create: return "create";
    case TAtomicWriteStep::Write: return "write";
    case TAtomicWriteStep::Sync: return "sync";
    case TAtomicWriteStep::Close: return "close";
    case TAtomicWriteStep::Rename: return "rename";
    case TAtomicWriteStep::SyncFolder: return "folder sync";
    }
    return "";
}

bool WriteFileAtomic(const std::string& fileName, const void* data, size_t size, TAtomicWriteFault* fault)
{
    if (fault)
        *fault = {};
    const TAtomicFileOps& ops = AtomicFileOps;
    std::string path = NativePath(fileName);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat old {};
    unsigned mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;

    std::string temporary;
    int handle = -1;
    // A taken name is someone else's file (or a trap): pick another rather than touch it.
    for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
        temporary = path + ".tmp" + RandomSuffix();
        handle = ops.Create(temporary.c_str(), mode);
        if (handle < 0 && errno != EEXIST)
            break;
    }
    if (handle < 0)
        return Fail(fault, TAtomicWriteStep::Create, errno);

    TAtomicWriteStep failed = TAtomicWriteStep::None;
    int error = 0;
    if (!ops.Write(handle, data, size))
        failed = TAtomicWriteStep::Write;
    else if (!ops.Sync(handle))
        failed = TAtomicWriteStep::Sync;
    if (failed != TAtomicWriteStep::None)
        error = errno;
    if (!ops.Close(handle) && failed == TAtomicWriteStep::None) {
        failed = TAtomicWriteStep::Close;
        error = errno;
    }
    if (failed == TAtomicWriteStep::None && !ops.Rename(temporary.c_str(), path.c_str())) {
        failed = TAtomicWriteStep::Rename;
        error = errno;
    }
    if (failed != TAtomicWriteStep::None) {
        ::unlink(temporary.c_str());
        return Fail(fault, failed, error);
    }
    if (!ops.SyncFolder(folder.c_str()) && fault)
        *fault = {TAtomicWriteStep::SyncFolder, errno};
    return true;
}

bool WriteFileAtomic(const std::string& fileName, const std::string& data, TAtomicWriteFault* fault)
{
    return WriteFileAtomic(fileName, data.data(), data.size(), fault);
}
