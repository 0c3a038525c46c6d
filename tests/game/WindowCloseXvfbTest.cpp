// The built program under a virtual X server, closed the two ways a desktop tool or a player
// may close it without a window manager: the window destroyed from outside, and Alt+F4. Both
// must take the orderly close (exit 0, settings written), not end in an X error. And a close
// that meets the server's end a moment before or after it (a session logging out asks the
// window to close, then ends the server) ends as quickly, as either would alone. The server's
// end during the start, before any game window stands, is named too.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/ArchiveFixtures.h"
#include "support/XvfbTools.h"

namespace fs = std::filesystem;

using namespace xvfb;

namespace {

// Shell function (bash): starts the game with its start-up trace on the pipe "trace" and waits
// until the title has been presented, or a minute without a line; pid is the game's.
constexpr char StartToTitleFunction[] = R"SH(
to_title() {
  rm -f trace; mkfifo trace
  ZB_TRACE_STARTUP=1 ./zb 2>trace &
  pid=$!
  exec 3<trace
  : > err
  while IFS= read -t 60 -r line <&3; do
    echo "$line" >> err
    case "$line" in *"first frame presented after: title"*) break;; esac
  done
  cat <&3 >> err &
}
)SH";

}  // namespace

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
        // Closed once the title stands, when the game form whose end writes the settings exists.
        return "rm -f ZB.INI\n"
               "to_title\n"
               "wid=$(waitnamed ZB 60)\n"
               "[ -n \"$wid\" ] || { kill $pid; exit 3; }\n" +
               action +
               "\nwaitguarded $pid; echo " + name + "=$? >> '" + results + "'\n"
               "echo " + name + "ini=$([ -f ZB.INI ] && echo yes || echo no) >> '" + results + "'\n";
    };
    const std::string script = folder.Write("close.sh",
        std::string(StartToTitleFunction) + WindowShellFunctions + GuardedWaitShellFunction + "cd '" + game + "'\n"
        "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
        "export " + ProgramSanitizerOptions() + "\n" +
        closeWith("destroyed", "xdotool windowclose $wid") +
        closeWith("altf4", "xdotool windowfocus --sync $wid key alt+F4"));
    const std::string command = XvfbRun(1024, 768) + "bash '" + script + "'";
    std::map<std::string, std::string> r = RunForResults({command}, results, "altf4ini");
    ASSERT_EQ(r.count("altf4ini"), 1u) << command;
    EXPECT_EQ(r["destroyed"], "0");
    EXPECT_EQ(r["destroyedini"], "yes");
    EXPECT_EQ(r["altf4"], "0");
    EXPECT_EQ(r["altf4ini"], "yes");
}

TEST(WindowCloseOnXvfb, ACloseAndTheServersEndMomentsApartEndInOrder)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    ASSERT_TRUE(OnPath("xdotool"));
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string results = folder.Path() + "/results";
    struct TRound {
        const char* First;
        const char* Then;
        int DelayMs;
    };
    const std::string close = "kill -TERM $pid", windowClose = "xdotool search --name '^ZB$' windowclose";
    const std::string serverEnd = "kill -KILL $(tr -d ' ' < /tmp/.X${DISPLAY#:}-lock)";
    const std::vector<TRound> rounds{{"close", "end", 0}, {"close", "end", 4}, {"close", "end", 9},
                                     {"end", "close", 0}, {"end", "close", 6}, {"windowclose", "end", 2}};
    auto action = [&](const std::string& what) {
        return what == "close" ? close : what == "end" ? serverEnd : windowClose;
    };
    for (const TRound& round : rounds) {
        SCOPED_TRACE(std::string(round.First) + ", " + std::to_string(round.DelayMs) + " ms later " + round.Then);
        // The settings and the save are both written only at the end here.
        const std::string script = folder.Write("race.sh",
            std::string(StartToTitleFunction) + GuardedWaitShellFunction + "cd '" + game + "'\n"
            "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
            "export " + ProgramSanitizerOptions() + "\n"
            "rm -f ZB.INI ZBSys.sav\n"
            "to_title\n"
            "echo display=$DISPLAY >> '" + results + "'\n"
            "start=$(date +%s%N)\n" +
            action(round.First) + "\nsleep " + std::to_string(round.DelayMs / 1000.0) + "\n" +
            action(round.Then) + " 2>/dev/null\n"
            "waitguarded $pid; echo exit=$? >> '" + results + "'\n"
            "echo ms=$(( ($(date +%s%N) - start) / 1000000 )) >> '" + results + "'\n"
            "echo ini=$([ -f ZB.INI ] && echo yes || echo no) >> '" + results + "'\n"
            "echo save=$([ -f ZBSys.sav ] && echo yes || echo no) >> '" + results + "'\n");
        const std::string command = XvfbRun(1024, 768) + "bash '" + script + "'";
        std::map<std::string, std::string> r = RunForResults({command}, results, "save");
        ASSERT_EQ(r.count("save"), 1u) << command;
        const TByteVector bytes = ReadWholeFile(game + "/err");
        const std::string err(bytes.begin(), bytes.end());
        // 0 where the close came first, 1 where the loss did, and then the display is named.
        ASSERT_TRUE(r["exit"] == "0" || r["exit"] == "1") << "137: still running after 30 s\n" << err;
        if (r["exit"] == "1") {
            EXPECT_NE(err.find("Display " + r["display"] + " lost\n"), std::string::npos) << err;
        }
        EXPECT_LT(std::stoi(r["ms"]), 6000) << "not as quick as a close alone\n" << err;
        ExpectOwnEndAfterALoss(err);
        EXPECT_EQ(r["ini"], "yes") << "the settings are written as at any close\n" << err;
        EXPECT_EQ(r["save"], "yes") << "the save is written as at any close\n" << err;
    }
}

TEST(WindowCloseOnXvfb, TheServersEndDuringTheStartIsNamedWithAFailureStatus)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string results = folder.Path() + "/results";
    // From before the first connection to the game window's first frames: the video system's
    // start, the splash, the window's making.
    for (const char* delay : {"0.005", "0.015", "0.02", "0.025", "0.03", "0.04", "0.08", "0.3"}) {
        SCOPED_TRACE(std::string("the server ended ") + delay + " s after the start");
        const std::string script = folder.Write("early.sh",
            std::string(GuardedWaitShellFunction) + "cd '" + game + "'\n"
            "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
            "export " + ProgramSanitizerOptions() + "\n"
            "server=$(tr -d ' ' < /tmp/.X${DISPLAY#:}-lock)\n"
            "echo display=$DISPLAY >> '" + results + "'\n"
            "./zb 2>err &\n"
            "pid=$!\n"
            "sleep " + delay + "; kill -KILL $server\n"
            "waitguarded $pid; echo exit=$? >> '" + results + "'\n");
        const std::string command = XvfbRun(1024, 768) + "sh '" + script + "'";
        std::map<std::string, std::string> r = RunForResults({command}, results, "exit");
        ASSERT_EQ(r.count("exit"), 1u) << command;
        const TByteVector bytes = ReadWholeFile(game + "/err");
        const std::string err(bytes.begin(), bytes.end());
        EXPECT_EQ(r["exit"], "1") << "139: a crash; 137: still running after 30 s\n" << err;
        // Named as the player names it, and not a longer name that begins alike (":1" in ":10").
        bool named = false;
        for (size_t at = err.find(r["display"]); at != std::string::npos && !named; at = err.find(r["display"], at + 1)) {
            const size_t end = at + r["display"].size();
            named = end == err.size() || !std::isdigit(static_cast<unsigned char>(err[end]));
        }
        EXPECT_TRUE(named) << "no line names " << r["display"] << "\n" << err;
        ExpectOwnEndAfterALoss(err);
    }
}
