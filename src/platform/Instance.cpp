#include "platform/Instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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
    // No symbolic links (the folder may be /tmp); close-on-exec so that a program we start
    // does not keep the name after we end.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return TInstanceResult::Unavailable;
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? TInstanceResult::AlreadyRunning : TInstanceResult::Unavailable;
    }
    FHandle = fd;
    return TInstanceResult::Acquired;
}

void TSingleInstance::Release()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
}
