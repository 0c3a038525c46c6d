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
    // Shows the box titled caption, notes whether a window of the given name stood beside it,
    // closes it with Return; "none" when no box came.
    auto closeBox = [&](const std::string& key, const std::string& caption) {
        return "if box=$(waitnamed '" + caption + "' 60); then\n"
               "  echo " + key + "=shown >> results\n"
               "  echo " + key + "game=$(named ZB | wc -l) >> results\n"
               "  xdotool windowfocus --sync $box key Return\n"
               "  sleep 0.3\n"
               "else echo " + key + "=none >> results; fi\n";
    };
    auto run = [&](const std::string& name, const std::string& environment, const std::string& boxes) {
        return "export " + ProgramSanitizerOptions() + "\n"
               "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_VIDEODRIVER=x11 " + environment + "\n"
               "rm -f ZB.INI\n"
               "./zb -WINDOW 2> " + name + ".err &\n"
               "pid=$!\n" + boxes +
               "waitguarded $pid; echo " + name + "exit=$? >> results\n";
    };
    // The sound device: its box, with the splash still up and no game window yet.
    const std::string sound = folder.Write("sound.sh",
        std::string(WindowShellFunctions) + GuardedWaitShellFunction + "cd '" + folder.Path() + "'\n" +
        run("sound", "SDL_AUDIODRIVER=nosuchdriver ASAN_OPTIONS=detect_leaks=0",
            "splash=$(waitnamed Splash 60)\n"
            "xdotool getwindowgeometry $splash | sed -n 's/.*Geometry: /splash=/p' >> results\n"
            "import -window $splash splash.png\n"
            "echo splashmean=$(convert splash.png -format '%[fx:int(255*mean)]' info:) >> results\n" +
            closeBox("soundbox", "Error")));
    // A 640x480 screen in window mode: the screen's box, then the failed creation's. While the
    // second stands, the screen and its place are taken: what the first covered of the splash
    // must show the splash again.
    const std::string second =
        "if box=$(waitnamed 'QJ Error' 60); then\n"
        "  import -window root -depth 8 second.ppm\n"
        "  xdotool getwindowgeometry $box | sed -n 's/.*Position: \\([0-9]*\\),\\([0-9]*\\).*/boxx=\\1\\nboxy=\\2/p;"
        " s/.*Geometry: \\([0-9]*\\)x\\([0-9]*\\).*/boxw=\\1\\nboxh=\\2/p' >> results\n"
        "fi\n";
    const std::string screen = folder.Write("screen.sh",
        std::string(WindowShellFunctions) + GuardedWaitShellFunction + "cd '" + folder.Path() + "'\n" +
        run("screen", "SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0",
            closeBox("screenbox", "Error") + second + closeBox("initbox", "QJ Error")));
    // SIGTERM, then SIGINT (Ctrl+C in the terminal), while the sound device's box stands: the
    // program ends in order at once and takes its box with it.
    auto signalAtBox = [&](const std::string& name, const std::string& signal) {
        return run(name, "SDL_AUDIODRIVER=nosuchdriver ASAN_OPTIONS=detect_leaks=0",
                   "if box=$(waitnamed Error 60); then\n"
                   "  echo " + name + "box=shown >> results\n"
                   "  kill -" + signal + " $pid\n"
                   "else echo " + name + "box=none >> results; fi\n") +
               "echo " + name + "left=$(named Error | wc -l) >> results\n"
               "echo " + name + "ini=$([ -f ZB.INI ] && echo yes || echo no) >> results\n";
    };
    const std::string signals = folder.Write("signals.sh",
        std::string(WindowShellFunctions) + GuardedWaitShellFunction + "cd '" + folder.Path() + "'\n" +
            signalAtBox("term", "TERM") + signalAtBox("int", "INT"));
    // Killed outright while the sound device's box stands, the box's own process outliving it:
    // the next start is not taken for a second copy. It runs, and shows its window.
    const std::string killed = folder.Write("killed.sh",
        std::string(WindowShellFunctions) + GuardedWaitShellFunction + "cd '" + folder.Path() + "'\n"
        "export " + ProgramSanitizerOptions() + "\n"
        "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0\n"
        "SDL_AUDIODRIVER=nosuchdriver ./zb -WINDOW 2> killed.err &\n"
        "pid=$!\n"
        "if box=$(waitnamed Error 60); then\n"
        "  echo killedbox=shown >> results\n"
        "  kill -KILL $pid\n"
        "else echo killedbox=none >> results; fi\n"
        "wait $pid\n"
        "echo orphans=$(named Error | wc -l) >> results\n"
        "SDL_AUDIODRIVER=dummy ./game/zb -WINDOW 2> next.err &\n"
        "pid=$!\n"
        "window=none\n"
        "for i in $(seq 1200); do\n"
        "  [ -n \"$(named ZB)\" ] && { window=shown; break; }\n"
        "  kill -0 $pid 2>/dev/null || break\n"
        "  sleep 0.05\n"
        "done\n"
        "echo nextwindow=$window >> results\n"
        "kill -TERM $pid 2>/dev/null\n"
        "waitguarded $pid; echo nextexit=$? >> results\n"
        "for w in $(named Error); do xdotool windowfocus --sync $w key Return; done\n");
    std::map<std::string, std::string> r = RunForResults(
        {XvfbRun(1024, 768) + "sh '" + sound + "'", XvfbRun(640, 480) + "sh '" + screen + "'",
         XvfbRun(1024, 768) + "sh '" + signals + "'", XvfbRun(1024, 768) + "sh '" + killed + "'"},
        results, "nextexit");
    ASSERT_EQ(r.count("screenexit"), 1u);
    ASSERT_EQ(r.count("intini"), 1u);
    ASSERT_EQ(r.count("nextexit"), 1u);

    EXPECT_EQ(r["soundbox"], "shown");
    EXPECT_EQ(r["soundboxgame"], "0") << "the sound device is started before the game window";
    EXPECT_EQ(r["splash"], "320x240");
    EXPECT_GT(std::atoi(r["splashmean"].c_str()), 0) << "the splash shows a picture";
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
        EXPECT_EQ(r[name + "exit"], "1") << name << " (137: killed after 30 s)";
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
