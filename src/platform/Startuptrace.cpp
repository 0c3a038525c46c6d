#include "platform/Startuptrace.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace StartupTrace {
namespace {

// The process's start, on the clock the kernel counts it with (boot time, in clock ticks).
double ProcessStartMs()
{
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // Field 22 of the file is the start time; the first one after the name is field 3.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const long hz = sysconf(_SC_CLK_TCK);
    return hz > 0 ? std::strtod(field.c_str(), nullptr) * 1000.0 / static_cast<double>(hz) : -1;
}

double BootMs()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct TTrace {
    bool On = std::getenv("ZB_TRACE_STARTUP") != nullptr;
    double Start = On ? ProcessStartMs() : 0;
    std::atomic<const char*> Waiting{nullptr};  // the mark whose first frame is not yet shown

    void Print(const char* what, const char* name)
    {
        std::fprintf(stderr, "startup %9.1f ms  %s%s\n", BootMs() - Start, what, name);
    }
};

TTrace& Trace()
{
    static TTrace trace;
    return trace;
}

// Marks the moment the libraries are loaded and static construction runs.
[[maybe_unused]] const bool Loaded = (Mark("program loaded"), true);

}  // namespace

void Mark(const char* name)
{
    TTrace& t = Trace();
    if (!t.On)
        return;
    t.Print("", name);
    t.Waiting.store(name);
}

void FramePresented()
{
    TTrace& t = Trace();
    if (!t.On)
        return;
    if (const char* name = t.Waiting.exchange(nullptr))
        t.Print("first frame presented after: ", name);
}

}  // namespace StartupTrace
