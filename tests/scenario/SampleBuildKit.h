#pragma once
// Runs of the sample game's builder, and folders compared entry by entry.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "support/ArchiveFixtures.h"

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

// Starts the builder on game without waiting for it; its errors go to the file errors.
inline pid_t StartBuilder(const std::string& game, const std::string& errors)
{
    const std::string tool = Builder();
    const std::string sources = std::string(ZB_SOURCE_DIR) + "/sample";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>(game.c_str()),
                    const_cast<char*>(sources.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ) != 0)
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
