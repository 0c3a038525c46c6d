// The README's run command started several times at once, on a copy of it in a scratch tree
// with the real builder and game: the builds take turns, one game runs, and the other commands
// give way to it with status 0. The compile step is a stand-in (the real one would take minutes)
// that says when it begins and goes on when the test lets it.
#include "SampleBuildKit.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/XvfbTools.h"

namespace fs = std::filesystem;
using namespace samplebuild;

namespace {

constexpr char BuildBegins[] = "stand-in build begins";
constexpr char Waits[] = "waiting for another build";
constexpr char TitleShown[] = "first frame presented after: title";

// Configuring does nothing; a build says that it begins and waits for a line from the gate.
constexpr char StandInCmake[] = R"SH(#!/bin/sh
case "$*" in
*--build*) echo "stand-in build begins" >&2; read -r line < "$ZB_TEST_GATE" ;;
esac
)SH";

// One started command: its process (the game, once the script has handed over to it) and
// what it wrote to its standard output and error.
struct TCommand {
    pid_t Pid = -1;
    int Output = -1;
    std::string Text;
    int Status = -1;  // -1 while it runs

    bool Ended() const { return Status != -1; }
};

// Starts bash on the script in its own process group, so that a failed test can end the
// command with everything it started.
TCommand Start(const std::string& script, const std::vector<std::string>& environment)
{
    TCommand command;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return command;
    std::vector<char*> envp;
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const char* argv[] = {"/bin/bash", script.c_str(), "-window", nullptr};
    command.Pid = ::fork();
    if (command.Pid == 0) {
        ::setpgid(0, 0);
        if (::dup2(pipe[1], 1) < 0 || ::dup2(pipe[1], 2) < 0)
            ::_exit(125);
        ::execve(argv[0], const_cast<char* const*>(argv), envp.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    command.Output = pipe[0];
    return command;
}

// Reads what the commands wrote and reaps the ones that ended, until done holds or guardMs
// pass (a guard against a hang, so that the test fails instead of blocking the suite).
bool Follow(std::vector<TCommand>& commands, const std::function<bool()>& done, int guardMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::vector<pollfd> waits;
        for (const TCommand& c : commands)
            waits.push_back({c.Output, POLLIN, 0});
        ::poll(waits.data(), waits.size(), 10);
        for (size_t i = 0; i < commands.size(); ++i) {
            TCommand& c = commands[i];
            if (c.Output >= 0 && (waits[i].revents & (POLLIN | POLLHUP))) {
                char buffer[4096];
                const ssize_t n = ::read(c.Output, buffer, sizeof buffer);
                if (n > 0) {
                    c.Text.append(buffer, size_t(n));
                } else {
                    ::close(c.Output);
                    c.Output = -1;
                }
            }
            int status = 0;
            if (!c.Ended() && ::waitpid(c.Pid, &status, WNOHANG) == c.Pid)
                c.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        }
    }
    return true;
}

bool Says(const TCommand& c, const char* text) { return c.Text.find(text) != std::string::npos; }

}  // namespace

TEST(RunCommand, StartedTogetherBuildInTurnAndStartOneGame)
{
    const fs::path bin = ZB_BINARY_DIR;
    ASSERT_TRUE(fs::exists(bin / "zb") && fs::exists(bin / "mksample")) << "zb or mksample is not built";
    TScratchFolder scratch;
    const fs::path tree = scratch.Path() + "/tree";
    fs::create_directories(tree / "scripts");
    fs::create_directories(tree / "build");
    fs::create_directories(tree / "stand-in");
    fs::copy_file(fs::path(ZB_SOURCE_DIR) / "scripts" / "run", tree / "scripts" / "run");
    fs::create_directory_symlink(fs::path(ZB_SOURCE_DIR) / "sample", tree / "sample");
    fs::create_symlink(bin / "zb", tree / "build" / "zb");
    fs::create_symlink(bin / "mksample", tree / "build" / "mksample");
    scratch.Write("tree/stand-in/cmake", StandInCmake);
    fs::permissions(tree / "stand-in" / "cmake", fs::perms::owner_all);
    const std::string gate = scratch.Path() + "/gate";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    // Held open for writing throughout, so that a stand-in never waits to open the gate.
    const int gateHandle = ::open(gate.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(gateHandle, 0);
    const std::string runtime = scratch.Path() + "/runtime";
    fs::create_directory(runtime);

    const char* path = std::getenv("PATH");
    std::vector<std::string> environment = {"PATH=" + (tree / "stand-in").string() + ":" + (path ? path : "/usr/bin:/bin"),
                                            "XDG_RUNTIME_DIR=" + runtime, "SDL_VIDEODRIVER=dummy",
                                            "SDL_AUDIODRIVER=dummy", "ZB_TRACE_STARTUP=1", "ZB_TEST_GATE=" + gate};
    for (const std::string& e : xvfb::ProgramSanitizerEnvironment())
        environment.push_back(e);
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& set : environment)
            replaced = replaced || entry.compare(0, entry.find('=') + 1, set, 0, set.find('=') + 1) == 0;
        if (!replaced && entry.rfind("SDL_", 0) != 0 && entry.rfind("ZB_", 0) != 0)
            environment.push_back(entry);
    }
    std::vector<TCommand> commands;
    for (int i = 0; i < 3; ++i)
        commands.push_back(Start((tree / "scripts" / "run").string(), environment));
    struct TEndAll {
        std::vector<TCommand>& Commands;
        ~TEndAll()
        {
            for (TCommand& c : Commands) {
                if (c.Pid > 0 && !c.Ended()) {
                    ::kill(-c.Pid, SIGKILL);
                    ::waitpid(c.Pid, nullptr, 0);
                }
                if (c.Output >= 0)
                    ::close(c.Output);
            }
        }
    } endAll{commands};
    for (const TCommand& c : commands)
        ASSERT_GT(c.Pid, 0);

    // Each has either begun its build or said that it waits; only one may build at a time.
    auto building = [&] {
        int n = 0;
        for (const TCommand& c : commands)
            n += Says(c, BuildBegins);
        return n;
    };
    const bool settled = Follow(
        commands,
        [&] {
            for (const TCommand& c : commands)
                if (!Says(c, BuildBegins) && !Says(c, Waits))
                    return false;
            return true;
        },
        60000);
    ASSERT_TRUE(settled) << commands[0].Text << "\n--\n" << commands[1].Text << "\n--\n" << commands[2].Text;
    ASSERT_EQ(building(), 1) << "builds at once in one build folder";
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(::write(gateHandle, "go\n", 3), 3);

    // Two give way to the game the third started, and end while it runs.
    auto ended = [&] {
        int n = 0;
        for (const TCommand& c : commands)
            n += c.Ended();
        return n;
    };
    const bool twoEnded = Follow(commands, [&] { return ended() >= 2; }, 60000);
    std::string all;
    for (const TCommand& c : commands)
        all += c.Text + "\n-- status " + std::to_string(c.Status) + "\n";
    ASSERT_TRUE(twoEnded) << all;
    ASSERT_EQ(ended(), 2) << all;
    TCommand* game = nullptr;
    for (TCommand& c : commands) {
        if (c.Ended())
            EXPECT_EQ(c.Status, 0) << all;
        else
            game = &c;
    }
    ASSERT_TRUE(Follow(commands, [&] { return Says(*game, TitleShown) || game->Ended(); }, 60000)) << all;
    EXPECT_FALSE(game->Ended()) << game->Text;
    for (const TCommand& c : commands)
        EXPECT_TRUE(Says(c, BuildBegins)) << "each command builds, one after another:\n" << c.Text;

    // The data is a single build's; the game's copy of the program beside it is the built one.
    TScratchFolder single;
    ASSERT_TRUE(BuildSample(single));
    auto expected = Entries(single.Path() + "/game");
    const TByteVector program = ReadWholeFile((bin / "zb").string());
    expected["zb"] = std::string(program.begin(), program.end());
    ExpectSameEntries(expected, (tree / "build" / "sample-game").string());
    std::set<std::string> built;
    for (const auto& entry : fs::directory_iterator(tree / "build"))
        built.insert(entry.path().filename().string());
    EXPECT_EQ(built, (std::set<std::string>{".build-lock", "mksample", "sample-game", "zb"}));

    ::kill(game->Pid, SIGTERM);
    ASSERT_TRUE(Follow(commands, [&] { return game->Ended(); }, 30000)) << game->Text;
    EXPECT_EQ(game->Status, 0) << game->Text;
    ::close(gateHandle);
}
