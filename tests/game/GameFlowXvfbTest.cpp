// The built program on the sample game under a virtual X server: a click on the title's start
// button leads into the first scene, whose message window shows; a close request then ends the
// program cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "game/XvfbTools.h"
#include "support/ArchiveFixtures.h"

namespace fs = std::filesystem;

using namespace xvfb;

TEST(GameFlowOnXvfb, StartFromTheTitleShowsTheFirstMessageAndACloseRequestEndsTheProgram)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    for (const char* tool : {"xdotool", "import", "convert", "python3"})
        ASSERT_TRUE(OnPath(tool)) << tool;
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string closer = folder.Write("close.py", CloseWindowScript);
    const std::string results = folder.Path() + "/results";
    // The message window's gold frame, in window pixels: top edge, both sides, bottom edge.
    const std::string script = folder.Write("e2e.sh",
        "cd '" + game + "'\n"
        "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
        "export ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=exitcode=0\n"
        "./zb 2>/dev/null &\n"
        "pid=$!\n"
        "wid=$(timeout 10 xdotool search --sync --name '^ZB$' | head -1)\n"
        "[ -n \"$wid\" ] || { kill $pid; exit 3; }\n"
        "sleep 2\n"
        // No graphics device stands behind a virtual X server: OpenGL there would be drawn in
        // software by a whole compiler and a thread per core, for a picture made in memory.
        "echo llvm=$(grep -c -i llvm /proc/$pid/maps) >> '" + results + "'\n"
        // The renderer may re-create the window once; take the one that stands now.
        "wid=$(xdotool search --name '^ZB$' | tail -1)\n"
        "pos=$(xdotool getwindowgeometry $wid | sed -n 's/.*Position: \\([0-9]*\\),\\([0-9]*\\).*/\\1 \\2/p')\n"
        "set -- $pos; wx=$1; wy=$2\n"
        "sleep 3\n"
        "xdotool mousemove --window $wid 202 170; sleep 0.3; xdotool click 1\n"
        "px() { convert shot.png -crop 1x1+$(( wx + $1 ))+$(( wy + $2 )) -depth 8 txt:- | tail -1 | sed 's/.*#\\([0-9A-Fa-f]\\{6\\}\\).*/\\1/'; }\n"
        "for i in 1 2 3 4 5 6 7 8 9 10 11 12; do\n"
        "  sleep 1; import -window root shot.png\n"
        "  frame=\"$(px 320 334) $(px 48 406) $(px 596 406) $(px 320 468)\"\n"
        "  [ \"$frame\" = 'FFD66E FFD66E FFD66E FFD66E' ] && break\n"
        "done\n"
        "echo frame=$frame >> '" + results + "'\n"
        "python3 '" + closer + "' $wid\n"
        "( sleep 5; kill -9 $pid 2>/dev/null ) & guard=$!\n"
        "wait $pid; echo exit=$? >> '" + results + "'\n"
        "kill $guard 2>/dev/null\n"
        "echo save=$([ -f ZBSys.sav ] && echo yes || echo no) >> '" + results + "'\n");
    const std::string command = "xvfb-run -a -s '-screen 0 1024x768x24' sh '" + script + "'";
    std::map<std::string, std::string> r;
    for (int attempt = 0; attempt < 3 && r.count("save") == 0; ++attempt) {
        fs::remove(results);
        std::system(command.c_str());
        r = ReadResults(results);
    }
    ASSERT_EQ(r.count("save"), 1u) << command;
    EXPECT_EQ(r["llvm"], "0");
    EXPECT_EQ(r["frame"], "FFD66E FFD66E FFD66E FFD66E");
    EXPECT_EQ(r["exit"], "0");
    EXPECT_EQ(r["save"], "yes");
}
