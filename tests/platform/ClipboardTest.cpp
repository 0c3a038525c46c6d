// Pictures reach the session's clipboard tool through a pipe; without a display or tool, or
// with a tool that will not read, the copy fails and the program goes on. The tools here are
// scripts on PATH.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/Clipboard.h"
#include "support/ArchiveFixtures.h"
#include "support/HangGuard.h"

namespace {

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"PATH", "DISPLAY", "WAYLAND_DISPLAY"})
            Saved.emplace_back(name, std::getenv(name) ? std::getenv(name) : "");
        unsetenv("WAYLAND_DISPLAY");
        setenv("DISPLAY", ":77", 1);
        setenv("PATH", (Folder.Path() + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : Saved)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }
    void Tool(const std::string& body)
    {
        chmod(Folder.Write("xclip", "#!/bin/sh\n" + body + "\n").c_str(), 0755);
    }

    TScratchFolder Folder;
    std::vector<std::pair<std::string, std::string>> Saved;
    // Larger than a pipe's buffer, so the writing has to wait for the tool.
    std::vector<uint8_t> Picture = std::vector<uint8_t>(1 << 20, 0x5A);
};

}  // namespace

TEST_F(ClipboardTest, FeedsTheToolThroughAPipe)
{
    std::string out = Folder.Path() + "/out";
    Tool("echo \"$@\" > " + out + ".args; cat > " + out + ".tmp; mv " + out + ".tmp " + out);
    ASSERT_TRUE(SetClipboardPicture(Picture));
    // The tool runs on its own.
    zbtest::WaitUntil([&] { return ReadWholeFile(out).size() >= Picture.size(); }, std::chrono::milliseconds(10));
    EXPECT_EQ(ReadWholeFile(out), Picture);
    std::ifstream args(out + ".args");
    std::string line;
    std::getline(args, line);
    EXPECT_EQ(line, "-selection clipboard -t image/png -i");
}

TEST_F(ClipboardTest, FailsCleanlyWithoutDisplayToolOrReader)
{
    setenv("PATH", Folder.Path().c_str(), 1);
    EXPECT_FALSE(SetClipboardPicture(Picture));  // no xclip on PATH
    setenv("PATH", (Folder.Path() + ":/usr/bin:/bin").c_str(), 1);
    Tool("exit 0");
    unsetenv("DISPLAY");
    EXPECT_FALSE(SetClipboardPicture(Picture));
    setenv("DISPLAY", ":77", 1);
    EXPECT_FALSE(SetClipboardPicture(Picture));  // a broken pipe, not a SIGPIPE
    Tool("exec sleep 30");
    EXPECT_FALSE(SetClipboardPicture(Picture));  // given up on and stopped
}
