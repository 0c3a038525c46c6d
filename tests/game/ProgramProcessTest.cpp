// The program itself, started from a folder of generated data on the dummy drivers: a second
// start exits at once, SIGTERM, SIGINT or SIGHUP close it in order, writing "ZB.INI", a start that
// fails on damaged data or for want of a display ends in order, and hostile data files
// are named and refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "archive/Vecrc.h"
#include "archive/Vepack.h"
#include "base/Vepicture.h"
#include "support/ArchiveFixtures.h"
#include "support/GameFormFixtures.h"
#include "support/HangGuard.h"
#include "support/Pictures.h"
#include "support/StopSignals.h"
#include "support/XvfbTools.h"

namespace {

// The program is built next to the test programs.
std::string ProgramPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zb").string();
}

enum class TScreen { Dummy, None };

// errorFile, when given, receives the child's standard error; else errorFd, when given.
// TScreen::None starts the child as on a machine without any display: no display variables, no
// video driver named. The stops in ignored are ignored when the program starts, as nohup does, the
// others at their default.
pid_t Launch(const std::string& exe, const std::string& runtimeDir, const std::vector<std::string>& args,
             const std::string& errorFile = "", int errorFd = -1, const std::vector<std::string>& extraEnv = {},
             TScreen screen = TScreen::Dummy, const std::vector<int>& ignored = {})
{
    // Everything the child needs is built before the fork.
    std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtimeDir, "SDL_AUDIODRIVER=dummy"};
    const std::vector<std::string> sanitizers = xvfb::ProgramSanitizerEnvironment();
    env.insert(env.end(), sanitizers.begin(), sanitizers.end());
    if (screen == TScreen::Dummy)
        env.push_back("SDL_VIDEODRIVER=dummy");
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 && entry.rfind("SDL_", 0) != 0 &&
            entry.rfind("ASAN_OPTIONS=", 0) != 0 && entry.rfind("LSAN_OPTIONS=", 0) != 0 &&
            entry.rfind("TSAN_OPTIONS=", 0) != 0 &&
            (screen == TScreen::Dummy || (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0)))
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = zbtest::StopSignalsLauncher(ignored);
    words.push_back(exe);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (!errorFile.empty()) {
            int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 2) < 0)
                _exit(125);
        } else if (errorFd >= 0 && dup2(errorFd, 2) < 0) {
            _exit(125);
        }
        // The program finds its folder from its own path, not the working directory.
        if (chdir("/") != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the process had not ended within limit: by default the hang
// guard, which only a hang reaches; zero looks without waiting.
int WaitExit(pid_t pid, std::chrono::milliseconds limit = zbtest::HangGuard)
{
    const auto end = std::chrono::steady_clock::now() + limit;
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

// Ends a program that is still running at the hang guard; a killed process is gone at once.
void Kill(pid_t pid)
{
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

// How a started program ended (-1: still running at the hang guard, then killed) and what it
// wrote to its error file.
struct TEnded {
    int Status;
    std::string Errors;
};

TEnded AwaitEnd(pid_t pid, const std::string& errors)
{
    const int status = WaitExit(pid);
    if (status == -1)
        Kill(pid);
    const TByteVector bytes = ReadWholeFile(errors);
    return {status, std::string(bytes.begin(), bytes.end())};
}

// Two minutes old, the name itself when it is a link.
void MakeOld(const std::string& path)
{
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 120;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Reads from fd into text until it holds until; false when the writer closed first or the hang
// guard came (so that a hang fails instead of blocking the suite).
bool ReadUntil(int fd, std::string& text, const std::string& until)
{
    char buffer[4096];
    const auto end = zbtest::HangDeadline();
    while (text.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd wait{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, int(left.count())) <= 0)
            return false;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

class ProgramProcessTest : public ::testing::TestWithParam<int> {};

}  // namespace

// Which signals the process ignores, read from the kernel's own account of it.
uint64_t IgnoredSignals(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("SigIgn:", 0) == 0)
            return std::stoull(line.substr(7), nullptr, 16);
    return 0;
}

// On the whole sample game, so that the game runs on at whatever point the signal finds it; the
// signal waits for the title on the screen, and so for the game form, whose end writes the settings.
// Started as nohup starts it, with SIGHUP and SIGINT ignored, the game keeps them ignored and runs
// on after both; SIGTERM still closes it.
TEST_P(ProgramProcessTest, SecondStartExitsAtOnceAndASignalClosesInOrder)
{
    TScratchFolder folder;
    const std::string game = xvfb::BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    const std::string exe = game + "/zb";
    // The settings at the end are the program's own writing.
    std::filesystem::remove(game + "/ZB.INI");
    const std::string runtime = folder.Path() + "/run";
    std::filesystem::create_directory(runtime);

    // What killed writes of the save and the settings left behind, old or a moment ago, among
    // things that only look like it and a write still in progress (its writer holds its lock):
    // the start removes the first kind alone.
    const std::string dir = game + "/";
    const std::vector<std::string> leftovers{"ZBSys.sav.tmpAb3dE9", "ZB.INI.tmpQwErTy", "zb.ini.tmp0aZ9x1",
                                             "ZBSys.sav.tmpFresh1"};
    const std::vector<std::string> others{"ZB.INI.tmpYoung1", "ZBSys.sav.tmpLink01", "ZB.INI.tmpFoldr1",
                                          "ZB.INI.tmpShort", "ZB.INI.tmpTooLong", "ZBSys.sav.tmp1234-5",
                                          "Other.tmpABCDEF", "ZBSys.sav.tmp", "ZBSys.sav.bakAb3dE9",
                                          "ZB.INI.bakQwErTy", "victim"};
    for (const std::string& name : leftovers)
        folder.Write("game/" + name, "left");
    folder.Write("game/ZB.INI.tmpYoung1", "in progress");
    folder.Write("game/victim", "keep");
    std::filesystem::create_symlink(dir + "victim", dir + "ZBSys.sav.tmpLink01");
    std::filesystem::create_directory(dir + "ZB.INI.tmpFoldr1");
    for (const char* name : {"ZB.INI.tmpShort", "ZB.INI.tmpTooLong", "ZBSys.sav.tmp1234-5", "Other.tmpABCDEF",
                             "ZBSys.sav.tmp", "ZBSys.sav.bakAb3dE9", "ZB.INI.bakQwErTy"})
        folder.Write(std::string("game/") + name, "other");
    for (const std::string& name : others)
        if (name != "ZB.INI.tmpYoung1")
            MakeOld(dir + name);
    for (const std::string& name : leftovers)
        if (name != "ZBSys.sav.tmpFresh1")
            MakeOld(dir + name);
    const int writing = open((dir + "ZB.INI.tmpYoung1").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(writing, 0);
    ASSERT_EQ(flock(writing, LOCK_EX), 0);

    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    const bool nohup = GetParam() == SIGTERM;
    const std::vector<int> ignored = nohup ? std::vector<int>{SIGHUP, SIGINT} : std::vector<int>{};
    const pid_t first =
        Launch(exe, runtime, {"-window", "/FPS"}, "", pipe[1], {"ZB_TRACE_STARTUP=1"}, TScreen::Dummy, ignored);
    ::close(pipe[1]);
    std::string text;
    const bool titleShown = ReadUntil(pipe[0], text, "first frame presented after: title");
    if (!titleShown || WaitExit(first, std::chrono::milliseconds(0)) != -1) {
        Kill(first);
        ::close(pipe[0]);
        FAIL() << "the program ended or hung before its title showed:\n" << text;
    }
    for (const std::string& name : leftovers)
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir + name))) << name;
    for (const std::string& name : others)
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(dir + name))) << name;
    close(writing);
    // A start that finds the game running touches nothing.
    folder.Write("game/ZBSys.sav.tmpLater1", "left");
    MakeOld(dir + "ZBSys.sav.tmpLater1");
    const pid_t second = Launch(exe, runtime, {});
    int status = WaitExit(second);
    if (status == -1)
        Kill(second);
    EXPECT_EQ(status, 0) << "-1: the second start did not give way";
    EXPECT_FALSE(std::filesystem::exists(dir + "ZB.INI"));
    EXPECT_TRUE(std::filesystem::exists(dir + "ZBSys.sav.tmpLater1"));

    if (nohup) {
        // The kernel drops a signal that is ignored when it is sent, so the mask is the whole answer.
        const uint64_t both = (uint64_t(1) << (SIGHUP - 1)) | (uint64_t(1) << (SIGINT - 1));
        EXPECT_EQ(IgnoredSignals(first) & both, both) << "the game took over a signal it was started to ignore";
        kill(first, SIGHUP);
        kill(first, SIGINT);
        EXPECT_EQ(WaitExit(first, std::chrono::milliseconds(0)), -1);
    }
    kill(first, GetParam());
    status = WaitExit(first);
    if (status == -1)
        Kill(first);
    ReadUntil(pipe[0], text, "\n\n");  // the rest, until the program's end closes the pipe
    ::close(pipe[0]);
    EXPECT_EQ(status, 0) << text;
    const TByteVector ini = ReadWholeFile(dir + "ZB.INI");
    EXPECT_NE(std::string(ini.begin(), ini.end()).find("FPSMode=Full"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramProcessTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

// Without a display the video library would fall back to a driver that shows nothing, and the
// game would run unseen, looking hung: it says so instead, naming the display asked for (or that
// none was), and ends as a failed display start does. The same for a display that does not answer.
TEST(ProgramProcess, AStartWithoutADisplayEndsInOrderAndSaysWhy)
{
    std::string built = ProgramPath();
    ASSERT_TRUE(std::filesystem::exists(built)) << built;
    // A display number that no server holds: neither its lock file nor its socket is there.
    int unanswering = 3000 + int(getpid() % 900);
    while (std::filesystem::exists("/tmp/.X" + std::to_string(unanswering) + "-lock") ||
           std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(unanswering)))
        ++unanswering;
    const std::string named = ":" + std::to_string(unanswering);
    for (const std::string& display : {std::string(), named}) {
        SCOPED_TRACE(display.empty() ? "no DISPLAY" : "DISPLAY=" + display);
        TScratchFolder folder;
        std::string exe = folder.Path() + "/zb";
        std::filesystem::copy_file(built, exe);
        WriteGamePictures(folder.Path());
        std::string runtime = folder.Path() + "/run";
        std::filesystem::create_directory(runtime);
        const std::string errors = folder.Path() + "/stderr";

        const std::vector<std::string> env =
            display.empty() ? std::vector<std::string>{} : std::vector<std::string>{"DISPLAY=" + display};
        pid_t pid = Launch(exe, runtime, {"-window"}, errors, -1, env, TScreen::None);
        const auto [status, text] = AwaitEnd(pid, errors);
        EXPECT_EQ(status, 1) << "-1: still running unseen; 0: a failed start reported as a success";
        const size_t line = text.find("No display could be opened: ");
        ASSERT_NE(line, std::string::npos) << text;
        const std::string said = text.substr(line, text.find('\n', line) - line);
        if (display.empty())
            EXPECT_NE(said.find("DISPLAY not set"), std::string::npos) << said;
        else
            EXPECT_NE(said.find(display + ":"), std::string::npos) << said;
        EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
        EXPECT_FALSE(ReadWholeFile(folder.Path() + "/ZB.INI").empty()) << "the form's settings are written at its end";
    }
}

TEST(ProgramProcess, AStartThatFailsOnADamagedArchiveEndsInOrder)
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
    const auto [status, text] = AwaitEnd(pid, errors);
    EXPECT_EQ(status, 1) << "-1: still running; 0: a failed start reported as a success";
    EXPECT_NE(text.find("Error on FormShow\n"), std::string::npos) << text;
    // Under the sanitizers nothing of the teardown may touch what is already gone.
    EXPECT_EQ(text.find("runtime error"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
    EXPECT_FALSE(ReadWholeFile(folder.Path() + "/ZB.INI").empty()) << "the form's settings are written at its end";
}

// A game whose data breaks its flow ends the game with "GameErr": an end that the player did
// not ask for, which a launcher must be able to tell from a close.
TEST(ProgramProcess, AGameThatEndsOnAnErrorExitsWithAFailureStatus)
{
    TScratchFolder folder;
    const std::string game = xvfb::BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    const std::string runtime = folder.Path() + "/run";
    std::filesystem::create_directory(runtime);
    // The title's transition mask taken out of the main archive.
    const std::string mainPak = game + "/ZB.pak";
    TNamedBytes members;
    {
        TVePack pack;
        ASSERT_TRUE(pack.Open(mainPak)) << pack.LastError();
        for (int i = 0; i < pack.Count(); ++i) {
            TMemoryStream stream;
            ASSERT_TRUE(pack.ReadMember(i, stream));
            if (pack.Entry(i).Name != "FadeMask16_Noise.bmp")
                members.push_back({pack.Entry(i).Name, TByteVector(stream.Memory(), stream.Memory() + stream.GetSize())});
        }
    }
    std::filesystem::remove(mainPak);
    ASSERT_TRUE(BuildPack(mainPak, members));
    const std::string errors = folder.Path() + "/stderr";

    const pid_t pid = Launch(game + "/zb", runtime, {"-window"}, errors);
    const auto [status, text] = AwaitEnd(pid, errors);
    EXPECT_EQ(status, 1) << "-1: still running";
    EXPECT_NE(text.find("GameErr\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
}

// Hostile files under the names the start reads, on the sample game: each is refused at once
// with a line that names it, the title shows all the same, and SIGTERM still ends the program.
TEST(ProgramProcess, HostileDataFilesAreNamedAndTheTitleStillShows)
{
    TScratchFolder folder;
    const std::string game = xvfb::BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    const std::string runtime = folder.Path() + "/run";
    std::filesystem::create_directory(runtime);
    const std::string mainPak = game + "/ZB.pak", scriptPak = game + "/Script.pak";
    const TByteVector mainBytes = ReadWholeFile(mainPak), scriptBytes = ReadWholeFile(scriptPak);
    // The main archive's members as they stand, to be written again around one changed member.
    std::vector<TRawPackEntry> entries;
    TNamedBytes members;
    {
        TVePack pack;
        ASSERT_TRUE(pack.Open(mainPak)) << pack.LastError();
        for (int i = 0; i < pack.Count(); ++i) {
            TMemoryStream stream;
            ASSERT_TRUE(pack.ReadMember(i, stream));
            const TVePackEntry& e = pack.Entry(i);
            TByteVector bytes(stream.Memory(), stream.Memory() + stream.GetSize());
            entries.push_back({e.Name, e.Offset, e.Size, e.Crc, bytes});
            members.push_back({e.Name, bytes});
        }
    }
    const uint32_t dataEnd = static_cast<uint32_t>(mainBytes[8] | mainBytes[9] << 8 | mainBytes[10] << 16) |
                             static_cast<uint32_t>(mainBytes[11]) << 24;
    const std::string title = "TitleBack.jpg";
    const auto restore = [&] {
        std::filesystem::remove(mainPak);
        std::filesystem::remove(scriptPak);
        WriteWholeFile(mainPak, mainBytes);
        WriteWholeFile(scriptPak, scriptBytes);
    };

    struct TCase {
        const char* What;
        std::function<void()> Make;
        std::string Line;
    };
    const TCase cases[] = {
        {"a title picture of many scans",
         [&] {
             TNamedBytes edited = members;
             for (auto& [name, bytes] : edited)
                 if (name == title)
                     bytes = MakeProgressiveJpeg(MakePatternPicture(640, 480), 10 * MaxJpegScans);
             ASSERT_TRUE(BuildPack(mainPak, edited));
         },
         "VeRGBLoad [" + title + "] cannot be decoded: more than " + std::to_string(MaxJpegScans) + " scans\n"},
        {"a title picture of 3 GB in a sparse archive",
         [&] {
             std::vector<TRawPackEntry> edited = entries;
             const uint32_t huge = 3u << 30;
             for (TRawPackEntry& entry : edited)
                 if (entry.Name == title)
                     entry = {title, dataEnd, huge, 0, {}};
             ASSERT_TRUE(WriteRawPack(mainPak, dataEnd + huge, edited));
         },
         "VeRGBLoad [" + title + "] ZB.pak: " + std::to_string(3u << 30) + " bytes, more than the " +
             std::to_string(VePackFormat::MaxMemberSize) + " a member may hold\n"},
        {"a pipe as the script archive",
         [&] {
             std::filesystem::remove(scriptPak);
             ASSERT_EQ(mkfifo(scriptPak.c_str(), 0600), 0);
         },
         "Script.pak: not a regular file\n"},
        {"a script archive of too many members",
         [&] {
             std::vector<TRawPackEntry> many;
             for (uint32_t i = 0; i <= VePackFormat::MaxMembers; ++i)
                 many.push_back({"m" + std::to_string(i), 16, 0, TCrcCheck::Calc(nullptr, 0), {}});
             ASSERT_TRUE(WriteRawPack(scriptPak, 16, many));
         },
         "Script.pak: " + std::to_string(VePackFormat::MaxMembers + 1) + " members, more than the " +
             std::to_string(VePackFormat::MaxMembers) + " an archive may hold\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        restore();
        c.Make();
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        const pid_t pid = Launch(game + "/zb", runtime, {"-window"}, "", pipe[1], {"ZB_TRACE_STARTUP=1"});
        ::close(pipe[1]);
        std::string text;
        EXPECT_TRUE(ReadUntil(pipe[0], text, "first frame presented after: title")) << text;
        kill(pid, SIGTERM);
        // The end writes the settings and the save, each synced to the disk.
        const int status = WaitExit(pid);
        if (status == -1)
            Kill(pid);
        EXPECT_EQ(status, 0) << "-1: still running";
        ReadUntil(pipe[0], text, "\n\n");  // the rest, until the program's end closes the pipe
        ::close(pipe[0]);
        EXPECT_NE(text.find(c.Line), std::string::npos) << text;
    }
}
