#include "platform/Lastguard.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <cstring>
#include <thread>

namespace LastGuard {

std::chrono::steady_clock::time_point (*Now)() = std::chrono::steady_clock::now;
std::chrono::nanoseconds (*LongestWait)(bool) = LongestThreadWait;

namespace {

std::atomic<bool> IsArmed{false};
std::atomic<int> WritesUnderWay{0};
std::atomic<unsigned> WritesEnded{0};

// The threads' waits at the last restart. A game has a few dozen threads; should there be more,
// those not taken are left out of the count rather than taken for threads born since.
struct TThreadWait {
    pid_t Thread;
    uint64_t WaitNs;
};
constexpr size_t MostThreads = 256;
TThreadWait Start[MostThreads];
size_t StartCount = 0;
bool StartComplete = false;

// A thread's time spent waiting on a run queue, in ns: the second field of its schedstat.
bool ReadWait(long thread, uint64_t& waitNs)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/schedstat", thread);
    const int handle = open(path, O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return false;
    char text[96];
    const ssize_t length = read(handle, text, sizeof text - 1);
    close(handle);
    if (length <= 0)
        return false;
    text[length] = '\0';
    char* end = nullptr;
    std::strtoull(text, &end, 10);
    if (end == text)
        return false;
    const char* wait = end;
    waitNs = std::strtoull(wait, &end, 10);
    return end != wait;
}

// The watch runs until the process ends; it shares nothing that a static destructor could
// tear down under it (only atomics, plain arrays and its own copy of the line).
void Watch(std::string line, int quietMs)
{
    using std::chrono::nanoseconds;
    const nanoseconds look = std::chrono::milliseconds(LookMs);
    const nanoseconds period = std::chrono::milliseconds(quietMs);
    auto last = Now();
    nanoseconds quiet{0};
    unsigned seen = WritesEnded.load();
    LongestWait(true);
    for (;;) {
        std::this_thread::sleep_for(look);
        const auto now = Now();
        quiet += std::clamp<nanoseconds>(now - last, nanoseconds(0), look);
        last = now;
        const unsigned ended = WritesEnded.load();
        if (ended != seen || WritesUnderWay.load() > 0) {
            seen = ended;
            quiet = nanoseconds(0);
            LongestWait(true);
            continue;
        }
        if (quiet >= period && quiet - LongestWait(false) >= period) {
            (void)!write(STDERR_FILENO, line.data(), line.size());
            _exit(1);
        }
    }
}

}  // namespace

std::chrono::nanoseconds LongestThreadWait(bool restart)
{
    const pid_t caller = gettid();
    DIR* threads = opendir("/proc/self/task");
    if (!threads)
        return {};
    if (restart) {
        StartCount = 0;
        StartComplete = true;
    }
    uint64_t longest = 0;
    while (const dirent* entry = readdir(threads)) {
        char* end = nullptr;
        const long thread = std::strtol(entry->d_name, &end, 10);
        uint64_t waitNs = 0;
        if (end == entry->d_name || *end != '\0' || thread == caller || !ReadWait(thread, waitNs))
            continue;
        if (restart) {
            if (StartCount < MostThreads)
                Start[StartCount++] = {pid_t(thread), waitNs};
            else
                StartComplete = false;
            continue;
        }
        const TThreadWait* start = std::find_if(Start, Start + StartCount,
                                                [&](const TThreadWait& known) { return known.Thread == thread; });
        if (start != Start + StartCount)
            longest = std::max(longest, waitNs - std::min(waitNs, start->WaitNs));
        else if (StartComplete)
            longest = std::max(longest, waitNs);  // born since the restart
    }
    closedir(threads);
    return std::chrono::nanoseconds(restart ? 0 : longest);
}

void Arm(const std::string& line, int quietMs)
{
    if (IsArmed.exchange(true))
        return;
    // Armed from inside the X library's callback, where nothing may be thrown: without a thread
    // to spare, the end goes on unguarded.
    try {
        std::thread(Watch, line, quietMs < 1 ? 1 : quietMs).detach();
    } catch (const std::exception&) {
    }
}

TBusy::TBusy()
{
    WritesUnderWay.fetch_add(1);
}

TBusy::~TBusy()
{
    WritesEnded.fetch_add(1);
    WritesUnderWay.fetch_sub(1);
}

}  // namespace LastGuard
