#pragma once
// Runs of the sample game's builder, and folders compared entry by entry.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/ArchiveFixtures.h"
#include "support/HangGuard.h"
#include "support/StopSignals.h"

namespace samplebuild {

inline std::string Builder() { return std::string(ZB_BINARY_DIR) + "/mksample"; }

// Builds the game into folder/game; false when the builder fails.
inline bool BuildSample(const TScratchFolder& folder)
{
    const std::string tool = Builder();
    if (!std::filesystem::exists(tool)) {
        ADD_FAILURE() << "the builder " << tool << " is not built";
        return false;
    }
    const std::string command =
        "'" + tool + "' '" + folder.Path() + "/game' '" + std::string(ZB_SOURCE_DIR) + "/sample' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Starts the builder on game without waiting for it; its errors go to the file errors. The stops
// in ignored are ignored when it starts, as under nohup, the others at their default.
inline pid_t StartBuilder(const std::string& game, const std::string& errors, const std::vector<int>& ignored = {})
{
    const std::string tool = Builder();
    const std::string sources = std::string(ZB_SOURCE_DIR) + "/sample";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words = zbtest::StopSignalsLauncher(ignored);
    for (const std::string& word : {tool, game, sources})
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status; 1000 and the signal for one that killed the process.
inline int AwaitBuilder(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// Holds a running process where it is (SIGSTOP) and says whether it was held; false when it
// had ended first, with its status then in status. A test that acts on a moment of the builder's
// progress holds it, checks that the moment still stands, sends its signal and lets it go on
// (SIGCONT): a signal sent to a held process has landed before it takes another step.
inline bool Hold(pid_t pid, int& status)
{
    ::kill(pid, SIGSTOP);
    int raw = 0;
    while (waitpid(pid, &raw, WUNTRACED) < 0)
        if (errno != EINTR) {
            status = -1;
            return false;
        }
    if (WIFSTOPPED(raw))
        return true;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + WTERMSIG(raw);
    return false;
}

// The signals a running process ignores, as the kernel tells (bit n - 1 for signal n).
inline uint64_t IgnoredSignals(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigIgn:", 0) == 0)
            return std::stoull(line.substr(7), nullptr, 16);
    return 0;
}

// Holds a game folder's lock as a build of it does, so that a builder started on the folder
// waits, until Release or the end of the scope.
class TFolderHold {
public:
    explicit TFolderHold(const std::string& folder)
        : FHandle(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (FHandle >= 0 && flock(FHandle, LOCK_EX | LOCK_NB) != 0)
            Release();
    }
    ~TFolderHold() { Release(); }
    TFolderHold(const TFolderHold&) = delete;
    TFolderHold& operator=(const TFolderHold&) = delete;

    bool Ok() const { return FHandle >= 0; }
    void Release()
    {
        if (FHandle >= 0)
            close(FHandle);
        FHandle = -1;
    }

private:
    int FHandle;
};

// Names that come into one folder (not below it), told by the kernel as they come: a test can
// act on a file the moment it appears, however briefly it stands.
class TArrivalWatch {
public:
    explicit TArrivalWatch(const std::string& folder)
    {
        FHandle = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (FHandle >= 0 && inotify_add_watch(FHandle, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
            close(FHandle);
            FHandle = -1;
        }
    }
    ~TArrivalWatch()
    {
        if (FHandle >= 0)
            close(FHandle);
    }
    TArrivalWatch(const TArrivalWatch&) = delete;
    TArrivalWatch& operator=(const TArrivalWatch&) = delete;

    bool Ok() const { return FHandle >= 0; }

    // The first name to arrive that wanted accepts; empty when the process pid ended first or
    // the hang guard passed.
    std::string Await(const std::function<bool(const std::string&)>& wanted, pid_t pid)
    {
        const auto end = zbtest::HangDeadline();
        while (std::chrono::steady_clock::now() < end) {
            pollfd wait = {FHandle, POLLIN, 0};
            // The slice only bounds how late an ended process is noticed; arrivals wake at once.
            poll(&wait, 1, 100);
            alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
            const ssize_t n = read(FHandle, buffer, sizeof buffer);
            for (ssize_t at = 0; n > 0 && at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && wanted(event->name))
                    return event->name;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
            siginfo_t ended {};
            if (n <= 0 && waitid(P_PID, id_t(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid)
                return "";
        }
        return "";
    }

private:
    int FHandle = -1;
};

// Every entry under root by its relative name, hidden ones too: a folder as "/", a file as its
// bytes.
inline std::map<std::string, std::string> Entries(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            entries[relative] = "/";
        } else {
            const TByteVector bytes = ReadWholeFile(entry.path().string());
            entries[relative] = std::string(bytes.begin(), bytes.end());
        }
    }
    return entries;
}

// The folder holds exactly what the expected one holds, byte for byte.
inline void ExpectSameEntries(const std::map<std::string, std::string>& want, const std::string& actual)
{
    const auto got = Entries(actual);
    std::set<std::string> wantNames, gotNames;
    for (const auto& [name, bytes] : want)
        wantNames.insert(name);
    for (const auto& [name, bytes] : got)
        gotNames.insert(name);
    EXPECT_EQ(gotNames, wantNames) << actual;
    for (const auto& [name, bytes] : want) {
        if (got.count(name)) {
            EXPECT_TRUE(got.at(name) == bytes) << name << " differs";
        }
    }
}

}  // namespace samplebuild
