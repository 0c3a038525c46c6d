// The built program on the sample game under a virtual X server: a click on the title's start
// button leads into the first scene, whose message window shows; a close request then ends the
// program cleanly. In a window and in full screen, with and without a window manager.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/ArchiveFixtures.h"
#include "support/XvfbTools.h"

namespace fs = std::filesystem;

using namespace xvfb;

// Also with a pipe in place of the sound-effect archive and an empty title music: the scene
// opens the pipe without waiting, each is named in the error log, and the game plays on (the
// effects from the folder that stands in, the title without its music).
TEST(GameFlowOnXvfb, StartFromTheTitleShowsTheFirstMessageAndACloseRequestEndsTheProgram)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    for (const char* tool : {"xdotool", "import", "convert", "python3"})
        ASSERT_TRUE(OnPath(tool)) << tool;
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe ? "a pipe as EvSE.pak, an empty title music" : "the sample game");
        TScratchFolder folder;
        const std::string game = BuildSampleGame(folder.Path());
        ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
        if (pipe) {
            fs::remove(game + "/EvSE.pak");
            ASSERT_EQ(mkfifo((game + "/EvSE.pak").c_str(), 0600), 0);
            WriteWholeFile(game + "/BGM/Track01.bgm", {});
        }
        fs::create_directory(folder.Path() + "/run");
        const std::string results = folder.Path() + "/results";
        const std::string command =
            XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "game_start.sh", {folder.Path()});
        std::map<std::string, std::string> r = RunForResults({command}, results, "save");
        ASSERT_EQ(r.count("save"), 1u) << command;
        EXPECT_EQ(r["llvm"], "0");
        EXPECT_EQ(r["movie"], "0");
        EXPECT_EQ(r["frame"], "FFD66E FFD66E FFD66E FFD66E");
        EXPECT_EQ(r["exit"], "0");
        EXPECT_EQ(r["save"], "yes");
        const TByteVector err = ReadWholeFile(folder.Path() + "/err");
        const std::string errors(err.begin(), err.end());
        EXPECT_EQ(errors.find("EvSE.pak: not a regular file\n") != std::string::npos, pipe) << errors;
        EXPECT_EQ(errors.find("Track01.bgm: empty\n") != std::string::npos, pipe) << errors;
    }
}

// The X server ends under a game in the middle of its story (a desktop session that ends, a
// remote display that drops): the game ends as on any end the player did not ask for. Its
// threads stop in order, so nothing of its teardown runs while another thread still works (no
// sanitizer report), it writes its settings and its save as a close does, a line of its own
// names the display it lost, and its status says it failed.
TEST(GameFlowOnXvfb, LosingTheDisplayMidStoryEndsTheGameInOrderWithAFailureStatus)
{
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    for (const char* tool : {"xdotool", "import", "convert", "compare"})
        ASSERT_TRUE(OnPath(tool)) << tool;
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string out = folder.Path();
    const std::string results = out + "/results";
    // The virtual server's process is ended once the first message window stands, while the
    // story is drawn.
    const std::string command = XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "game_lost_display.sh", {out});
    std::map<std::string, std::string> r = RunForResults({command}, results, "save");
    ASSERT_EQ(r.count("save"), 1u) << command;
    const TByteVector bytes = ReadWholeFile(out + "/err");
    const std::string err(bytes.begin(), bytes.end());
    EXPECT_NE(r["frame"].find("FFD66E"), std::string::npos) << "the story had begun: " << r["frame"];
    EXPECT_EQ(r["exit"], "1") << "137: still running at the hang guard\n" << err;
    ASSERT_FALSE(r["display"].empty());
    EXPECT_NE(err.find("Display " + r["display"] + " lost\n"), std::string::npos) << err;
    ExpectOwnEndAfterALoss(err);
    EXPECT_EQ(r["ini"], "1") << "the settings are written as at a close";
    EXPECT_EQ(r["save"], "yes") << "the save is written as at a close";
    ExpectServerLeftoversRemoved(r);
}

namespace {

struct TBox {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// The largest centred 4:3 rectangle of a width x height output, where the 640x480 picture
// belongs with black bars around it.
TBox PictureBox(int width, int height)
{
    TBox box{0, 0, width, height};
    if (width * 3 > height * 4)
        box.Width = height * 4 / 3;
    else
        box.Height = width * 3 / 4;
    box.Left = (width - box.Width) / 2;
    box.Top = (height - box.Height) / 2;
    return box;
}

// The output pixel at the middle of game pixel (x, y), shown scaled in the box.
int ScaledX(const TBox& box, int x) { return box.Left + (2 * x + 1) * box.Width / 1280; }
int ScaledY(const TBox& box, int y) { return box.Top + (2 * y + 1) * box.Height / 960; }

// Share of game pixels whose scaled place in the shot shows the same colour as the windowed
// picture. The title moves a little (stars, a glowing button), so a few differ in any case.
double SameShare(const TPpm& window, int windowLeft, int windowTop, const TPpm& shot, const TBox& box)
{
    int same = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            same += window.At(windowLeft + x, windowTop + y) == shot.At(ScaledX(box, x), ScaledY(box, y));
    return same / (640.0 * 480.0);
}

// Pixels of the rectangle [left, right) x [top, bottom) that are not black.
int LitOutside(const TPpm& shot, int left, int top, int right, int bottom)
{
    int lit = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            lit += shot.At(x, y) != 0;
    return lit;
}

int LitBars(const TPpm& shot, int width, int height)
{
    const TBox box = PictureBox(width, height);
    return LitOutside(shot, 0, 0, width, box.Top) + LitOutside(shot, 0, box.Top + box.Height, width, height) +
           LitOutside(shot, 0, box.Top, box.Left, box.Top + box.Height) +
           LitOutside(shot, box.Left + box.Width, box.Top, width, box.Top + box.Height);
}

// The message window's gold frame at its scaled places: top edge, both sides, bottom edge.
std::string FrameColours(const TPpm& shot, const TBox& box)
{
    std::string colours;
    for (auto [x, y] : {std::pair{320, 334}, {48, 406}, {596, 406}, {320, 468}}) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06X", shot.At(ScaledX(box, x), ScaledY(box, y)));
        colours += colours.empty() ? hex : std::string(" ") + hex;
    }
    return colours;
}

}  // namespace

// Full screen, the default of a player's start, on screens of two shapes: without a window
// manager, nobody carries out the full-screen request, and the window must still cover the
// screen; with one, the manager does. Either way the title fills the picture's box with black
// bars beside it, a click on "Start" at its scaled place starts the game, and a close request or
// Alt+F4 ends the program in order. Without a manager the window is then resized from outside,
// and the picture follows into the new box.
TEST(GameFlowOnXvfb, FullScreenFillsTheScreenWithAndWithoutAWindowManager)
{
    for (const char* tool : {"xvfb-run", "xdotool", "import", "python3", "matchbox-window-manager"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    struct TScreen {
        int Width, Height;
        int ResizedWidth, ResizedHeight;  // the window's size set from outside, within the screen
    };
    for (const TScreen screen : {TScreen{1024, 768, 800, 450}, TScreen{1280, 720, 700, 700}}) {
        SCOPED_TRACE(std::to_string(screen.Width) + "x" + std::to_string(screen.Height));
        TScratchFolder folder;
        const std::string game = BuildSampleGame(folder.Path());
        ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
        fs::create_directory(folder.Path() + "/run");
        const std::string out = folder.Path();
        const std::string results = out + "/results";
        const TBox full = PictureBox(screen.Width, screen.Height);
        const TBox resized = PictureBox(screen.ResizedWidth, screen.ResizedHeight);
        // The start button, and the top edge of the first message window's frame, where the
        // script looks for its colour.
        const std::string start = std::to_string(ScaledX(full, 202)) + " " + std::to_string(ScaledY(full, 170));
        auto frameTop = [](const TBox& box) {
            return std::to_string(ScaledX(box, 320)) + "+" + std::to_string(ScaledY(box, 334));
        };
        const std::string command =
            XvfbScript(screen.Width, screen.Height, ProgramSanitizerEnvironment(), "game_full_screen.sh",
                       {out, std::to_string(screen.Width), std::to_string(screen.Height), start, frameTop(full),
                        frameTop(resized),
                        std::to_string(screen.ResizedWidth) + " " + std::to_string(screen.ResizedHeight)});
        std::map<std::string, std::string> r = RunForResults({command}, results, "managedini");
        ASSERT_EQ(r.count("managedini"), 1u) << command;
        TPpm window, bareTitle, bareMessage, bareResized, managedTitle, managedMessage;
        ASSERT_TRUE(ReadPpm(out + "/window.ppm", window));
        ASSERT_TRUE(ReadPpm(out + "/bare-title.ppm", bareTitle));
        ASSERT_TRUE(ReadPpm(out + "/bare-message.ppm", bareMessage));
        ASSERT_TRUE(ReadPpm(out + "/bare-resized.ppm", bareResized));
        ASSERT_TRUE(ReadPpm(out + "/managed-title.ppm", managedTitle));
        ASSERT_TRUE(ReadPpm(out + "/managed-message.ppm", managedMessage));
        const int wx = std::stoi(r["windowx"]), wy = std::stoi(r["windowy"]);
        EXPECT_GT(SameShare(window, wx, wy, bareTitle, full), 0.9);
        EXPECT_EQ(LitBars(bareTitle, screen.Width, screen.Height), 0);
        EXPECT_EQ(FrameColours(bareMessage, full), "FFD66E FFD66E FFD66E FFD66E");
        // The resized window stands at the screen's corner; all of it outside its box is black.
        EXPECT_EQ(FrameColours(bareResized, resized), "FFD66E FFD66E FFD66E FFD66E");
        EXPECT_EQ(LitBars(bareResized, screen.ResizedWidth, screen.ResizedHeight), 0);
        EXPECT_GT(SameShare(window, wx, wy, managedTitle, full), 0.9);
        EXPECT_EQ(LitBars(managedTitle, screen.Width, screen.Height), 0);
        EXPECT_EQ(FrameColours(managedMessage, full), "FFD66E FFD66E FFD66E FFD66E");
        for (const char* run : {"window", "bare", "managed"}) {
            EXPECT_EQ(r[run], "0") << run;
            EXPECT_EQ(r[std::string(run) + "ini"], "1") << run;
        }
    }
}

// The player's first seconds in full screen without a window manager: the window is made at
// one size and then covers the screen, and the pointer, not moved since before the start, must
// already meet the picture where it stands. The title as first shown equals the title after the
// pointer went away and came back; so it does again once the window has been moved away from the
// screen's corner and resized under a still pointer.
TEST(GameFlowOnXvfb, FullScreenWithoutAManagerShowsTheCursorAtThePointerBeforeItMoves)
{
    for (const char* tool : {"xvfb-run", "xdotool", "import", "python3"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string out = folder.Path();
    const std::string results = out + "/results";
    // -noreset: the pointer stays where it was put while no client is connected.
    const std::string command = XvfbScript(1280, 720, ProgramSanitizerEnvironment(), "game_pointer.sh", {out});
    std::map<std::string, std::string> r = RunForResults({command}, results, "exit");
    ASSERT_EQ(r.count("exit"), 1u) << command;
    EXPECT_EQ(r["pointer"], "x:1000 y:600");
    EXPECT_EQ(r["exit"], "0");
    TPpm first, moved;
    ASSERT_TRUE(ReadPpm(out + "/first.ppm", first));
    ASSERT_TRUE(ReadPpm(out + "/moved.ppm", moved));
    ASSERT_EQ(first.Width, moved.Width);
    ASSERT_EQ(first.Height, moved.Height);
    int differ = 0, lit = 0;
    for (int y = 0; y < first.Height; ++y)
        for (int x = 0; x < first.Width; ++x) {
            differ += first.At(x, y) != moved.At(x, y);
            lit += first.At(x, y) != 0;
        }
    EXPECT_GT(lit, 0) << "the title shows";
    EXPECT_EQ(differ, 0) << "pixels where the first title differs from the one after the pointer moved";

    TPpm placed, placedMoved;
    ASSERT_TRUE(ReadPpm(out + "/placed.ppm", placed));
    ASSERT_TRUE(ReadPpm(out + "/placedmoved.ppm", placedMoved));
    ASSERT_EQ(placed.Width, placedMoved.Width);
    ASSERT_EQ(placed.Height, placedMoved.Height);
    differ = 0;
    for (int y = 0; y < placed.Height; ++y)
        for (int x = 0; x < placed.Width; ++x)
            differ += placed.At(x, y) != placedMoved.At(x, y);
    EXPECT_EQ(differ, 0) << "pixels where the moved window's title differs from the one after the pointer moved";
}

// A machine without the movie libraries: the story goes on past each movie, and the log says
// why once, naming the library and the loader's own words, before the movie's own line.
TEST(GameFlowOnXvfb, WithoutTheMovieLibrariesTheLogNamesTheMissingOneBeforeSkippingTheMovie)
{
    for (const char* tool : {"xvfb-run", "xdotool", "ldd"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    TScratchFolder folder;
    const std::string game = BuildSampleGame(folder.Path());
    ASSERT_FALSE(game.empty()) << "zb or mksample missing, or the sample game did not build";
    fs::create_directory(folder.Path() + "/run");
    const std::string out = folder.Path();
    // The libraries' names come from the test program, which links the same ones.
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string command =
        XvfbScript(1024, 768, ProgramSanitizerEnvironment(), "game_without_movie_libraries.sh", {out, self});
    std::map<std::string, std::string> r = RunForResults({command}, out + "/results", "exit");
    ASSERT_EQ(r.count("exit"), 1u) << command;
    std::vector<std::string> lines;
    {
        std::ifstream in(out + "/err");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    size_t movie = 0;
    while (movie < lines.size() && lines[movie] != "DirectDrawMediaStream QueryInterface failed.")
        ++movie;
    ASSERT_LT(movie, lines.size()) << "no movie was tried";
    ASSERT_GT(movie, 0u);
    const std::string& cause = lines[movie - 1];
    EXPECT_EQ(cause.rfind("Movie: libavutil.so.", 0), 0u) << cause;
    EXPECT_NE(cause.find(" cannot be loaded: "), std::string::npos) << cause;
    EXPECT_NE(cause.find(out + "/hidden/libavutil.so."), std::string::npos) << "the loader's own words: " << cause;
    int causes = 0;
    for (const std::string& line : lines)
        causes += line.rfind("Movie: ", 0) == 0;
    EXPECT_EQ(causes, 1);
    EXPECT_EQ(r["exit"], "0");
}
