#include "platform/Clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

extern char** environ;

namespace {

std::mutex HandlerLock;
TClipboardHandler Handler;

// Waits for the tools we started so none is left a zombie; polls, so that the program's exit
// never waits for a tool that keeps running.
class TReaper {
public:
    ~TReaper()
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FStop = true;
        }
        FWake.notify_all();
        if (FThread.joinable())
            FThread.join();
    }

    void Add(pid_t pid)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FPending.push_back(pid);
        if (!FThread.joinable())
            FThread = std::thread([this] { Run(); });
        FWake.notify_all();
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(FLock);
        while (!FStop) {
            for (size_t i = 0; i < FPending.size();) {
                if (waitpid(FPending[i], nullptr, WNOHANG) != 0) {
                    FPending[i] = FPending.back();
                    FPending.pop_back();
                } else {
                    ++i;
                }
            }
            if (FPending.empty())
                FWake.wait(lock, [this] { return FStop || !FPending.empty(); });
            else
                FWake.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    std::mutex FLock;
    std::condition_variable FWake;
    std::vector<pid_t> FPending;
    bool FStop = false;
    std::thread FThread;
};

TReaper& Reaper()
{
    static TReaper reaper;
    return reaper;
}

void Report(const std::string& why)
{
    std::fprintf(stderr, "Clipboard: %s\n", why.c_str());
    std::fflush(stderr);
}

bool NonEmpty(const char* value)
{
    return value && *value;
}

// The tool's full path from PATH; "" when not found.
std::string FindTool(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = list.find(':', start);
        std::string folder = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return "";
        start = end + 1;
    }
}

// The tool and its arguments for this session; false when there is none.
bool ChooseTool(std::vector<std::string>& command)
{
    if (NonEmpty(std::getenv("WAYLAND_DISPLAY"))) {
        std::string tool = FindTool("wl-copy");
        if (!tool.empty()) {
            command = {tool, "--type", "image/png"};
            return true;
        }
    }
    if (NonEmpty(std::getenv("DISPLAY"))) {
        std::string tool = FindTool("xclip");
        if (!tool.empty()) {
            command = {tool, "-selection", "clipboard", "-t", "image/png", "-i"};
            return true;
        }
        Report("xclip not found");
        return false;
    }
    Report("no display for the clipboard");
    return false;
}

// Starts the tool reading from input; its standard output goes nowhere.
pid_t StartTool(const std::vector<std::string>& command, int input)
{
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The tool outlives the copy: it must not keep any other descriptor of ours open.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, command[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Writes everything before the deadline. SIGPIPE is held back in this thread while writing,
// so a tool that quits early fails the copy instead of ending the program.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes)
{
    sigset_t pipeSet, previous, pending;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &previous);
    sigpending(&pending);
    bool pipeWasPending = sigismember(&pending, SIGPIPE) == 1;

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ClipboardWriteTimeoutMs);
    size_t done = 0;
    bool ok = true;
    bool broken = false;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            broken = errno == EPIPE;
            ok = false;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ok = false;
            break;
        }
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    }
    if (broken && !pipeWasPending) {
        timespec zero{};
        sigtimedwait(&pipeSet, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

}  // namespace

TClipboardHandler SetClipboardHandler(TClipboardHandler handler)
{
    std::lock_guard<std::mutex> lock(HandlerLock);
    TClipboardHandler old = std::move(Handler);
    Handler = std::move(handler);
    return old;
}

bool SetClipboardPicture(const std::vector<uint8_t>& png)
{
    TClipboardHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerLock);
        handler = Handler;
    }
    if (handler)
        return handler(png);

    std::vector<std::string> command;
    if (!ChooseTool(command))
        return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        Report("no pipe for the clipboard tool");
        return false;
    }
    pid_t pid = StartTool(command, fds[0]);
    ::close(fds[0]);
    if (pid <= 0) {
        ::close(fds[1]);
        Report("cannot start " + command[0]);
        return false;
    }
    ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    bool ok = WriteAll(fds[1], png);
    ::close(fds[1]);
    if (!ok) {
        // A half-written picture must not reach the clipboard.
        ::kill(pid, SIGKILL);
        Report(command[0] + " did not take the picture");
    }
    Reaper().Add(pid);
    return ok;
}
