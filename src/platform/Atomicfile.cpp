#include "platform/Atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "platform/Filenames.h"
#include "platform/Lastguard.h"

TFileReadResult ReadWholeFile(const std::string& fileName, int64_t maxBytes, std::string& text, int* error)
{
    text.clear();
    auto failed = [&](TFileReadResult result, int cause) {
        text.clear();
        if (error)
            *error = cause;
        return result;
    };
    std::string path = NativePath(fileName);
    // Non-blocking so that a pipe or device under the name cannot stall the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return failed(errno == ENOENT || errno == ENOTDIR ? TFileReadResult::Missing : TFileReadResult::Failed, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int cause = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return failed(TFileReadResult::Failed, cause);
    }
    // The size is checked again while reading: the file may grow under us.
    if (static_cast<int64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return failed(TFileReadResult::TooLarge, EFBIG);
    }
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int cause = errno;
            ::close(fd);
            return failed(TFileReadResult::Failed, cause);
        }
        if (n == 0)
            break;
        if (static_cast<int64_t>(text.size()) + n > maxBytes) {
            ::close(fd);
            return failed(TFileReadResult::TooLarge, EFBIG);
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return TFileReadResult::Ok;
}

namespace {

// flock, tried again when a signal interrupts the wait; errno tells why it failed.
bool Lock(int handle, int operation)
{
    int result;
    do
        result = ::flock(handle, operation);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

int PosixCreate(char* pathTemplate, unsigned mode)
{
    const std::string pattern = pathTemplate;
    for (int attempt = 0; attempt < 3; ++attempt) {
        pattern.copy(pathTemplate, pattern.size());
        // mkostemp opens with O_CREAT | O_EXCL, which refuses any existing name, a link or a
        // dangling link included, and tries fresh names until one is free.
        int fd = ::mkostemp(pathTemplate, O_CLOEXEC);
        if (fd < 0)
            return -1;
        // Locked until the handle closes, so that the start-up clean-up leaves a write in
        // progress alone. A clean-up that came between the creation and the lock has taken the
        // name away: start again under a fresh one.
        struct stat st {};
        if (Lock(fd, LOCK_EX) && ::fstat(fd, &st) == 0 && st.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        // Set after the open so that the umask does not narrow the old file's mode.
        if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
            int error = errno;
            ::close(fd);
            ::unlink(pathTemplate);
            errno = error;
            return -1;
        }
        return fd;
    }
    errno = EAGAIN;
    return -1;
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

constexpr char TemporaryTag[] = ".tmp";
constexpr size_t TemporaryRandom = 6;

// Whether the player may write the file. One that nobody may write is read-only even for a
// player whom the permissions do not stop (root).
bool MayReplace(const std::string& path, const struct stat& st)
{
    if ((st.st_mode & 0222) == 0) {
        errno = EACCES;
        return false;
    }
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// The writer's temporary for the file named base (in any case): ".tmp" and the six letters or
// digits that mkostemp puts in.
bool IsLeftoverName(const std::string& name, const std::string& base)
{
    size_t stem = base.size() + sizeof TemporaryTag - 1;
    if (name.size() != stem + TemporaryRandom || !SameName(name.substr(0, base.size()), base) ||
        name.compare(base.size(), sizeof TemporaryTag - 1, TemporaryTag) != 0)
        return false;
    for (size_t i = stem; i < name.size(); ++i) {
        char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
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
    case TAtomicWriteStep::Access: return "access";
    case TAtomicWriteStep::Read: return "read";
    case TAtomicWriteStep::Create: return "create";
    case TAtomicWriteStep::Write: return "write";
    case TAtomicWriteStep::Sync: return "sync";
    case TAtomicWriteStep::Close: return "close";
    case TAtomicWriteStep::Rename: return "rename";
    case TAtomicWriteStep::SyncFolder: return "folder sync";
    }
    return "";
}

std::string AtomicWriteFaultText(const TAtomicWriteFault& fault)
{
    return std::string(AtomicWriteStepName(fault.Step)) + ": " +
           std::error_code(fault.Error, std::generic_category()).message();
}

bool WriteFileAtomic(const std::string& fileName, const void* data, size_t size, TAtomicWriteFault* fault)
{
    if (fault)
        *fault = {};
    const TAtomicFileOps& ops = AtomicFileOps;
    std::string path = NativePath(fileName);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // A link at the name is replaced, not followed: its target is none of ours.
    struct stat old {};
    unsigned mode = 0644;
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (!MayReplace(path, old))
            return Fail(fault, TAtomicWriteStep::Access, errno);
        mode = old.st_mode & 0777;
    }

    // A write on a slow disk is an end still moving, which the last guard must not cut.
    LastGuard::TBusy busy;
    std::string temporary = path + TemporaryTag + std::string(TemporaryRandom, 'X');
    int handle = ops.Create(temporary.data(), mode);
    if (handle < 0)
        return Fail(fault, TAtomicWriteStep::Create, errno);

    // The handle, and with it the lock on the temporary, is kept until the rename has landed:
    // another instance's start-up clean-up takes an unlocked temporary for a dead writer's.
    TAtomicWriteStep failed = TAtomicWriteStep::None;
    if (!ops.Write(handle, data, size))
        failed = TAtomicWriteStep::Write;
    else if (!ops.Sync(handle))
        failed = TAtomicWriteStep::Sync;
    else if (!ops.Rename(temporary.c_str(), path.c_str()))
        failed = TAtomicWriteStep::Rename;
    if (failed != TAtomicWriteStep::None) {
        int error = errno;
        ::unlink(temporary.c_str());
        ops.Close(handle);
        return Fail(fault, failed, error);
    }
    TAtomicWriteFault late;
    if (!ops.Close(handle))
        late = {TAtomicWriteStep::Close, errno};
    if (!ops.SyncFolder(folder.c_str()) && late.Step == TAtomicWriteStep::None)
        late = {TAtomicWriteStep::SyncFolder, errno};
    if (fault)
        *fault = late;
    return true;
}

bool WriteFileAtomic(const std::string& fileName, const std::string& data, TAtomicWriteFault* fault)
{
    return WriteFileAtomic(fileName, data.data(), data.size(), fault);
}

bool MayReplaceFile(const std::string& fileName)
{
    std::string path = NativePath(fileName);
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || MayReplace(path, st);
}

int RemoveAtomicLeftovers(const std::string& fileName, int64_t minAgeSeconds)
{
    std::string path = NativePath(fileName);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    int folderHandle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderHandle < 0)
        return 0;
    // The listing gets its own handle; the checks and removals go through folderHandle.
    int listingHandle = ::dup(folderHandle);
    DIR* listing = listingHandle < 0 ? nullptr : ::fdopendir(listingHandle);
    if (!listing && listingHandle >= 0)
        ::close(listingHandle);
    int removed = 0;
    const time_t now = ::time(nullptr);
    while (listing) {
        const struct dirent* entry = ::readdir(listing);
        if (!entry)
            break;
        std::string name = entry->d_name;
        if (!IsLeftoverName(name, base))
            continue;
        struct stat st {};
        // Not followed: a link under such a name is left alone, and so is what it points at.
        if (::fstatat(folderHandle, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        // A live writer holds its temporary's lock; where the file system has no locks, only
        // the age can tell.
        int handle = ::openat(folderHandle, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        struct stat held {};
        bool same = ::fstat(handle, &held) == 0 && held.st_dev == st.st_dev && held.st_ino == st.st_ino;
        bool abandoned = false;
        if (Lock(handle, LOCK_EX | LOCK_NB))
            abandoned = true;
        else if (errno != EWOULDBLOCK)
            abandoned = static_cast<int64_t>(now) - static_cast<int64_t>(st.st_mtime) >= minAgeSeconds;
        // Removed while the lock is held: a writer that created it a moment ago finds it gone
        // once it gets the lock, and takes another name.
        if (same && abandoned && ::unlinkat(folderHandle, name.c_str(), 0) == 0)
            ++removed;
        ::close(handle);
    }
    if (listing)
        ::closedir(listing);
    ::close(folderHandle);
    return removed;
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename: a second link never replaces either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}
