// The program itself, started from a folder of generated data on the dummy drivers: a second
// start exits at once, SIGTERM or SIGINT close it in order, writing "ZB.INI", and a start that
// fails on damaged data or for want of a display ends at once, in order.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/ArchiveFixtures.h"
#include "support/GameFormFixtures.h"

namespace {

// The program is built next to the test programs.
std::string ProgramPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zb").string();
}

enum class TScreen { Dummy, None };

// errorFile, when given, receives the child's standard error. TScreen::None starts the child
// as on a machine without any display: no display variables, no video driver named.
pid_t Launch(const std::string& exe, const std::string& runtimeDir, const std::vector<std::string>& args,
             const std::string& errorFile = "", TScreen screen = TScreen::Dummy)
{
    // Everything the child needs is built before the fork.
    std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtimeDir, "SDL_AUDIODRIVER=dummy"};
    if (screen == TScreen::Dummy)
        env.push_back("SDL_VIDEODRIVER=dummy");
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 && entry.rfind("SDL_", 0) != 0 &&
            (screen == TScreen::Dummy || (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0)))
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (!errorFile.empty()) {
            int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 2) < 0)
                _exit(125);
        }
        // The program finds its folder from its own path, not the working directory.
        if (chdir("/") != 0)
            _exit(126);
        execve(exe.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the process had not ended within ms.
int WaitExit(pid_t pid, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class ProgramProcessTest : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(ProgramProcessTest, SecondStartExitsAtOnceAndASignalClosesInOrder)
{
    std::string built = ProgramPath();
    ASSERT_TRUE(std::filesystem::exists(built)) << built;
    TScratchFolder folder;
    std::string exe = folder.Path() + "/zb";
    std::filesystem::copy_file(built, exe);
    WriteGamePictures(folder.Path());
    std::string runtime = folder.Path() + "/run";
    std::filesystem::create_directory(runtime);

    pid_t first = Launch(exe, runtime, {"-window", "/FPS"});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_EQ(WaitExit(first, 0), -1) << "the program ended by itself";
    pid_t second = Launch(exe, runtime, {});
    EXPECT_EQ(WaitExit(second, 2000), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() + "/ZB.INI"));

    kill(first, GetParam());
    int status = WaitExit(first, 3000);
    if (status == -1)
        kill(first, SIGKILL), WaitExit(first, 1000);
    EXPECT_EQ(status, 0);
    std::string ini(reinterpret_cast<const char*>(ReadWholeFile(folder.Path() + "/ZB.INI").data()),
                    ReadWholeFile(folder.Path() + "/ZB.INI").size());
    EXPECT_NE(ini.find("FPSMode=Full"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramProcessTest, ::testing::Values(SIGTERM, SIGINT));

// Without a display the video library would fall back to a driver that shows nothing, and the
// game would run unseen, looking hung: it says so instead and ends as a failed display start does.
TEST(ProgramProcess, AStartWithoutADisplayEndsInOrderAndSaysWhy)
{
    std::string built = ProgramPath();
    ASSERT_TRUE(std::filesystem::exists(built)) << built;
    TScratchFolder folder;
    std::string exe = folder.Path() + "/zb";
    std::filesystem::copy_file(built, exe);
    WriteGamePictures(folder.Path());
    std::string runtime = folder.Path() + "/run";
    std::filesystem::create_directory(runtime);
    const std::string errors = folder.Path() + "/stderr";

    pid_t pid = Launch(exe, runtime, {"-window"}, errors, TScreen::None);
    int status = WaitExit(pid, 30000);
    if (status == -1)
        kill(pid, SIGKILL), WaitExit(pid, 1000);
    EXPECT_EQ(status, 0) << "-1: still running unseen";
    const TByteVector bytes = ReadWholeFile(errors);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("No display could be opened"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
    EXPECT_FALSE(ReadWholeFile(folder.Path() + "/ZB.INI").empty()) << "the form's settings are written at its end";
}

TEST(ProgramProcess, AStartThatFailsOnADamagedArchiveEndsAtOnceInOrder)
{
    std::string built = ProgramPath();
    ASSERT_TRUE(std::filesystem::exists(built)) << built;
    TScratchFolder folder;
    std::string exe = folder.Path() + "/zb";
    std::filesystem::copy_file(built, exe);
    WriteWholeFile(folder.Path() + "/ZB.pak", PatternBytes(7, 4096));
    std::string runtime = folder.Path() + "/run";
    std::filesystem::create_directory(runtime);
    const std::string errors = folder.Path() + "/stderr";

    pid_t pid = Launch(exe, runtime, {"-window"}, errors);
    int status = WaitExit(pid, 5000);
    if (status == -1)
        kill(pid, SIGKILL), WaitExit(pid, 1000);
    EXPECT_EQ(status, 0);
    const TByteVector bytes = ReadWholeFile(errors);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("Error on FormShow\n"), std::string::npos) << text;
    // Under the sanitizers nothing of the teardown may touch what is already gone.
    EXPECT_EQ(text.find("runtime error"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
    EXPECT_FALSE(ReadWholeFile(folder.Path() + "/ZB.INI").empty()) << "the form's settings are written at its end";
}
