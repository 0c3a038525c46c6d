#include "platform/Instance.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// The lock files this process holds, by file. A record lock belongs to the process, not to one
// open file: the kernel grants it again to any other open file of the same process, and closing
// any descriptor of the file gives it up. So a second holder in the same process is refused here,
// before it opens the file, and a descriptor this process opened on a held file stays open until
// the holder lets the name go.
struct THeld {
    dev_t Device;
    ino_t Inode;
    int Handle;
    std::vector<int> Spare;
};

std::mutex HeldLock;
std::vector<THeld> HeldFiles;

THeld* FindHeld(dev_t device, ino_t inode)
{
    for (THeld& held : HeldFiles)
        if (held.Device == device && held.Inode == inode)
            return &held;
    return nullptr;
}

}  // namespace

std::string TSingleInstance::LockPath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return std::string(runtime) + "/" + name + ".lock";
    // /tmp is shared by every user: the name is per user, so no user's game blocks another's.
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

TInstanceResult TSingleInstance::Acquire(const std::string& name)
{
    if (FHandle >= 0)
        return TInstanceResult::Acquired;
    std::string path = LockPath(name);
    std::lock_guard<std::mutex> lock(HeldLock);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && FindHeld(st.st_dev, st.st_ino))
        return TInstanceResult::AlreadyRunning;
    // No symbolic links (the folder may be /tmp); close-on-exec so that a program we start
    // does not keep the name after we end.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return TInstanceResult::Unavailable;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return TInstanceResult::Unavailable;
    }
    if (THeld* held = FindHeld(st.st_dev, st.st_ino)) {
        // The held file came back under the path since it was looked at: closing this
        // descriptor now would give the name up.
        held->Spare.push_back(fd);
        return TInstanceResult::AlreadyRunning;
    }
    // A record lock, unlike a lock on the open file, is not inherited by a forked child: a
    // process the library forks (a message box) cannot keep the name after the game has ended.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    int result;
    do
        result = ::fcntl(fd, F_SETLK, &whole);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        int error = errno;
        ::close(fd);
        return error == EAGAIN || error == EACCES ? TInstanceResult::AlreadyRunning : TInstanceResult::Unavailable;
    }
    HeldFiles.push_back({st.st_dev, st.st_ino, fd, {}});
    FHandle = fd;
    return TInstanceResult::Acquired;
}

void TSingleInstance::Release()
{
    if (FHandle < 0)
        return;
    std::lock_guard<std::mutex> lock(HeldLock);
    for (auto it = HeldFiles.begin(); it != HeldFiles.end(); ++it)
        if (it->Handle == FHandle) {
            for (int spare : it->Spare)
                ::close(spare);
            HeldFiles.erase(it);
            break;
        }
    ::close(FHandle);
    FHandle = -1;
}
