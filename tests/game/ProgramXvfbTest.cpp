// The program in a real window under a virtual X server: the splash picture centred on the
// desktop until the game window shows, the window's title and size, a second start exiting at
// once, and closing the window as a window manager would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/ArchiveFixtures.h"
#include "support/GameFormFixtures.h"
#include "support/XvfbTools.h"

using namespace xvfb;

TEST(ProgramOnXvfb, WindowIsTitledAndSizedAndClosingItEndsTheProgramInOrder)
{
    for (const char* tool : {"xvfb-run", "xdotool", "python3"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    // The program is built next to the test programs.
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zb";
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    TScratchFolder folder;
    std::filesystem::copy_file(program, folder.Path() + "/zb");
    WriteGamePictures(folder.Path());
    std::filesystem::create_directory(folder.Path() + "/run");
    const std::string closer = folder.Write("close_window.py", CloseWindowScript);
    const std::string watcher = folder.Write("watch.py", WindowWatchScript);
    const std::string results = folder.Path() + "/results";
    const std::string script = folder.Write("e2e.sh",
        std::string(GuardedWaitShellFunction) + "cd '" + folder.Path() + "'\n"
        "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
        "export " + ProgramSanitizerOptions() + "\n"
        // The program starts only once the watcher says that it watches.
        "rm -f ready; mkfifo ready\n"
        "python3 '" + watcher + "' watched ready Splash ZB & watch=$!\n"
        "[ \"$(timeout 60 head -n 1 ready)\" = watching ] || { kill $watch; exit 3; }\n"
        "./zb -WINDOW -FPS 2>zb.err &\n"
        "pid=$!\n"
        "wid=$(timeout 60 xdotool search --sync --name '^ZB$' | head -1)\n"
        "[ -n \"$wid\" ] || { kill $pid; exit 3; }\n"
        "wait $watch; cat watched > results\n"
        "echo name=$(xdotool getwindowname $wid) >> results\n"
        "xdotool getwindowgeometry $wid | sed -n 's/.*Geometry: /geometry=/p' >> results\n"
        "timeout 30 ./zb; echo second=$? >> results\n"
        "echo inibefore=$([ -f ZB.INI ] && echo yes || echo no) >> results\n"
        // The renderer may re-create the window once; close what stands now.
        "start=$(date +%s%N)\n"
        "python3 '" + closer + "' $(xdotool search --name '^ZB$')\n"
        "waitguarded $pid; echo exit=$? >> results\n"
        "echo ms=$(( ($(date +%s%N) - start) / 1000000 )) >> results\n"
        "echo ini=$([ -f ZB.INI ] && echo yes || echo no) >> results\n");
    const std::string command = XvfbRun(1024, 768) + "sh '" + script + "'";
    std::map<std::string, std::string> r = RunForResults({command}, results, "ini");
    ASSERT_EQ(r.count("ini"), 1u) << command;
    // The splash: 320x240 in the middle of the 1024x768 desktop, up before the game window and
    // gone once it shows.
    EXPECT_EQ(r["Splashgeometry"], "320x240+352+264");
    ASSERT_GE(std::atoi(r["Splashfirst"].c_str()), 0);
    EXPECT_LE(std::atoi(r["Splashfirst"].c_str()), std::atoi(r["ZBfirst"].c_str()));
    EXPECT_LT(std::atoi(r["Splashlast"].c_str()), std::atoi(r["ZBlast"].c_str()));
    EXPECT_EQ(r["name"], "ZB");
    EXPECT_EQ(r["geometry"], "640x480");
    EXPECT_EQ(r["second"], "0");
    EXPECT_EQ(r["inibefore"], "no");
    std::ifstream errors(folder.Path() + "/zb.err");
    const std::string err((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
    EXPECT_EQ(r["exit"], "0") << err;
    // Only a close that waits out some time limit of its own: a busy machine takes its time.
    EXPECT_LT(std::stoi(r["ms"]), 10000) << err;
    EXPECT_EQ(r["ini"], "yes");
}
