// Pictures reach the session's clipboard tool through a pipe; a missing display or tool, or a
// tool that will not read, fails the copy without harming the program. Stand-in tools are
// scripts on PATH that record what they were given.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "platform/Clipboard.h"
#include "support/ArchiveFixtures.h"

namespace {

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"PATH", "DISPLAY", "WAYLAND_DISPLAY"}) {
            const char* value = std::getenv(name);
            Saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        PreviousHandler = SetClipboardHandler(nullptr);
        unsetenv("WAYLAND_DISPLAY");
        setenv("DISPLAY", ":77", 1);
        setenv("PATH", (Folder.Path() + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : Saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        SetClipboardHandler(PreviousHandler);
    }

    void Tool(const std::string& name, const std::string& body)
    {
        std::string path = Folder.Write(name, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), 0755);
    }

    // What a stand-in wrote, once it has finished writing (bounded wait).
    std::string Output(const std::string& name, size_t size)
    {
        std::string path = Folder.Path() + "/" + name;
        for (int i = 0; i < 500; ++i) {
            std::ifstream in(path, std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (text.size() >= size)
                return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "";
    }

    TScratchFolder Folder;
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
    TClipboardHandler PreviousHandler;
};

std::vector<uint8_t> Bytes(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    return bytes;
}

}  // namespace

TEST_F(ClipboardTest, FeedsTheSessionsToolThroughAPipe)
{
    std::string dir = Folder.Path();
    Tool("xclip", "echo \"$@\" > " + dir + "/xargs; cat > " + dir + "/xdata.tmp; mv " + dir + "/xdata.tmp " + dir + "/xdata");
    Tool("wl-copy", "echo \"$@\" > " + dir + "/wargs; cat > " + dir + "/wdata.tmp; mv " + dir + "/wdata.tmp " + dir + "/wdata");
    // Larger than a pipe's buffer, so the writing has to wait for the tool.
    std::vector<uint8_t> picture = Bytes(300000);
    ASSERT_TRUE(SetClipboardPicture(picture));
    EXPECT_EQ(Output("xdata", picture.size()), std::string(picture.begin(), picture.end()));
    EXPECT_EQ(Output("xargs", 1), "-selection clipboard -t image/png -i\n");

    setenv("WAYLAND_DISPLAY", "wayland-9", 1);
    ASSERT_TRUE(SetClipboardPicture(picture));
    EXPECT_EQ(Output("wdata", picture.size()), std::string(picture.begin(), picture.end()));
    EXPECT_EQ(Output("wargs", 1), "--type image/png\n");

    // The seam takes the bytes instead of any tool.
    std::vector<uint8_t> seen;
    SetClipboardHandler([&seen](const std::vector<uint8_t>& png) {
        seen = png;
        return true;
    });
    EXPECT_TRUE(SetClipboardPicture(Bytes(10)));
    EXPECT_EQ(seen, Bytes(10));
}

TEST_F(ClipboardTest, FailsCleanlyWithoutDisplayToolOrReader)
{
    std::vector<uint8_t> picture = Bytes(1 << 20);
    // No xclip anywhere on PATH; then no display at all.
    setenv("PATH", Folder.Path().c_str(), 1);
    EXPECT_FALSE(SetClipboardPicture(picture));
    unsetenv("DISPLAY");
    Tool("xclip", "exit 0");
    EXPECT_FALSE(SetClipboardPicture(picture));

    // A tool that quits without reading: the broken pipe fails the copy and nothing else.
    setenv("DISPLAY", ":77", 1);
    setenv("PATH", (Folder.Path() + ":/usr/bin:/bin").c_str(), 1);
    EXPECT_FALSE(SetClipboardPicture(picture));
    // A tool that never reads is given up on.
    Tool("xclip", "exec sleep 30");
    EXPECT_FALSE(SetClipboardPicture(picture));
}
