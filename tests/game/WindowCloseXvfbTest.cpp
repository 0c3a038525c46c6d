// The built program under a virtual X server, closed the two ways a desktop tool or a player
// may close it without a window manager: the window destroyed from outside, and Alt+F4. Both
// must take the orderly close (exit 0, settings written), not end in an X error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "support/ArchiveFixtures.h"
#include "support/XvfbTools.h"

namespace fs = std::filesystem;

using namespace xvfb;

TEST(WindowCloseOnXvfb, DestroyedWindowAndAltF4BothCloseInOrder)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    ASSERT_TRUE(OnPath("xdotool"));
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string results = folder.Path() + "/results";
    auto closeWith = [&](const std::string& name, const std::string& action) {
        return "rm -f ZB.INI\n"
               "./zb 2>/dev/null &\n"
               "pid=$!\n"
               "wid=$(timeout 60 xdotool search --sync --name '^ZB$' | head -1)\n"
               "[ -n \"$wid\" ] || { kill $pid; exit 3; }\n"
               "sleep 2\n"
               // The renderer may re-create the window once; take the one that stands now.
               "wid=$(xdotool search --name '^ZB$' | tail -1)\n" +
               action +
               "\nwaitguarded $pid; echo " + name + "=$? >> '" + results + "'\n"
               "echo " + name + "ini=$([ -f ZB.INI ] && echo yes || echo no) >> '" + results + "'\n";
    };
    const std::string script = folder.Write("close.sh",
        std::string(GuardedWaitShellFunction) + "cd '" + game + "'\n"
        "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
        "export " + ProgramSanitizerOptions() + "\n" +
        closeWith("destroyed", "xdotool windowclose $wid") +
        closeWith("altf4", "xdotool windowfocus --sync $wid key alt+F4"));
    const std::string command = XvfbRun(1024, 768) + "sh '" + script + "'";
    std::map<std::string, std::string> r = RunForResults({command}, results, "altf4ini");
    ASSERT_EQ(r.count("altf4ini"), 1u) << command;
    EXPECT_EQ(r["destroyed"], "0");
    EXPECT_EQ(r["destroyedini"], "yes");
    EXPECT_EQ(r["altf4"], "0");
    EXPECT_EQ(r["altf4ini"], "yes");
}
