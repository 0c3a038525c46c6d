#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Instance.h"

namespace {

// Set in a process started by AcquireInAnotherProcess: the name it asks for.
constexpr char AcquireVariable[] = "ZB_ACQUIRE_INSTANCE";

std::string UniqueName()
{
    return "ZBTEST" + std::to_string(::getpid());
}

// The result another process gets for the name, as an exit code. That process is this test
// program started anew: a forked copy of this one would answer from its copy of what this
// process believes it holds, where only the kernel's lock may decide.
int AcquireInAnotherProcess(const std::string& name)
{
    // Everything the child needs is built before the fork.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string asked = std::string(AcquireVariable) + "=";
    std::vector<std::string> env{asked + name};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind(asked, 0) != 0)
            env.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=SingleInstance.SecondHolderIsRefusedUntilTheFirstEnds";
    char* argv[] = {const_cast<char*>(self.c_str()), filter.data(), nullptr};
    pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, 1) < 0)
            ::_exit(125);
        ::execve(self.c_str(), argv, envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstEnds)
{
    if (const char* asked = std::getenv(AcquireVariable)) {
        TSingleInstance instance;
        ::_exit(static_cast<int>(instance.Acquire(asked)));
    }
    std::string name = UniqueName();
    TSingleInstance first;
    ASSERT_EQ(first.Acquire(name), TInstanceResult::Acquired);
    EXPECT_EQ(first.Acquire(name), TInstanceResult::Acquired);
    EXPECT_EQ(AcquireInAnotherProcess(name), static_cast<int>(TInstanceResult::AlreadyRunning));
    TSingleInstance second;  // another open file in the same process is refused too
    EXPECT_EQ(second.Acquire(name), TInstanceResult::AlreadyRunning);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(AcquireInAnotherProcess(name), static_cast<int>(TInstanceResult::AlreadyRunning))
        << "the refused second try gave the name up";
    first.Release();
    EXPECT_EQ(AcquireInAnotherProcess(name), static_cast<int>(TInstanceResult::Acquired));
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
