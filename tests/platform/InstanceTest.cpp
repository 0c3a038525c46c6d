#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Instance.h"

namespace {

std::string UniqueName()
{
    return "ZBTEST" + std::to_string(::getpid());
}

// The result a child process gets for the name, as an exit code.
int AcquireInChild(const std::string& name)
{
    pid_t child = ::fork();
    if (child == 0) {
        TSingleInstance instance;
        ::_exit(static_cast<int>(instance.Acquire(name)));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstEnds)
{
    std::string name = UniqueName();
    TSingleInstance first;
    ASSERT_EQ(first.Acquire(name), TInstanceResult::Acquired);
    EXPECT_EQ(first.Acquire(name), TInstanceResult::Acquired);
    EXPECT_EQ(AcquireInChild(name), static_cast<int>(TInstanceResult::AlreadyRunning));
    TSingleInstance second;  // another open file in the same process is refused too
    EXPECT_EQ(second.Acquire(name), TInstanceResult::AlreadyRunning);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(AcquireInChild(name), static_cast<int>(TInstanceResult::AlreadyRunning))
        << "the refused second try gave the name up";
    first.Release();
    EXPECT_EQ(AcquireInChild(name), static_cast<int>(TInstanceResult::Acquired));
    EXPECT_EQ(second.Acquire(name), TInstanceResult::Acquired);
    second.Release();
    std::filesystem::remove(TSingleInstance::LockPath(name));
}

TEST(SingleInstance, CrashedHolderReleasesTheName)
{
    std::string name = UniqueName() + "C";
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    if (child == 0) {
        TSingleInstance instance;
        char result = static_cast<char>(instance.Acquire(name));
        (void)!::write(pipeFds[1], &result, 1);
        ::pause();
        ::_exit(0);
    }
    char result = -1;
    ASSERT_EQ(::read(pipeFds[0], &result, 1), 1);
    EXPECT_EQ(result, static_cast<char>(TInstanceResult::Acquired));
    TSingleInstance mine;
    EXPECT_EQ(mine.Acquire(name), TInstanceResult::AlreadyRunning);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(mine.Acquire(name), TInstanceResult::Acquired);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    mine.Release();
    std::filesystem::remove(TSingleInstance::LockPath(name));
}

TEST(SingleInstance, LockFileFollowsTheRuntimeFolder)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    std::string savedValue = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent-zb", 1);
    EXPECT_EQ(TSingleInstance::LockPath("MOSSLANTERN"), "/tmp/MOSSLANTERN-" + std::to_string(::getuid()) + ".lock");
    ::setenv("XDG_RUNTIME_DIR", "/tmp", 1);
    EXPECT_EQ(TSingleInstance::LockPath("MOSSLANTERN"), "/tmp/MOSSLANTERN.lock");
    // A symbolic link where the lock file goes is not followed.
    char pattern[] = "/tmp/zbinstXXXXXX";
    std::filesystem::path folder = ::mkdtemp(pattern);
    std::filesystem::create_symlink(folder / "target", folder / "LINKED.lock");
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    TSingleInstance instance;
    EXPECT_EQ(instance.Acquire("LINKED"), TInstanceResult::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(folder / "target"));
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(folder);
}

TEST(SingleInstance, OfManyStartedTogetherExactlyOneWins)
{
    std::string name = UniqueName() + "R";
    constexpr int starts = 8;
    int results[2];
    int go[2];
    int hold[2];
    ASSERT_EQ(::pipe(results), 0);
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(hold), 0);
    pid_t children[starts];
    for (pid_t& child : children) {
        child = ::fork();
        if (child == 0) {
            ::close(go[1]);
            ::close(hold[1]);
            char byte;
            (void)!::read(go[0], &byte, 1);  // all start when the pipe closes
            TSingleInstance instance;
            char result = static_cast<char>(instance.Acquire(name));
            (void)!::write(results[1], &result, 1);
            (void)!::read(hold[0], &byte, 1);  // hold the name until the parent has counted
            ::_exit(0);
        }
    }
    ::close(go[0]);
    ::close(hold[0]);
    ::close(results[1]);
    ::close(go[1]);
    int acquired = 0;
    int refused = 0;
    for (int i = 0; i < starts; ++i) {
        char result = -1;
        ASSERT_EQ(::read(results[0], &result, 1), 1);
        acquired += result == static_cast<char>(TInstanceResult::Acquired);
        refused += result == static_cast<char>(TInstanceResult::AlreadyRunning);
    }
    EXPECT_EQ(acquired, 1);
    EXPECT_EQ(refused, starts - 1);
    ::close(hold[1]);
    for (pid_t child : children)
        ::waitpid(child, nullptr, 0);
    ::close(results[0]);
    std::filesystem::remove(TSingleInstance::LockPath(name));
}
