// End to end: a real X server (Xvfb), the real video driver, a picture flipped from a frame
// thread, and a photograph of the X screen.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/XvfbTools.h"

using namespace xvfb;

TEST(DisplayOnXvfb, AFlipFromAFrameThreadShowsAtTheWindowsPlace)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    // The tools are built next to the test programs.
    const std::filesystem::path tool = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "flipshot";
    ASSERT_TRUE(std::filesystem::exists(tool)) << tool;
    const std::filesystem::path shot =
        std::filesystem::temp_directory_path() / ("flipshot-" + std::to_string(::getpid()) + ".ppm");

    // The tool's leaks are the X and GL libraries' own, not ours to report here.
    const std::string command = "SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 " +
                                XvfbRun(1024, 768) + "'" + tool.string() + "' '" + shot.string() + "'";
    TPpm ppm;
    const bool read = TryOnOwnDisplay([&](int attempt) {
        const int status = std::system(command.c_str());
        const bool shown = status == 0 && ReadPpm(shot.string(), ppm);
        if (!shown)
            std::fprintf(stderr, "attempt %d: status %d, no screenshot\n", attempt + 1, status);
        std::filesystem::remove(shot);
        return shown;
    });
    ASSERT_TRUE(read) << command;
    ASSERT_EQ(ppm.Width, 1024);
    ASSERT_EQ(ppm.Height, 768);

    // Without a window manager the centred 640x480 window starts at (192, 144).
    const int left = 192, top = 144;
    EXPECT_EQ(ppm.At(left, top), 0xFF0000u);
    EXPECT_EQ(ppm.At(left + 319, top + 239), 0xFF0000u);
    EXPECT_EQ(ppm.At(left + 320, top), 0x00FF00u);
    EXPECT_EQ(ppm.At(left + 639, top + 239), 0x00FF00u);
    EXPECT_EQ(ppm.At(left, top + 240), 0x0000FFu);
    EXPECT_EQ(ppm.At(left + 319, top + 479), 0x0000FFu);
    EXPECT_EQ(ppm.At(left + 320, top + 240), 0xFFFFFFu);
    EXPECT_EQ(ppm.At(left + 639, top + 479), 0xFFFFFFu);
    // The square flipped on its own, exactly in place.
    EXPECT_EQ(ppm.At(left + 100, top + 50), 0xFF00FFu);
    EXPECT_EQ(ppm.At(left + 115, top + 65), 0xFF00FFu);
    EXPECT_EQ(ppm.At(left + 99, top + 50), 0xFF0000u);
    EXPECT_EQ(ppm.At(left + 116, top + 66), 0xFF0000u);
}
