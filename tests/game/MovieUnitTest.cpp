// The movie player against clips of known colours: pictures reach the panel's surface
// stretched to the screen, the end and a mouse press signal exactly once, and a movie that
// cannot be opened ends at once.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "MovieScreenHarness.h"
#include "base/Vergbbits.h"
#include "game/Movieu.h"
#include "game/Zbglobals.h"
#include "support/MovieFixtures.h"

namespace {

class MovieUnitTest : public MovieScreenHarness {
protected:
    std::unique_ptr<TMovieUnit> Make()
    {
        auto unit = std::make_unique<TMovieUnit>(nullptr);
        EXPECT_TRUE(unit->CreateResources(PackFileMan));
        return unit;
    }
    // The game flow's order up to the wait.
    void Begin(TMovieUnit* unit)
    {
        Form->SetFrameProc([unit](int steps) { unit->Update(steps); });
        Form->BeginPlay();
        Form->ResetFrameCounters();
        unit->Play();
    }
};

using MovieTest::NearColour;

// Gives every MPEG audio frame header in the file's sound packets the reserved sample rate.
void ReserveSampleRates(std::vector<char>& bytes)
{
    auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    for (size_t i = 0; i + 6 <= bytes.size();) {
        if (at(i) != 0 || at(i + 1) != 0 || at(i + 2) != 1 || at(i + 3) < 0xC0 || at(i + 3) > 0xDF) {
            ++i;
            continue;
        }
        const size_t end = std::min(bytes.size(), i + 6 + (size_t(at(i + 4)) << 8 | at(i + 5)));
        for (size_t j = i + 6; j + 2 < end; ++j)
            if (at(j) == 0xFF && (at(j + 1) & 0xF0) == 0xF0)
                bytes[j + 2] = char(at(j + 2) | 0x0C);
        i = end;
    }
}

}  // namespace

TEST_F(MovieUnitTest, PlaysKnownColoursFullScreenAndSignalsOnceAtTheEnd)
{
    WriteClip("rgb.mpg", {{5, 0xFF0000}, {5, 0x00FF00}, {5, 0x0000FF}});
    for (TBitDepth depth : {bd32, bd24}) {
        BitDepth = depth;
        auto unit = Make();
        ASSERT_EQ(unit->GetSurface()->BitDepth(), depth);
        ASSERT_TRUE(unit->OpenMovie("rgb.mpg"));
        UseClock(unit->GetStream());
        unit->Update(1);  // before Play: nothing
        EXPECT_EQ(TakeSignal(), INT_MIN);
        Begin(unit.get());
        ASSERT_TRUE(unit->IsPlaying());

        std::vector<uint32_t> seen;
        int signal = INT_MIN;
        // The clock runs on however far the decoder falls behind: a pass shows the latest of at
        // most a queue's worth of due pictures, fewer than one colour's five.
        for (auto end = HangLimit(); signal == INT_MIN && std::chrono::steady_clock::now() < end;) {
            Now += 10;
            unit->MoviePanel->ClrModify();
            Pump();
            signal = TakeSignal();
            if (unit->MoviePanel->GetModified()) {
                uint32_t c = unit->GetSurface()->PGet(320, 240);
                if (seen.empty() || !NearColour(c, seen.back()))
                    seen.push_back(c);
            }
        }
        EXPECT_EQ(signal, 0);
        EXPECT_FALSE(unit->IsPlaying());
        ASSERT_EQ(seen.size(), 3u) << "depth " << depth;
        EXPECT_TRUE(NearColour(seen[0], 0xFF0000));
        EXPECT_TRUE(NearColour(seen[1], 0x00FF00));
        EXPECT_TRUE(NearColour(seen[2], 0x0000FF));
        // A 160 x 120 movie fills the screen, and the last picture stays after the end.
        EXPECT_TRUE(NearColour(unit->GetSurface()->PGet(2, 2), 0x0000FF));
        EXPECT_TRUE(NearColour(unit->GetSurface()->PGet(637, 477), 0x0000FF));
        for (int i = 0; i < 5; ++i)
            Pump();
        unit->MoviePanelMouseDown(unit->MoviePanel, mbLeft, TShiftState(), 10, 10);
        EXPECT_EQ(TakeSignal(), INT_MIN) << "nothing after the end";
        Form->SetFrameProc(nullptr);
        unit->CloseMovie();
        EXPECT_FALSE(unit->IsOpened());
        unit->ReleaseResources();
        EXPECT_EQ(unit->MoviePanel->Image(), nullptr);
    }
    BitDepth = bd32;
}

TEST_F(MovieUnitTest, MousePressStopsOnceAndUnplayableMoviesEndAtOnce)
{
    {
        BitDepth = bd16;  // no surface for this screen
        TMovieUnit failed(nullptr);
        EXPECT_FALSE(failed.CreateResources(PackFileMan));
        EXPECT_TRUE(LogHas("DirectSurface CreateError"));
        EXPECT_FALSE(failed.MoviePanel->Created());
        BitDepth = bd32;
    }
    EXPECT_EQ(StoryMovieName("ZBED15", 0), "ZBED15LQ.mpg");
    EXPECT_EQ(StoryMovieName("ZBCH", 2), "ZBCHNQ.mpg");
    EXPECT_EQ(BatonMovieName(2) + BatonMovieName(1) + BatonMovieName(0), "ZBFBHQ.mpgZBFBNQ.mpgZBFBLQ.mpg");
    WriteClip("long.mpg", {{100, 0x808080}});
    auto unit = Make();
    ASSERT_TRUE(unit->OpenMovie("long.mpg"));
    UseClock(unit->GetStream());
    Begin(unit.get());
    for (int i = 0; i < 10; ++i) {
        Now += 10;
        Pump();
    }
    EXPECT_EQ(TakeSignal(), INT_MIN);
    // Any button, routed through the panel.
    unit->MoviePanel->MouseDown(mbRight, TShiftState(ssRight), 100, 100);
    EXPECT_EQ(TakeSignal(), 0);
    EXPECT_FALSE(unit->IsPlaying());
    EXPECT_EQ(unit->GetStream()->GetState(), msStop);
    unit->MoviePanel->MouseDown(mbLeft, TShiftState(ssLeft), 100, 100);
    Pump();
    EXPECT_EQ(TakeSignal(), INT_MIN);
    unit->CloseMovie();

    // A missing file, a pipe, a file that is no movie and a file without pictures: the open
    // fails with a line naming the file and why, then the line of its step, and a Play
    // regardless ends on the first frame instead of leaving the game thread waiting.
    WriteClip("sound.mpg", {{25, 0}}, false);
    std::ofstream(Folder.Path() + "/Movie/text.mpg") << "not a movie at all";
    ASSERT_EQ(mkfifo((Folder.Path() + "/Movie/pipe.mpg").c_str(), 0600), 0);
    const std::pair<const char*, const char*> failures[] = {{"missing.mpg", "AMStream OpenFile failed."},
                                                            {"pipe.mpg", "AMStream OpenFile failed."},
                                                            {"text.mpg", "AMStream OpenFile failed."},
                                                            {"sound.mpg", "PrimaryVideo GetMediaStream failed."}};
    for (const auto& [name, line] : failures) {
        const size_t before = LogLines().size();
        EXPECT_FALSE(unit->OpenMovie(name)) << name;
        ASSERT_EQ(LogLines().size(), before + 2) << name;
        EXPECT_NE(LogLines()[before].find(name), std::string::npos) << LogLines()[before];
        EXPECT_EQ(LogLines().back(), line);
        Begin(unit.get());
        EXPECT_EQ(TakeSignal(), INT_MIN) << "a signal before the wait would be lost";
        Pump();
        EXPECT_EQ(TakeSignal(), 0);
        Pump();
        EXPECT_EQ(TakeSignal(), INT_MIN);
        unit->CloseMovie();
        EXPECT_EQ(unit->GetStream(), nullptr);
    }
    // The line before the step's names the real cause, not a missing file for every refusal.
    std::filesystem::create_symlink("loop.mpg", Folder.Path() + "/Movie/loop.mpg");
    EXPECT_FALSE(unit->OpenMovie("loop.mpg"));
    ASSERT_GE(LogLines().size(), 2u);
    const std::string cause = LogLines()[LogLines().size() - 2];
    EXPECT_NE(cause.find("loop.mpg"), std::string::npos) << cause;
    EXPECT_NE(cause.find(std::strerror(ELOOP)), std::string::npos) << cause;
    EXPECT_EQ(LogLines().back(), "AMStream OpenFile failed.");
    unit->CloseMovie();

    // A screen whose format the pictures cannot take fails at setting the format.
    BitDepth = bd16;
    EXPECT_FALSE(unit->OpenMovie("long.mpg"));
    BitDepth = bd32;
    EXPECT_EQ(LogLines().back(), "DDStream SetFormat failed.");
    unit->CloseMovie();
}

// A movie cut short or damaged plays what it can and ends as usual; at its end the file and the
// cause are named in the log, once. A whole movie says nothing. One whose sound cannot be
// decoded plays silently, and says so once.
TEST_F(MovieUnitTest, ACutOrDamagedMovieIsNamedWithTheCauseOnce)
{
    TMovieClip clip;
    clip.Segments = {{10, 0xFF0000}, {10, 0x00FF00}, {10, 0x0000FF}};
    clip.MovingBar = true;  // enough picture data that a cut or damage loses pictures
    clip.Audio = false;
    std::string error;
    std::filesystem::create_directories(Folder.Path() + "/Movie");
    const std::string whole = Folder.Path() + "/Movie/whole.mpg";
    ASSERT_TRUE(WriteMovieClip(whole, clip, error)) << error;
    std::vector<char> bytes(std::filesystem::file_size(whole));
    std::ifstream(whole, std::ios::binary).read(bytes.data(), std::streamsize(bytes.size()));
    // Cut inside a pack in the first half, where picture data is being read.
    const size_t cut = bytes.size() / 4 / 2048 * 2048 + 1000;
    ASSERT_LT(cut, bytes.size() / 2);
    std::ofstream(Folder.Path() + "/Movie/cut.mpg", std::ios::binary).write(bytes.data(), std::streamsize(cut));
    for (size_t i = bytes.size() / 6; i < bytes.size() / 4; ++i)
        bytes[i] = char(i * 7);
    std::ofstream(Folder.Path() + "/Movie/spoilt.mpg", std::ios::binary).write(bytes.data(),
                                                                              std::streamsize(bytes.size()));

    auto playToTheEnd = [&](const std::string& name) {
        auto unit = Make();
        EXPECT_TRUE(unit->OpenMovie(name)) << name;
        UseClock(unit->GetStream());
        Begin(unit.get());
        int signal = INT_MIN;
        for (auto end = HangLimit(); signal == INT_MIN && std::chrono::steady_clock::now() < end;) {
            Now += 10;
            Pump();
            signal = TakeSignal();
        }
        EXPECT_EQ(signal, 0) << name;
        for (int i = 0; i < 5; ++i)
            Pump();
        Form->SetFrameProc(nullptr);
        unit->CloseMovie();
        unit->ReleaseResources();
    };
    auto linesNaming = [&](const std::string& name) {
        std::vector<std::string> found;
        for (const std::string& line : LogLines())
            if (line.find("/" + name) != std::string::npos)
                found.push_back(line);
        return found;
    };

    playToTheEnd("whole.mpg");
    EXPECT_TRUE(linesNaming("whole.mpg").empty());
    for (int round = 0; round < 2; ++round)
        playToTheEnd("cut.mpg");
    ASSERT_EQ(linesNaming("cut.mpg").size(), 1u);
    EXPECT_NE(linesNaming("cut.mpg")[0].find("cut short"), std::string::npos) << linesNaming("cut.mpg")[0];
    playToTheEnd("spoilt.mpg");
    ASSERT_EQ(linesNaming("spoilt.mpg").size(), 1u);
    EXPECT_NE(linesNaming("spoilt.mpg")[0].find("damaged"), std::string::npos) << linesNaming("spoilt.mpg")[0];

    clip.Audio = true;
    const std::string sounding = Folder.Path() + "/Movie/sounding.mpg";
    ASSERT_TRUE(WriteMovieClip(sounding, clip, error)) << error;
    bytes.assign(std::filesystem::file_size(sounding), 0);
    std::ifstream(sounding, std::ios::binary).read(bytes.data(), std::streamsize(bytes.size()));
    ReserveSampleRates(bytes);
    std::ofstream(Folder.Path() + "/Movie/mute.mpg", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    playToTheEnd("sounding.mpg");
    EXPECT_TRUE(linesNaming("sounding.mpg").empty());
    for (int round = 0; round < 2; ++round)
        playToTheEnd("mute.mpg");
    ASSERT_EQ(linesNaming("mute.mpg").size(), 1u);
    EXPECT_NE(linesNaming("mute.mpg")[0].find("sound"), std::string::npos) << linesNaming("mute.mpg")[0];
    EXPECT_NE(linesNaming("mute.mpg")[0].find("sample rate"), std::string::npos) << linesNaming("mute.mpg")[0];
}
