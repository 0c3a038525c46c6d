// The atomic writer against the start-up clean-up of leftover temporaries: a second instance
// that starts while this one writes must never take a live write for a dead writer's. And
// against the last guard of an end after a lost display: a write on a slow disk is an end that
// still moves, which the guard must not cut.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

// The guard's own clock, moved by the test alone; every reading counts, so that the test knows
// when the guard has looked again without racing its quiet period against a busy machine.
std::atomic<int64_t> GuardMs{0};
std::atomic<unsigned> GuardLooks{0};

std::chrono::steady_clock::time_point GuardNow()
{
    ++GuardLooks;
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(GuardMs.load()));
}

// Moves the guard's clock on, then waits until the guard has looked twice since: the second look
// began after the move, and a guard that was going to fire on it has.
void PassGuardTime(int64_t ms)
{
    GuardMs += ms;
    const unsigned from = GuardLooks;
    EXPECT_TRUE(zbtest::WaitUntil([&] { return GuardLooks >= from + 2; }));
}

}  // namespace

TEST(AtomicFile, ASlowWriteHoldsOffTheLastGuardWhichFiresOnceNothingMoves)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // On the guard's clock: a quiet period of 1.5 s against syncs that take longer, as the settings and the save are
    // written one after the other after a lost display: the end of each write starts a new quiet
    // period, so the short gaps between them never let the guard fire; once all are written and
    // nothing moves, it fires.
    EXPECT_EXIT(
        {
            // Named after the test process, which removes it whether or not the guard fired early.
            const fs::path folder = fs::temp_directory_path() / ("zbguard" + std::to_string(getppid()));
            fs::create_directory(folder);
            LastGuard::Now = GuardNow;
            LastGuard::Arm("the guard fired\n", 1500);
            // Its first look is the start of its quiet period.
            EXPECT_TRUE(zbtest::WaitUntil([] { return GuardLooks > 0; }));
            AtomicFileOps.Sync = [](int handle) {
                PassGuardTime(1600);
                return DefaultAtomicFileOps.Sync(handle);
            };
            for (const char* name : {"ZB.INI", "ZBSys.sav", "ZBSys.sav"}) {
                const bool written = WriteFileAtomic((folder / name).string(), name);
                std::fprintf(stderr, "written=%d %s\n", int(written), ReadText(folder / name).c_str());
                PassGuardTime(0);
                PassGuardTime(500);
            }
            fs::remove_all(folder);
            PassGuardTime(1500);
            zbtest::WaitUntil([] { return false; });
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        "written=1 ZB.INI\nwritten=1 ZBSys.sav\nwritten=1 ZBSys.sav\n(.|\n)*the guard fired\n");
    fs::remove_all(fs::temp_directory_path() / ("zbguard" + std::to_string(getpid())));
}
