// The atomic writer against the start-up clean-up of leftover temporaries: a second instance
// that starts while this one writes must never take a live write for a dead writer's. And
// against the last guard of an end after a lost display: a write on a slow disk is an end that
// still moves, which the guard must not cut.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Atomicfile.h"
#include "platform/Lastguard.h"

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

TEST(AtomicFile, ASlowWriteHoldsOffTheLastGuardWhichFiresOnceNothingMoves)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A quiet period of 1.5 s against syncs that take longer, as the settings and the save are
    // written one after the other after a lost display: the end of each write starts a new quiet
    // period, so the short gaps between them never let the guard fire; once all are written and
    // nothing moves, it fires. The gaps are a third of the quiet period, so that a busy machine
    // oversleeping them cannot make a correct guard fire.
    EXPECT_EXIT(
        {
            // Named after the test process, which removes it whether or not the guard fired early.
            const fs::path folder = fs::temp_directory_path() / ("zbguard" + std::to_string(getppid()));
            fs::create_directory(folder);
            LastGuard::Arm("the guard fired\n", 1500);
            AtomicFileOps.Sync = [](int handle) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1600));
                return DefaultAtomicFileOps.Sync(handle);
            };
            for (const char* name : {"ZB.INI", "ZBSys.sav", "ZBSys.sav"}) {
                const bool written = WriteFileAtomic((folder / name).string(), name);
                std::fprintf(stderr, "written=%d %s\n", int(written), ReadText(folder / name).c_str());
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
            fs::remove_all(folder);
            std::this_thread::sleep_for(std::chrono::seconds(20));
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        "written=1 ZB.INI\nwritten=1 ZBSys.sav\nwritten=1 ZBSys.sav\n(.|\n)*the guard fired\n");
    fs::remove_all(fs::temp_directory_path() / ("zbguard" + std::to_string(getpid())));
}
