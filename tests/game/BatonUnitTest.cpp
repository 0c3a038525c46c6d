// The mini-game played against a mark table with a moved pointer and a moved movie clock:
// grading along the pointer's path, passing at once or after retries, the countdown and its
// voices, giving up, the rules growing lenient with retries, and bad tables and movies.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MovieScreenHarness.h"
#include "base/Vealpha.h"
#include "base/Vepicture.h"
#include "base/Vergbbits.h"
#include "game/Batonu.h"
#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "media/Veacm.h"
#include "support/Pictures.h"

namespace {

struct TPos {
    int X, Y;
};

// Blocks of one colour each, stacked, fully opaque.
TDecodedPicture Strip(int w, int h, std::vector<uint32_t> colours)
{
    TDecodedPicture p;
    p.Width = w;
    p.Height = h * int(colours.size());
    p.Pixels.resize(size_t(p.Width) * p.Height * 3);
    for (size_t i = 0; i < p.Pixels.size(); i += 3) {
        uint32_t c = colours[i / 3 / size_t(w) / size_t(h)];
        p.Pixels[i] = uint8_t(c), p.Pixels[i + 1] = uint8_t(c >> 8), p.Pixels[i + 2] = uint8_t(c >> 16);
    }
    p.Alpha.assign(size_t(p.Width) * p.Height, 255);
    return p;
}

class BatonUnitTest : public MovieScreenHarness {
protected:
    static constexpr TPos Away{320, 470};

    void SetUp() override
    {
        MovieScreenHarness::SetUp();
        auto png = [this](const char* name, const TDecodedPicture& p) {
            Folder.Write(std::string("ZB_Pak/") + name, MakePng(p, TPngKind::InterlacedRgba));
        };
        png("BatonFrame.png", Strip(640, 74, {0x202020, 0x404040}));
        png("BatonPoint.png", Strip(534, 10, {0x000080, 0xFFFF00}));
        png("BatonMark.png", Strip(48, 48, std::vector<uint32_t>(18, 0xFF00FF)));
        png("BatonWait.png", Strip(200, 50, std::vector<uint32_t>(13, 0x00FFFF)));
        for (const char* name : {"BatonOK.adp", "BatonErr.adp", "BatonRetry.adp"})
            WriteSound(name);
        for (int n = 32; n <= 42; ++n)
            WriteSound("gs10" + std::to_string(n) + ".adp");
        ScriptValue = 7;
        WriteClip("ZBFBNQ.mpg", {{40, 0x808080}});  // 1.6 s
        Config->CursorKnown = true;
        MoveTo(Away);
    }

    void TearDown() override
    {
        Unit.reset();
        MovieScreenHarness::TearDown();
    }

    void WriteSound(const std::string& name)
    {
        const std::vector<int16_t> pcm(64, 1000);
        Folder.Write("ZB_Pak/" + name, DirectX::EncodeAdp(pcm.data(), 64, 1, 22050));
    }

    void WriteTable(const std::string& text) { Folder.Write("ZB_Pak/Baton0007.csv", text); }

    void MoveTo(TPos p)
    {
        Config->CursorX = p.X;
        Config->CursorY = p.Y;
    }

    // The game flow's order up to the wait.
    void Begin(const std::string& table)
    {
        WriteTable(table);
        Unit = std::make_unique<TBatonUnit>(nullptr);
        ASSERT_TRUE(Unit->CreateResources(PackFileMan));
        ASSERT_TRUE(Unit->OpenMovie("ZBFBNQ.mpg"));
        UseClock(Unit->GetStream());
        Form->SetFrameProc([this](int steps) { Unit->FrameUpdate(steps); });
        Form->BeginState3();
        Form->ResetFrameCounters();
        Unit->Start();
    }

    // One attempt: the ready second and a half, then the movie with the pointer where
    // pointer(movie time) says, 20 ms of movie time a frame. Returns the state it ends in.
    uint8_t Attempt(const std::function<TPos(int64_t)>& pointer)
    {
        for (int i = 0; i < 45 && Unit->GetState() == TBatonUnit::bsReady; ++i)
            Pump();
        EXPECT_EQ(Unit->GetState(), TBatonUnit::bsPlaying);
        for (auto end = HangLimit();
             Unit->GetState() == TBatonUnit::bsPlaying && std::chrono::steady_clock::now() < end;) {
            Now += 20;
            MoveTo(pointer(Unit->GetStream()->Time()));
            Pump();
        }
        return Unit->GetState();
    }

    // On each mark for its open 200 ms, away otherwise.
    static std::function<TPos(int64_t)> Trace(std::vector<std::pair<int64_t, TPos>> marks)
    {
        return [marks](int64_t t) {
            for (const auto& [time, pos] : marks)
                if (t >= time && t < time + 200)
                    return pos;
            return Away;
        };
    }

    void Ticks(int n)
    {
        while (n-- > 0)
            Pump();
    }

    std::unique_ptr<TBatonUnit> Unit;
};

}  // namespace

TEST_F(BatonUnitTest, TracingEveryMarkPassesAtTheFirstAttempt)
{
    // 32 + three good marks = 35, exactly the pass mark. The middle mark is crossed in one jump
    // from 60 pixels left of it to 60 pixels right: graded by the line, not the end points.
    Begin("32\n300,100,200\n700,300,200\n1100,500,200\n");
    EXPECT_EQ(Unit->GetMarkCount(), 3);
    EXPECT_EQ(Unit->GetScore(), 32);
    EXPECT_TRUE(Unit->WaitPanel->Visible());
    EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 0);
    EXPECT_EQ(Unit->WaitPanel->OffsetX() * 1000 + Unit->WaitPanel->OffsetY(), 220 * 1000 + 215) << "centred block";
    EXPECT_EQ(Unit->MarkPanel[0]->SizeY(), 48);
    Ticks(30);
    EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 1);
    std::vector<int> markBlocks;
    bool earlyMarkShown = false;
    auto pointer = [&](int64_t t) -> TPos {
        // Mark 0 is first met already approaching; it must still be placed and shown.
        if (t == 200)
            earlyMarkShown = Unit->MarkPanel[0]->Visible() && Unit->MarkPanel[0]->OffsetX() == 100 - 24;
        // The blocks the previous frame left: mark 1 approaching at 380 ms (320 ms before its
        // moment: 6 steps in), mark 0 showing its grade at 800 ms.
        if (t == 400 || t == 820)
            markBlocks.push_back(Unit->MarkPanel[t == 400 ? 1 : 0]->BlockIndex());
        if (t >= 300 && t < 500)
            return {100, 200};
        if (t >= 500 && t < 700)
            return {240, 200};
        if (t >= 700 && t < 1100)
            return {360, 200};
        if (t >= 1100 && t < 1300)
            return {500, 200};
        return Away;
    };
    EXPECT_EQ(Attempt(pointer), TBatonUnit::bsFinished);
    EXPECT_EQ(Unit->GetScore(), 35);
    EXPECT_EQ(BatonResult, 2);
    EXPECT_EQ(TakeSignal(), 0);
    EXPECT_EQ(markBlocks, (std::vector<int>{3 + 6, 15 + 2}));
    EXPECT_TRUE(earlyMarkShown);
    EXPECT_FALSE(GetGameFlag(GameData, 510));
}

TEST_F(BatonUnitTest, RetryPromptCountsDownAndPassesAfterARetry)
{
    for (int ending = 0; ending < 3; ++ending) {
        Begin("35\n300,100,200\n");
        BatonResult = -1;
        // A miss costs a point: 34 fails.
        EXPECT_EQ(Attempt(Trace({})), TBatonUnit::bsRetry);
        EXPECT_EQ(Unit->GetScore(), 34);
        EXPECT_EQ(TakeSignal(), INT_MIN);
        EXPECT_TRUE(Unit->WaitPanel->Visible());
        EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 2);
        EXPECT_EQ(Form->VoiceName, "gs1032.adp");
        EXPECT_EQ(Unit->GetSurface()->PGet(320, 240) & 0xFFFFFF, 0xFFFFFFu);
        Ticks(59);
        EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 2);
        Ticks(1);
        EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 3);
        EXPECT_EQ(Form->VoiceName, "gs1033.adp");
        Ticks(270);
        EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 12);
        EXPECT_EQ(Form->VoiceName, "gs1042.adp");
        if (ending == 0) {
            // A click retries; tracing the mark now passes with 36 after a retry.
            Unit->BatonPanel->MouseDown(mbLeft, TShiftState(ssLeft), 320, 240);
            Unit->BatonPanel->MouseUp(mbLeft, TShiftState(), 320, 240);
            EXPECT_EQ(Unit->GetRetries(), 1);
            EXPECT_TRUE(GetGameFlag(GameData, 510));
            EXPECT_EQ(Form->SEName, "BatonRetry.adp");
            EXPECT_EQ(Unit->GetState(), TBatonUnit::bsReady);
            EXPECT_EQ(Unit->WaitPanel->BlockIndex(), 0);
            EXPECT_EQ(Unit->GetScore(), 35);
            EXPECT_EQ(Attempt(Trace({{300, {100, 200}}})), TBatonUnit::bsFinished);
            EXPECT_EQ(BatonResult, 1);
        } else if (ending == 1) {
            Word escape = 27;
            Unit->BatonPanelKeyDown(Unit->BatonPanel, escape, TShiftState());
            EXPECT_EQ(BatonResult, 0);
        } else {
            // No answer: given up at 12 seconds.
            Ticks(29);
            EXPECT_EQ(TakeSignal(), INT_MIN);
            Ticks(1);
            EXPECT_EQ(BatonResult, 0);
        }
        EXPECT_EQ(Unit->GetState(), TBatonUnit::bsFinished);
        EXPECT_EQ(TakeSignal(), 0);
        Form->SetFrameProc(nullptr);
        Unit.reset();
        SetGameFlag(GameData, 510, false);
    }
}

TEST_F(BatonUnitTest, RulesGrowLenientWithRetries)
{
    // A missed mark, a near one (15 pixels off) and a good one, from 20 points.
    Begin("20\n300,100,200\n700,300,200\n1100,500,200\n");
    auto pointer = Trace({{300, Away}, {700, {315, 200}}, {1100, {500, 200}}});
    std::vector<int> scores;
    while (Attempt(pointer) == TBatonUnit::bsRetry && scores.size() < 20) {
        scores.push_back(Unit->GetScore());
        Word space = 32;
        Unit->BatonPanelKeyDown(Unit->BatonPanel, space, TShiftState());
    }
    // Misses stop costing at 9 retries, near passes earn from 3, good ones earn 2 from 6;
    // from the 12th retry an attempt starts at 40.
    EXPECT_EQ(scores, (std::vector<int>{20, 20, 20, 21, 21, 21, 22, 22, 22, 23, 23, 23}));
    EXPECT_EQ(Unit->GetRetries(), 12);
    EXPECT_EQ(Unit->GetScore(), 40);
    EXPECT_EQ(BatonResult, 1);
}

TEST_F(BatonUnitTest, BadTablesAndMoviesFailSafely)
{
    std::remove((Folder.Path() + "/ZB_Pak/BatonErr.adp").c_str());
    auto unit = std::make_unique<TBatonUnit>(nullptr);
    EXPECT_FALSE(unit->CreateResources(PackFileMan));
    EXPECT_TRUE(LogHas("BatonSE CreateError"));
    EXPECT_FALSE(unit->HasResources());
    EXPECT_EQ(unit->PointPanel, nullptr);
    WriteSound("BatonErr.adp");
    unit = std::make_unique<TBatonUnit>(nullptr);
    ASSERT_TRUE(unit->CreateResources(PackFileMan));
    auto fails = [&](const char* table, const char* movie, const char* line) {
        if (table)
            WriteTable(table);
        else
            std::remove((Folder.Path() + "/ZB_Pak/Baton0007.csv").c_str());
        ErrLog->Add("-");
        EXPECT_FALSE(unit->OpenMovie(movie)) << line;
        EXPECT_EQ(LogLines().back(), line);
        EXPECT_FALSE(unit->IsMovieOpen());
        EXPECT_EQ(unit->GetStream(), nullptr);
    };
    fails("30\n", "ZBFBNQ.mpg", "BatonMarkData read failed.");
    fails("30,1\n100,2\n", "ZBFBNQ.mpg", "BatonMarkData read failed.");
    fails(nullptr, "ZBFBNQ.mpg", "BatonMarkData open failed.");
    fails("30,0,0\n100,1,1\n", "ZBFBLQ.mpg", "AMStream OpenFile failed.");

    // The game flow starts the game even when the movie did not open: it gives up on the first
    // frame instead of leaving the game thread waiting.
    BatonResult = 2;
    unit->Start();
    EXPECT_EQ(TakeSignal(), INT_MIN);
    unit->FrameUpdate(1);
    EXPECT_EQ(BatonResult, 0);
    EXPECT_EQ(TakeSignal(), 0);
    unit->FrameUpdate(1);
    EXPECT_EQ(TakeSignal(), INT_MIN);

    // Unreadable and out-of-order rows are skipped; far places are pulled in; at most 256 marks.
    std::string table = "20\n100,10,10\nabc,def\n50,1,1\n200,99999999,-99999999\n";
    for (int i = 0; i < 300; ++i)
        table += std::to_string(300 + i) + ",5,5\n";
    WriteTable(table);
    ASSERT_TRUE(unit->OpenMovie("ZBFBNQ.mpg"));
    EXPECT_EQ(unit->GetMarkCount(), 256 - 2);
    EXPECT_EQ(unit->GetMark(1).Time, 200);
    EXPECT_EQ(unit->GetMark(1).X, 8192);
    EXPECT_EQ(unit->GetMark(1).Y, -8192);
    EXPECT_EQ(unit->GetMark(2).Time, 300);

    // The gauge's bar at 20 points: lit from the middle outwards, the middle left alone.
    TVeRGBBits dest(nullptr);
    dest.SetBitDepth(BitDepth);
    dest.Resize(640, 10);
    dest.Create();
    dest.BoxFill(0, 0, 639, 9, 0xFF00FF);
    EXPECT_TRUE(unit->PointPanelDraw(unit->PointPanel, &dest, 0, 0, 0, 0, 534, 10));
    const uint32_t unlit = 0x000080, lit = 0xFFFF00, none = 0xFF00FF;
    const std::pair<int, uint32_t> columns[] = {{122, unlit}, {123, lit},   {244, lit},   {245, none}, {288, none},
                                                {289, lit},   {410, lit},   {411, unlit}, {533, unlit}, {534, none}};
    for (const auto& [x, colour] : columns)
        EXPECT_EQ(dest.PGet(x, 5) & 0xFFFFFF, colour) << x;
    // A part of the panel drawn elsewhere, clipped to the first block.
    dest.BoxFill(0, 0, 639, 9, none);
    EXPECT_TRUE(unit->PointPanelDraw(unit->PointPanel, &dest, 0, 0, 120, 5, 10, 20));
    EXPECT_EQ(dest.PGet(2, 2) & 0xFFFFFF, unlit);
    EXPECT_EQ(dest.PGet(3, 4) & 0xFFFFFF, lit);
    EXPECT_EQ(dest.PGet(3, 5) & 0xFFFFFF, none);
    unit.reset();
}
