#include "platform/Atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

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

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool WriteFileAtomic(const std::string& fileName, const std::string& data)
{
    std::string path = NativePath(fileName);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::vector<char> pattern(path.begin(), path.end());
    const char suffix[] = ".tmpXXXXXX";
    pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string temporary(pattern.data());
    struct stat old {};
    mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}
