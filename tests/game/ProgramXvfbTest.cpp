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
#include "support/XvfbTools.h"

using namespace xvfb;

TEST(ProgramOnXvfb, WindowIsTitledAndSizedAndClosingItEndsTheProgramInOrder)
{
    for (const char* tool : {"xvfb-run", "xdotool", "python3"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    TScratchFolder folder;
    // The whole sample game: the program runs on at whatever point the close finds it, also once
    // its title is up.
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    // The settings at the end are the program's own writing.
    std::filesystem::remove(game + "/ZB.INI");
    std::filesystem::create_directory(folder.Path() + "/run");
    const std::string results = folder.Path() + "/results";
    const std::string command =
        XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "program_window.sh", {folder.Path()});
    std::map<std::string, std::string> r = RunForResults({command}, results, "ini");
    std::ifstream errors(folder.Path() + "/zb.err");
    const std::string err((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
    ASSERT_EQ(r.count("ini"), 1u) << command << "\n" << err;
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
    EXPECT_EQ(r["exit"], "0") << "137: still running at the hang guard\n" << err;
    EXPECT_EQ(r["ini"], "yes");
}
