// The README's run and test commands, on copies of them in a scratch tree: started together they
// build in turn in one build folder, one game runs, and the other run commands give way to it
// with status 0; a run stopped or killed while it copies the game in leaves no copy once the next
// has run. The compile step, the tests and the sample build are stand-ins from
// tests/support/runcommand (the real ones would take minutes each, far more on a loaded machine
// in a sanitizer build): the compile step says when it begins and goes on when the test lets it,
// and the sample build copies in data the real builder made once. A stand-in chmod holds a run
// while its copy of the game stands, until the test lets it go on.
#include "SampleBuildKit.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/HangGuard.h"
#include "support/StopSignals.h"
#include "support/XvfbTools.h"

namespace fs = std::filesystem;
using namespace samplebuild;

namespace {

constexpr char BuildBegins[] = "stand-in build begins";
constexpr char Waits[] = "waiting for another build";
constexpr char TestsRan[] = "stand-in tests ran in ";
constexpr char GameStarted[] = "stand-in game started";
constexpr char SampleBuilt[] = "stand-in sample build of build/sample-game from sample";
constexpr char TitleShown[] = "first frame presented after: title";
constexpr char CopyHeld[] = "stand-in chmod holds the run";

// One started command: its process (the game, once the script has handed over to it) and
// what it wrote to its standard output and error.
struct TCommand {
    pid_t Pid = -1;
    int Output = -1;
    std::string Text;
    int Status = -1;  // -1 while it runs; 1000 and the signal for one that a signal ended

    bool Ended() const { return Status != -1; }
};

// Starts bash on the script in its own process group, so that a failed test can end the
// command with everything it started, and with the stops that the tests send at their default.
TCommand Start(const fs::path& script, const std::vector<std::string>& environment)
{
    TCommand command;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return command;
    std::vector<char*> envp;
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::vector<std::string> words = zbtest::StopSignalsLauncher();
    for (const std::string& word : {std::string("/bin/bash"), script.string(), std::string("-window")})
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    command.Pid = ::fork();
    if (command.Pid == 0) {
        ::setpgid(0, 0);
        if (::dup2(pipe[1], 1) < 0 || ::dup2(pipe[1], 2) < 0)
            ::_exit(125);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    command.Output = pipe[0];
    return command;
}

// Reads what the commands wrote and reaps the ones that ended, until done holds or the hang
// guard passes.
bool Follow(std::vector<TCommand*> commands, const std::function<bool()>& done)
{
    const auto end = zbtest::HangDeadline();
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::vector<pollfd> waits;
        for (const TCommand* c : commands)
            waits.push_back({c->Output, POLLIN, 0});
        // The slice only bounds how late an ended command is noticed; output wakes at once.
        ::poll(waits.data(), waits.size(), 10);
        for (size_t i = 0; i < commands.size(); ++i) {
            TCommand& c = *commands[i];
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

bool Follow(std::vector<TCommand>& commands, const std::function<bool()>& done)
{
    std::vector<TCommand*> all;
    for (TCommand& c : commands)
        all.push_back(&c);
    return Follow(all, done);
}

bool Says(const TCommand& c, const char* text) { return c.Text.find(text) != std::string::npos; }

// Ends whatever of the commands still runs when the test ends, early or not.
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
};

// A copy of the project's commands in scratch/tree, with the sample's sources and the stand-ins
// of tests/support/runcommand on the way: cmake, ctest and chmod on PATH, the sample's builder in
// tree/build, and the game there too where asked for (otherwise the built one).
struct TRunTree {
    fs::path Root;
    std::vector<std::string> Environment;

    TRunTree(const TScratchFolder& scratch, bool standInGame, const std::vector<std::string>& extra)
        : Root(scratch.Path() + "/tree")
    {
        const fs::path source = ZB_SOURCE_DIR;
        const fs::path bin = ZB_BINARY_DIR;
        const fs::path standIns = source / "tests" / "support" / "runcommand";
        fs::create_directories(Root / "scripts");
        fs::create_directories(Root / "build");
        fs::create_directories(Root / "stand-in");
        fs::create_directories(Root / "scripts" / "lib");
        for (const char* script : {"run", "test", "lib/build-folder.sh"})
            fs::copy_file(source / "scripts" / script, Root / "scripts" / script);
        fs::create_directory_symlink(source / "sample", Root / "sample");
        Install(standIns / "cmake.sh", Root / "stand-in" / "cmake");
        Install(standIns / "ctest.sh", Root / "stand-in" / "ctest");
        Install(standIns / "chmod.sh", Root / "stand-in" / "chmod");
        Install(standIns / "mksample.sh", Root / "build" / "mksample");
        if (standInGame)
            Install(standIns / "zb.sh", Root / "build" / "zb");
        else
            fs::create_symlink(bin / "zb", Root / "build" / "zb");
        const std::string runtime = scratch.Path() + "/runtime";
        fs::create_directory(runtime);

        const char* path = std::getenv("PATH");
        Environment = {"PATH=" + (Root / "stand-in").string() + ":" + (path ? path : "/usr/bin:/bin"),
                       "XDG_RUNTIME_DIR=" + runtime, "SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
        for (const std::string& e : extra)
            Environment.push_back(e);
        for (const std::string& e : xvfb::ProgramSanitizerEnvironment())
            Environment.push_back(e);
        // The test's own settings of the commands (a build folder, configure options) stay out.
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            bool replaced = false;
            for (const std::string& set : Environment)
                replaced = replaced || entry.compare(0, entry.find('=') + 1, set, 0, set.find('=') + 1) == 0;
            if (!replaced && entry.rfind("SDL_", 0) != 0 && entry.rfind("ZB_", 0) != 0)
                Environment.push_back(entry);
        }
    }

    static void Install(const fs::path& from, const fs::path& to)
    {
        fs::copy_file(from, to);
        fs::permissions(to, fs::perms::owner_all);
    }

    fs::path Script(const char* name) const { return Root / "scripts" / name; }
    fs::path Game() const { return Root / "build" / "sample-game"; }
};

}  // namespace

// Three run commands and a test command started together in one build folder while another build
// holds it: they wait and leave its files as they are, for the other build may be writing them;
// then one builds at a time, the test command's tests run there, one game runs and the other run
// commands give way. The temporaries that a stopped configure left in the folder are gone once a
// command holds it, and nothing else; in a folder that CMake never configured, files of such names
// are the user's and stay.
TEST(RunCommand, StartedTogetherBuildInTurnAndStartOneGame)
{
    const fs::path bin = ZB_BINARY_DIR;
    ASSERT_TRUE(fs::exists(bin / "zb") && fs::exists(bin / "mksample")) << "zb or mksample is not built";
    TScratchFolder scratch;
    const std::string gate = scratch.Path() + "/gate";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    // Held open for writing throughout, so that a stand-in never waits to open the gate.
    const int gateHandle = ::open(gate.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(gateHandle, 0);
    // The sample data, made once by the real builder while the commands start; the stand-in
    // builder copies it in.
    const std::string sample = scratch.Path() + "/sample-game";
    struct TBuild {
        pid_t Pid;
        int Status = -1;
        ~TBuild()
        {
            if (Pid > 0 && Status == -1) {
                ::kill(Pid, SIGKILL);
                AwaitBuilder(Pid);
            }
        }
    } reference{StartBuilder(sample, scratch.Path() + "/errors")};
    ASSERT_GT(reference.Pid, 0);
    const TRunTree tree(scratch, false, {"ZB_TRACE_STARTUP=1", "ZB_TEST_GATE=" + gate, "ZB_TEST_SAMPLE=" + sample});
    // CMake writes what it generates under the name, ".tmp" and five hex digits, then renames it;
    // a configure stopped meanwhile leaves those. Names of another shape, links and folders stay.
    const fs::path build = tree.Root / "build";
    fs::create_directories(build / "CMakeFiles");
    WriteWholeFile((build / "CMakeCache.txt").string(), TByteVector{'#'});
    const TByteVector partial{'p', 'a', 'r', 't'};
    const std::vector<std::string> leftovers = {"build.ninja.tmp8f594", "compile_commands.json.tmpf6468",
                                                "CMakeCache.txt.tmp2796a", "CMakeFiles/rules.ninja.tmp7b63a",
                                                "CMakeFiles/VerifyGlobs.cmake.tmp2eaf6"};
    for (const std::string& left : leftovers)
        WriteWholeFile((build / left).string(), partial);
    const std::set<std::string> keptFiles = {"build.ninja.tmp8F594", "build.ninja.tmp8f5941", "build.ninja.tmp",
                                             "notes.tmp8f59g"};
    for (const std::string& kept : keptFiles)
        WriteWholeFile((build / kept).string(), partial);
    WriteWholeFile((build / "notes").string(), partial);
    fs::create_symlink("notes", build / "compile_commands.json.tmp12345");
    fs::create_directory(build / "CMakeFiles" / "rules.ninja.tmpabcde");
    // Another build in the folder, as scripts/run and scripts/test take it.
    int other = ::open((build / ".build-lock").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(other, 0) << std::strerror(errno);
    struct THeld {
        int& Handle;
        ~THeld()
        {
            if (Handle >= 0)
                ::close(Handle);
        }
    } held{other};
    ASSERT_EQ(::flock(other, LOCK_EX), 0) << std::strerror(errno);

    std::vector<TCommand> commands;
    for (int i = 0; i < 3; ++i)
        commands.push_back(Start(tree.Script("run"), tree.Environment));
    commands.push_back(Start(tree.Script("test"), tree.Environment));
    TCommand& test = commands.back();
    const TEndAll endAll{commands};
    for (const TCommand& c : commands)
        ASSERT_GT(c.Pid, 0);
    auto all = [&] {
        std::string text;
        for (const TCommand& c : commands)
            text += c.Text + "\n-- status " + std::to_string(c.Status) + "\n";
        return text;
    };

    // Each says that it waits, and the other build's files stand; once that build is done, one
    // builds at a time.
    auto ended = [&] {
        int n = 0;
        for (const TCommand& c : commands)
            n += c.Ended();
        return n;
    };
    const bool waiting = Follow(commands, [&] {
        for (const TCommand& c : commands)
            if (!Says(c, Waits) && !c.Ended())
                return false;
        return true;
    });
    ASSERT_TRUE(waiting) << all();
    ASSERT_EQ(ended(), 0) << all();
    for (const std::string& left : leftovers)
        EXPECT_TRUE(fs::exists(build / left)) << left << " removed while another build held the folder";
    ::close(other);
    other = -1;
    auto building = [&] {
        int n = 0;
        for (const TCommand& c : commands)
            n += Says(c, BuildBegins);
        return n;
    };
    ASSERT_TRUE(Follow(commands, [&] { return building() > 0 || ended() > 0; })) << all();
    ASSERT_EQ(building(), 1) << "builds at once in one build folder\n" << all();
    for (const std::string& left : leftovers)
        EXPECT_FALSE(fs::exists(build / left)) << left << " left once a command held the folder";
    reference.Status = AwaitBuilder(reference.Pid);
    const TByteVector errors = ReadWholeFile(scratch.Path() + "/errors");
    ASSERT_EQ(reference.Status, 0) << std::string(errors.begin(), errors.end());
    for (size_t i = 0; i < commands.size(); ++i)
        ASSERT_EQ(::write(gateHandle, "go\n", 3), 3);

    // Two run commands give way to the game the third started, and end while it runs; the test
    // command ends once its tests have run.
    ASSERT_TRUE(Follow(commands, [&] { return ended() >= 3; })) << all();
    ASSERT_EQ(ended(), 3) << all();
    EXPECT_NE(test.Text.find(TestsRan + (tree.Root / "build").string()), std::string::npos) << test.Text;
    TCommand* game = nullptr;
    for (TCommand& c : commands) {
        if (c.Ended())
            EXPECT_EQ(c.Status, 0) << all();
        else
            game = &c;
    }
    ASSERT_NE(game, &test) << all();
    ASSERT_TRUE(Follow({game}, [&] { return Says(*game, TitleShown) || game->Ended(); })) << all();
    EXPECT_FALSE(game->Ended()) << game->Text;
    for (const TCommand& c : commands)
        EXPECT_TRUE(Says(c, BuildBegins)) << "each command builds, one after another:\n" << c.Text;
    for (size_t i = 0; i + 1 < commands.size(); ++i)
        EXPECT_TRUE(Says(commands[i], SampleBuilt)) << commands[i].Text;

    // The data is the sample build's; the game's copy of the program beside it is the built one.
    auto expected = Entries(sample);
    const TByteVector program = ReadWholeFile((bin / "zb").string());
    expected["zb"] = std::string(program.begin(), program.end());
    ExpectSameEntries(expected, tree.Game().string());
    std::set<std::string> built;
    for (const auto& entry : fs::directory_iterator(tree.Root / "build"))
        built.insert(entry.path().filename().string());
    std::set<std::string> expectedBuilt = {".build-lock", "mksample", "sample-game", "zb", "CMakeFiles",
                                           "CMakeCache.txt", "notes", "compile_commands.json.tmp12345"};
    expectedBuilt.insert(keptFiles.begin(), keptFiles.end());
    EXPECT_EQ(built, expectedBuilt);
    std::set<std::string> cmakeFiles;
    for (const auto& entry : fs::directory_iterator(build / "CMakeFiles"))
        cmakeFiles.insert(entry.path().filename().string());
    EXPECT_EQ(cmakeFiles, std::set<std::string>{"rules.ninja.tmpabcde"});

    ::kill(game->Pid, SIGTERM);
    ASSERT_TRUE(Follow({game}, [&] { return game->Ended(); })) << game->Text;
    EXPECT_EQ(game->Status, 0) << game->Text;

    // A folder that CMake never configured, whatever it holds.
    const fs::path elsewhere = scratch.Path() + "/elsewhere";
    fs::create_directories(elsewhere / "CMakeFiles");
    const std::vector<std::string> users = {"data.tmp1a2b3", "CMakeFiles/notes.tmpc0ffe"};
    for (const std::string& name : users)
        WriteWholeFile((elsewhere / name).string(), partial);
    auto environment = tree.Environment;
    environment.push_back("ZB_BUILD_DIR=" + elsewhere.string());
    std::vector<TCommand> tests{Start(tree.Script("test"), environment)};
    const TEndAll endTests{tests};
    ASSERT_GT(tests[0].Pid, 0);
    ASSERT_EQ(::write(gateHandle, "go\n", 3), 3);
    ASSERT_TRUE(Follow(tests, [&] { return tests[0].Ended(); })) << tests[0].Text;
    EXPECT_EQ(tests[0].Status, 0) << tests[0].Text;
    EXPECT_TRUE(Says(tests[0], (TestsRan + elsewhere.string()).c_str())) << tests[0].Text;
    for (const std::string& name : users)
        EXPECT_TRUE(fs::exists(elsewhere / name)) << name << " removed from a folder that CMake never configured";
    ::close(gateHandle);
}

// A run command stopped (SIGINT, SIGTERM, SIGHUP) while its copy of the game stands removes the
// copy and ends by that signal; one killed outright leaves it, and the next run removes it. Then
// the game's copy is the built program, and the player's files stay, the game's own temporaries
// and files of similar names among them.
TEST(RunCommand, StoppedOrKilledWhileCopyingTheGameLeavesNoCopyOnceTheNextHasRun)
{
    TScratchFolder scratch;
    const TRunTree tree(scratch, true, {});
    const std::string game = tree.Game().string();
    fs::create_directories(game);
    const std::map<std::string, std::string> players = {
        {"ZB.INI", "[ZB]\r\nVolumeBGM=12\r\n"},
        {"ZB.INI.tmpAb12Cd", "the game's temporary, its writer gone"},
        {"ZBSys.sav.tmp0aZ9yX", "the game's temporary, its writer gone"},
        {"zb.backup", "the player's copy of the game"},
        {"zb.tmp", "the player's file"},
    };
    for (const auto& [name, text] : players)
        WriteWholeFile(game + "/" + name, TByteVector(text.begin(), text.end()));
    auto expected = players;
    const TByteVector program = ReadWholeFile((tree.Root / "build" / "zb").string());
    expected["zb"] = std::string(program.begin(), program.end());
    auto strays = [&] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(game))
            if (!expected.count(entry.path().filename().string()))
                names.insert(entry.path().filename().string());
        return names;
    };

    const int signals[] = {SIGKILL, SIGTERM, SIGKILL, SIGINT, SIGKILL, SIGHUP, SIGKILL};
    for (const int signal : signals) {
        SCOPED_TRACE(strsignal(signal));
        // An older program, so that the run copies the built one in.
        WriteWholeFile(game + "/zb", TByteVector{'o', 'l', 'd'});
        // A gate of its own for each round: a line that a stand-in killed at the gate left unread
        // goes with it.
        const std::string gate = scratch.Path() + "/gate";
        ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0) << std::strerror(errno);
        struct TGate {
            std::string Path;
            int Handle;
            ~TGate()
            {
                if (Handle >= 0)
                    ::close(Handle);
                ::unlink(Path.c_str());
            }
        } held{gate, ::open(gate.c_str(), O_RDWR | O_CLOEXEC)};
        ASSERT_GE(held.Handle, 0) << std::strerror(errno);
        std::vector<std::string> environment = tree.Environment;
        environment.push_back("ZB_TEST_COPY_GATE=" + gate);
        std::vector<TCommand> commands;
        commands.reserve(2);  // the references below stay good
        commands.push_back(Start(tree.Script("run"), environment));
        const TEndAll endAll{commands};
        TCommand& run = commands[0];
        ASSERT_GT(run.Pid, 0);
        ASSERT_TRUE(Follow(commands, [&] { return Says(run, CopyHeld) || run.Ended(); })) << run.Text;
        ASSERT_FALSE(run.Ended()) << "the run ended before it set its copy's mode\n" << run.Text;
        // Held with its copy made and not yet moved in place.
        const auto copies = strays();
        ASSERT_EQ(copies.size(), 1u) << run.Text;
        EXPECT_EQ(copies.begin()->rfind("zb.tmp", 0), 0u) << *copies.begin();
        // A kill takes the copying tools with it, and so does SIGINT, as a terminal's Ctrl+C
        // sends it; the other stops go to the script, as a shell's kill does, and the held
        // command then ends normally before the script acts on them.
        ::kill(signal == SIGKILL || signal == SIGINT ? -run.Pid : run.Pid, signal);
        ASSERT_EQ(::write(held.Handle, "go\n", 3), 3);
        ASSERT_TRUE(Follow(commands, [&] { return run.Ended(); })) << run.Text;
        EXPECT_EQ(run.Status, 1000 + signal) << run.Text;
        EXPECT_FALSE(Says(run, GameStarted)) << run.Text;
        if (signal == SIGKILL)
            EXPECT_EQ(strays(), copies) << "the kill came too late to leave the copy";
        else
            EXPECT_EQ(strays(), std::set<std::string>()) << "left behind";

        commands.push_back(Start(tree.Script("run"), tree.Environment));
        TCommand& next = commands[1];
        ASSERT_GT(next.Pid, 0);
        ASSERT_TRUE(Follow(commands, [&] { return next.Ended(); })) << next.Text;
        EXPECT_EQ(next.Status, 0) << next.Text;
        EXPECT_TRUE(Says(next, GameStarted)) << next.Text;
        EXPECT_TRUE(Entries(game) == expected) << "left behind, or the game's copy is not the built program";
        EXPECT_EQ(strays(), std::set<std::string>()) << "left behind";
    }
}
