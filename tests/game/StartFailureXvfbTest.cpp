// The built program under a virtual X server when its start fails: each failure of the start
// shows its message box before any game window exists (found by its title, closed with the
// Return key), standard error carries the same text readably, and the program then ends in
// order with a failure status; a close signal while a box stands ends it in order too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "game/Splashf.h"
#include "support/ArchiveFixtures.h"
#include "support/GameFormFixtures.h"
#include "support/XvfbTools.h"

namespace fs = std::filesystem;

using namespace xvfb;

namespace {

std::string ReadText(const std::string& path)
{
    const TByteVector bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(StartFailureOnXvfb, ASoundDeviceOrAScreenThatCannotServeShowsItsBoxesThenEndsInOrderAsOnASignal)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    for (const char* tool : {"xdotool", "import", "convert"})
        ASSERT_TRUE(OnPath(tool)) << tool;
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "zb";
    ASSERT_TRUE(fs::exists(program)) << program;
    TScratchFolder folder;
    fs::copy_file(program, folder.Path() + "/zb");
    WriteGamePictures(folder.Path());
    // The start that runs after the killed one runs on the whole sample game: it may be on its
    // title before the close comes.
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string results = folder.Path() + "/results";
    auto run = [&](int width, int height, const std::string& what) {
        return XvfbScript(width, height, ProgramSanitizerEnvironment(), "start_failure.sh", {folder.Path(), what});
    };
    // The screen's run has a 640x480 screen, too small for the game.
    std::map<std::string, std::string> r = RunForResults(
        {run(1024, 768, "sound"), run(640, 480, "screen"), run(1024, 768, "signals"), run(1024, 768, "killed")},
        results, "nextexit");
    ASSERT_EQ(r.count("screenexit"), 1u);
    ASSERT_EQ(r.count("intini"), 1u);
    ASSERT_EQ(r.count("nextexit"), 1u);

    EXPECT_EQ(r["soundbox"], "shown");
    EXPECT_EQ(r["soundboxgame"], "0") << "the sound device is started before the game window";
    EXPECT_EQ(r["splash"], "320x240");
    EXPECT_GT(std::atoi(r["splashmean"].c_str()), 0) << "the splash shows a picture beside the box";
    EXPECT_EQ(r["soundexit"], "1") << "a failed start ends with a failure status";
    const std::string soundErr = ReadText(folder.Path() + "/sound.err");
    EXPECT_NE(soundErr.find("DirectSound InitError\n"), std::string::npos) << soundErr;
    EXPECT_NE(soundErr.find("Error: DirectSoundの初期化に失敗しました。\n"), std::string::npos) << soundErr;
    EXPECT_EQ(soundErr.find("DirectX CreateError"), std::string::npos) << soundErr;

    EXPECT_EQ(r["screenbox"], "shown");
    EXPECT_EQ(r["initbox"], "shown");
    EXPECT_EQ(r["screenexit"], "1") << "a failed start ends with a failure status";
    // The splash stands in the middle of the 640x480 screen; outside the second box it shows
    // its own picture, also where the first box stood.
    TPpm shot;
    ASSERT_TRUE(ReadPpm(folder.Path() + "/second.ppm", shot));
    ASSERT_EQ(r.count("boxh"), 1u);
    const int bx = std::atoi(r["boxx"].c_str()), by = std::atoi(r["boxy"].c_str());
    const int bw = std::atoi(r["boxw"].c_str()), bh = std::atoi(r["boxh"].c_str());
    const std::vector<uint32_t> splash = SplashPicture();
    ASSERT_EQ(splash.size(), size_t(320 * 240));
    int shown = 0, other = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int sx = 160 + x, sy = 120 + y;
            if (sx >= bx - 2 && sx < bx + bw + 2 && sy >= by - 2 && sy < by + bh + 2)
                continue;
            (shot.At(sx, sy) == splash[size_t(y) * 320 + size_t(x)] ? shown : other)++;
        }
    EXPECT_GT(shown, 0);
    EXPECT_EQ(other, 0) << "splash pixels beside the second box that show something else";

    const std::string screenErr = ReadText(folder.Path() + "/screen.err");
    EXPECT_NE(screenErr.find("Error: 800x600,16bitカラー以上の環境が必要です。\n"), std::string::npos) << screenErr;
    EXPECT_NE(screenErr.find("QJ Error: 初期化に失敗しました。\n"), std::string::npos) << screenErr;

    for (const std::string name : {"term", "int"}) {
        EXPECT_EQ(r[name + "box"], "shown") << name;
        // The signal only cuts the box short: the start has failed all the same.
        EXPECT_EQ(r[name + "exit"], "1") << name << " (137: killed at the hang guard)";
        EXPECT_EQ(r[name + "left"], "0") << name;
        EXPECT_EQ(r[name + "ini"], "yes") << name;
        const std::string err = ReadText(folder.Path() + "/" + name + ".err");
        EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    }

    EXPECT_EQ(r["killedbox"], "shown");
    EXPECT_EQ(r["orphans"], "1") << "the box's process outlived the killed program";
    const std::string nextErr = ReadText(folder.Path() + "/next.err");
    EXPECT_EQ(r["nextwindow"], "shown") << "the next start gave way to a program that was gone\n" << nextErr;
    EXPECT_EQ(r["nextexit"], "0") << nextErr;
}
