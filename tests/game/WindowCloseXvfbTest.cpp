// The built program under a virtual X server, closed the two ways a desktop tool or a player
// may close it without a window manager: the window destroyed from outside, and Alt+F4. Both
// must take the orderly close (exit 0, settings written), not end in an X error. And a close
// that meets the server's end a moment before or after it (a session logging out asks the
// window to close, then ends the server) ends by its own road, as either would alone, not by the
// last guard; so does the end after the server's that runs only 10 ms of every second (stopped
// and continued, or starved beside busier work). The server's end during the start, before any
// game window stands, is named too.
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
    // Closed once the title stands, when the game form whose end writes the settings exists.
    const std::string command =
        XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "close_in_order.sh", {folder.Path()});
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
        const char* Delay;  // seconds
    };
    const std::vector<TRound> rounds{{"close", "end", "0"},   {"close", "end", "0.004"},
                                     {"close", "end", "0.009"}, {"end", "close", "0"},
                                     {"end", "close", "0.006"}, {"windowclose", "end", "0.002"},
                                     {"end", "throttle", "0"}};
    for (const TRound& round : rounds) {
        SCOPED_TRACE(std::string(round.First) + ", " + round.Delay + " s later " + round.Then);
        const std::string command = XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "close_and_server_end.sh",
                                               {folder.Path(), round.First, round.Delay, round.Then});
        std::map<std::string, std::string> r = RunForResults({command}, results, "save");
        ASSERT_EQ(r.count("save"), 1u) << command;
        const TByteVector bytes = ReadWholeFile(game + "/err");
        const std::string err(bytes.begin(), bytes.end());
        // 0 where the close came first, 1 where the loss did, and then the display is named.
        ASSERT_TRUE(r["exit"] == "0" || r["exit"] == "1") << "137: still running at the hang guard\n" << err;
        if (std::string(round.Then) == "throttle") {
            EXPECT_EQ(r["exit"], "1");
        }
        if (r["exit"] == "1") {
            EXPECT_NE(err.find("Display " + r["display"] + " lost\n"), std::string::npos) << err;
        }
        ExpectOwnEndAfterALoss(err);
        EXPECT_EQ(r["ini"], "yes") << "the settings are written as at any close\n" << err;
        EXPECT_EQ(r["save"], "yes") << "the save is written as at any close\n" << err;
        ExpectServerLeftoversRemoved(r);
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
        const std::string command =
            XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "server_end_at_start.sh", {folder.Path(), delay});
        std::map<std::string, std::string> r = RunForResults({command}, results, "exit");
        ASSERT_EQ(r.count("exit"), 1u) << command;
        const TByteVector bytes = ReadWholeFile(game + "/err");
        const std::string err(bytes.begin(), bytes.end());
        EXPECT_EQ(r["exit"], "1") << "139: a crash; 137: still running at the hang guard\n" << err;
        // Named as the player names it, and not a longer name that begins alike (":1" in ":10").
        bool named = false;
        for (size_t at = err.find(r["display"]); at != std::string::npos && !named; at = err.find(r["display"], at + 1)) {
            const size_t end = at + r["display"].size();
            named = end == err.size() || !std::isdigit(static_cast<unsigned char>(err[end]));
        }
        EXPECT_TRUE(named) << "no line names " << r["display"] << "\n" << err;
        ExpectOwnEndAfterALoss(err);
        ExpectServerLeftoversRemoved(r);
    }
}
