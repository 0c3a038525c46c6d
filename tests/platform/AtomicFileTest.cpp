// The atomic writer against the start-up clean-up of leftover temporaries: a second instance
// that starts while this one writes must never take a live write for a dead writer's. And
// against the last guard of an end after a lost display: a write on a slow disk is an end that
// still moves, which the guard must not cut.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Atomicfile.h"
#include "platform/Lastguard.h"
#include "support/HangGuard.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The clean-up that a second start runs, here run before and after every step of a write.
std::string CleanedFile;
int Removed = 0;
void CleanUp()
{
    Removed += RemoveAtomicLeftovers(CleanedFile, 0);
}

const TAtomicFileOps CleaningOps = {
    [](char* path, unsigned mode) {
        CleanUp();
        int handle = DefaultAtomicFileOps.Create(path, mode);
        CleanUp();
        return handle;
    },
    [](int handle, const void* data, size_t size) {
        CleanUp();
        bool ok = DefaultAtomicFileOps.Write(handle, data, size);
        CleanUp();
        return ok;
    },
    [](int handle) {
        CleanUp();
        bool ok = DefaultAtomicFileOps.Sync(handle);
        CleanUp();
        return ok;
    },
    [](int handle) {
        CleanUp();
        bool ok = DefaultAtomicFileOps.Close(handle);
        CleanUp();
        return ok;
    },
    [](const char* from, const char* to) {
        CleanUp();
        bool ok = DefaultAtomicFileOps.Rename(from, to);
        CleanUp();
        return ok;
    },
    [](const char* folder) {
        CleanUp();
        bool ok = DefaultAtomicFileOps.SyncFolder(folder);
        CleanUp();
        return ok;
    },
};

}  // namespace

TEST(AtomicFile, TheLeftoverCleanUpBetweenAnyTwoStepsNeverLosesAWrite)
{
    char pattern[] = "/tmp/zbatomicXXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    const fs::path path = folder / "ZB.INI";
    for (bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "over an old file" : "a new file");
        if (replacing)
            std::ofstream(path, std::ios::binary) << "[ZB]\r\nVolumeBGM=1\r\n";
        CleanedFile = path.string();
        Removed = 0;
        AtomicFileOps = CleaningOps;
        TAtomicWriteFault fault;
        const bool written = WriteFileAtomic(path.string(), "[ZB]\r\nVolumeBGM=40\r\n", &fault);
        AtomicFileOps = DefaultAtomicFileOps;
        EXPECT_TRUE(written) << AtomicWriteFaultText(fault);
        EXPECT_EQ(fault.Step, TAtomicWriteStep::None) << AtomicWriteFaultText(fault);
        EXPECT_EQ(Removed, 0);
        EXPECT_EQ(ReadText(path), "[ZB]\r\nVolumeBGM=40\r\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
        fs::remove(path);
    }
    fs::remove_all(folder);
}

namespace {

// The guard's own clock, moved by the test alone. The guard reads it once before its first look
// and once at each look, and waits in the reading until the test lets it pass: so the test knows
// which look the guard is at, and that the looks it let pass have been decided (the guard
// stands in the next one), however slowly a busy machine runs either thread.
struct TGuardClock {
    std::mutex Mutex;
    std::condition_variable Changed;
    int64_t Ms = 0;
    unsigned Allowed = 0;   // readings the guard may still take
    unsigned Readings = 0;  // readings taken
    bool Standing = false;  // the guard waits in a reading
    int64_t WaitMs = 0;     // what the guard is told of the other threads' longest wait
};
TGuardClock GuardClock;

std::chrono::steady_clock::time_point GuardNow()
{
    std::unique_lock<std::mutex> lock(GuardClock.Mutex);
    GuardClock.Standing = true;
    GuardClock.Changed.notify_all();
    GuardClock.Changed.wait(lock, [] { return GuardClock.Allowed > 0; });
    GuardClock.Standing = false;
    --GuardClock.Allowed;
    ++GuardClock.Readings;
    GuardClock.Ms += LastGuard::LookMs;  // a look on time
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(GuardClock.Ms));
}

std::chrono::nanoseconds GuardLongestWait(bool restart)
{
    std::lock_guard<std::mutex> lock(GuardClock.Mutex);
    if (restart)
        GuardClock.WaitMs = 0;
    return std::chrono::milliseconds(GuardClock.WaitMs);
}

// Lets the guard take count more readings, then waits until it stands in the next one.
void Readings(unsigned count)
{
    std::unique_lock<std::mutex> lock(GuardClock.Mutex);
    const unsigned target = GuardClock.Readings + count;
    GuardClock.Allowed += count;
    GuardClock.Changed.notify_all();
    if (!GuardClock.Changed.wait_until(lock, zbtest::HangDeadline(), [&] {
            return GuardClock.Readings == target && GuardClock.Standing;
        })) {
        std::fprintf(stderr, "the guard stopped looking\n");
        std::_Exit(2);
    }
}

}  // namespace

TEST(AtomicFile, TheLastGuardCountsItsOwnLooksAndEveryWriteAndEndsAnEndThatStandsStill)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A quiet period of 500 ms is 50 looks on time. Each step lets the guard take as many looks
    // as it may without firing, and says so; the guard must fire at the look after the last step.
    EXPECT_EXIT(
        {
            // Named after the test process, which removes it whether or not the guard fired early.
            const fs::path folder = fs::temp_directory_path() / ("zbguard" + std::to_string(getppid()));
            fs::create_directory(folder);
            LastGuard::Now = GuardNow;
            LastGuard::LongestWait = GuardLongestWait;
            LastGuard::Arm("the guard fired\n", 500);
            Readings(1);  // its starting point
            // The process was stopped for a minute before the first look: that look adds no more
            // than one on time.
            GuardClock.Ms += 60000;
            Readings(49);
            std::fprintf(stderr, "49 looks, the first after a stop of a minute\n");
            // A quick write between two looks, seen under way by none: its end starts a new quiet
            // period, which the look that notes it begins.
            const bool written = WriteFileAtomic((folder / "ZB.INI").string(), "ZB.INI");
            std::fprintf(stderr, "written=%d %s between two looks\n", int(written),
                         ReadText(folder / "ZB.INI").c_str());
            Readings(49);
            std::fprintf(stderr, "49 looks more\n");
            // A write on a slow disk, under way for twice the quiet period.
            AtomicFileOps.Sync = [](int handle) {
                Readings(100);
                return DefaultAtomicFileOps.Sync(handle);
            };
            const bool saved = WriteFileAtomic((folder / "ZBSys.sav").string(), "ZBSys.sav");
            std::fprintf(stderr, "written=%d %s over 100 looks\n", int(saved), ReadText(folder / "ZBSys.sav").c_str());
            fs::remove_all(folder);
            // The game's threads then waited 200 ms for a processor on a busy machine: the guard
            // looks on for as long again.
            Readings(1);
            {
                std::lock_guard<std::mutex> lock(GuardClock.Mutex);
                GuardClock.WaitMs = 200;
            }
            Readings(69);
            std::fprintf(stderr, "70 looks since, 200 ms of them waiting\n");
            Readings(1);
            std::fprintf(stderr, "not fired\n");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        "^49 looks, the first after a stop of a minute\nwritten=1 ZB.INI between two looks\n49 looks more\n"
        "written=1 ZBSys.sav over 100 looks\n70 looks since, 200 ms of them waiting\nthe guard fired\n$");
    fs::remove_all(fs::temp_directory_path() / ("zbguard" + std::to_string(getpid())));
}

TEST(AtomicFile, TheLastGuardSeesHowLongAThreadWaitedForAProcessor)
{
    // Two threads that each need 100 ms of a processor, given the same one: the one that has it
    // last waited for about the other's time.
    if (access("/proc/self/schedstat", R_OK) != 0)
        GTEST_SKIP() << "the kernel keeps no scheduling statistics";
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    int cpu = 0;
    while (!CPU_ISSET(cpu, &allowed))
        ++cpu;
    // Both stand before the count starts, and stay once they have had their time, so that their
    // waits are counted from the start and still there to be read.
    std::atomic<int> step{0};
    auto spin = [cpu, &step] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        sched_setaffinity(0, sizeof one, &one);
        ++step;
        while (step.load() < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        timespec used{};
        do
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        while (used.tv_sec == 0 && used.tv_nsec < 100000000);
        ++step;
        while (step.load() < 6)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    std::thread first(spin);
    std::thread second(spin);
    EXPECT_TRUE(zbtest::WaitUntil([&] { return step.load() == 2; }));
    LastGuard::LongestThreadWait(true);
    step = 3;
    EXPECT_TRUE(zbtest::WaitUntil([&] { return step.load() == 5; }));
    EXPECT_GE(LastGuard::LongestThreadWait(false), std::chrono::milliseconds(50));
    step = 6;
    first.join();
    second.join();
}
