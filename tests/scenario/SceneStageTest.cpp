// Backgrounds by mode, figures in their slots with eyes and motions, and the weather.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"
#include "support/SceneFixtures.h"

namespace {

// Applies a background request with the given modes, as a scene change without transition.
void Show(TAvgUnit& u, int request, int modeA, int modeB)
{
    SetGameModeA(GameData, modeA);
    SetGameModeB(GameData, modeB);
    u.BGRequest = request;
    u.LoadBackground();
}

}  // namespace

TEST(SceneStage, BackgroundVariantsFollowTheModes)
{
    TSceneWorld world;
    world.Background(21);
    world.Background(26);
    world.Background(30);
    world.Background(755);
    world.Background(756);
    world.Background(700);
    world.Background(993);
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();

    Show(u, 23, 2, 0);
    EXPECT_EQ(u.BGFileNo, 21);
    EXPECT_EQ(u.BGEffect, 2);
    Show(u, 999, 0, 0);
    Show(u, 1023, 2, 0);  // the thousands digit: same file, other lighting
    EXPECT_EQ(u.BGEffect, 3);
    Show(u, 23, 1, 3);  // no variant 7: variant 6 stands in, with snow
    EXPECT_EQ(u.BGFileNo, 27);
    EXPECT_EQ(u.BGEffect, 1);
    EXPECT_EQ(u.WeatherKind, 2);
    Show(u, 1023, 1, 2);  // not ordinary: no rain
    EXPECT_EQ(u.WeatherKind, 0);
    Show(u, 30, 0, 4);  // film: scratches and sepia
    EXPECT_EQ(u.WeatherKind, 3);
    EXPECT_EQ(u.BGTone, 1);

    Show(u, 755, 0, 0);
    EXPECT_TRUE(GetSysOpenFlag(SysData, 255));
    SetSysOpenFlag(SysData, 0);
    const bool before = GetSysOpenFlag(SysData, 0);
    Show(u, 756, 0, 0);
    EXPECT_EQ(u.BGFileNo, 756);
    EXPECT_EQ(GetSysOpenFlag(SysData, 0), before);

    Show(u, 999, 0, 0);
    EXPECT_EQ(u.BGPanel->Image()->PGet(320, 240), 0x000000u);
    Show(u, 998, 0, 0);
    EXPECT_EQ(u.BGPanel->Image()->PGet(320, 240), 0xFFFFFFu);
    // The same picture and weather again: nothing happens, not even the gallery flag.
    u.BGPanel->Image()->BoxFill(0, 0, 9, 9, 0x123456);
    Show(u, 998, 0, 0);
    EXPECT_EQ(u.BGPanel->Image()->PGet(0, 0), 0x123456u);
    // A missing picture leaves a cleared picture, not a crash.
    Show(u, 480, 0, 0);
    EXPECT_EQ(u.BGPanel->Image()->PGet(320, 240), 0u);
}

TEST(SceneStage, NegativeBackgroundRequestsTruncateTowardZero)
{
    TSceneWorld world;
    world.Background(3);
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    std::array<bool, 256> opened{};
    for (int flag = 0; flag < 256; ++flag)
        opened[flag] = GetSysOpenFlag(SysData, flag);

    // -1 and -7 mod 1000 keep their sign, their tens are 0: file 3 with ModeA 0, "zbbg003.jpg".
    for (int request : {-1, -7}) {
        Show(u, 998, 0, 0);
        Show(u, request, 0, 0);
        EXPECT_EQ(u.BGFileNo, 3) << request;
        EXPECT_EQ(u.BGShownRequest, request);
        EXPECT_NE(u.BGPanel->Image()->PGet(320, 240), 0u) << request;
        EXPECT_NE(u.BGPanel->Image()->PGet(320, 240), 0xFFFFFFu) << request;
    }
    // ModeA 1 asks for variant 0 of the same tens: "zbbg000.jpg" is missing, so nothing shows.
    Show(u, 998, 0, 0);
    Show(u, -7, 1, 0);
    EXPECT_EQ(u.BGFileNo, 0);
    EXPECT_EQ(u.BGPanel->Image()->PGet(320, 240), 0u);
    // Larger ones keep negative tens (-300 gives -297, -999 gives -987): no such file.
    for (const auto& [request, file] : {std::pair{-300, -297}, std::pair{-999, -987}}) {
        Show(u, 998, 0, 0);
        Show(u, request, 0, 0);
        EXPECT_EQ(u.BGFileNo, file) << request;
        EXPECT_EQ(u.BGPanel->Image()->PGet(320, 240), 0u) << request;
        EXPECT_EQ(u.BGEffect, 0) << request;
    }
    for (int flag = 0; flag < 256; ++flag)
        EXPECT_EQ(GetSysOpenFlag(SysData, flag), opened[flag]) << flag;  // never a gallery picture
}

TEST(SceneStage, FiguresTakeTheirPlacesAndTint)
{
    TSceneWorld world;
    world.Figure(5, 200, 400);
    world.Figure(6, 101, 301);
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    u.CharRequest = {5, 999, 6};
    for (int s = 0; s < 3; ++s)
        u.LoadCharacter(s);
    EXPECT_EQ(u.CharLeft->OffsetX(), 60);
    EXPECT_EQ(u.CharLeft->OffsetY(), 40);
    EXPECT_EQ(u.CharRight->OffsetX(), 480 - 50);
    EXPECT_EQ(u.CharRight->OffsetY(), 89);
    // The placeholder holds the centre invisibly.
    EXPECT_TRUE(u.CharCenter->Visible());
    EXPECT_EQ(u.CharCenter->SizeX(), 16);
    EXPECT_EQ(u.CharNo, (std::array<int, 3>{5, 999, 6}));
    // A missing figure empties the slot.
    u.CharRequest[0] = 77;
    u.LoadCharacter(0);
    EXPECT_EQ(u.CharNo[0], -1);
    EXPECT_FALSE(u.CharLeft->Visible());
}

TEST(SceneStage, EyesBlinkOnTheirTimetable)
{
    TSceneWorld world;
    world.Figure(5, 200, 400);
    world.Figure(6, 200, 400);
    world.Figure(8, 200, 400);
    world.EyeStrip(5);
    world.EyeStrip(8, "bmp");
    // Bad rows are skipped: a negative character and a row for a missing strip.
    world.EyeTable("-1,0,0\n6,10,10\n5,30,40\n8,-5,3\n");
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    EXPECT_EQ(u.EyeRows, 4);
    u.CharRequest = {5, 6, 8};
    for (int s = 0; s < 3; ++s)
        u.LoadCharacter(s);
    EXPECT_EQ(u.EyeX[0], 30);
    EXPECT_EQ(u.EyeY[0], 40);
    EXPECT_TRUE(u.EyeHasAlpha[0]);
    EXPECT_EQ(u.EyeX[1], -1);  // no strip
    EXPECT_EQ(u.EyeX[2], -1);  // eye place off the figure

    u.EyeBlink();
    const int wait = u.EyeTimer[0];
    EXPECT_GE(wait, 1014);
    EXPECT_LT(wait, 1074);
    u.EyeTimer[0] = 1016;
    u.CharLeft->ClrModify();
    u.EyeBlink();  // 1015: odd, no redraw
    EXPECT_FALSE(u.CharLeft->GetModified());
    u.EyeBlink();  // 1014
    EXPECT_TRUE(u.CharLeft->GetModified());
    for (int i = 0; i < 14; ++i)
        u.EyeBlink();
    EXPECT_EQ(u.EyeTimer[0], 1000);
    u.EyeBlink();
    EXPECT_EQ(u.EyeTimer[0], 2090);
    u.EyeTimer[0] = 3000;
    u.EyeBlink();
    EXPECT_EQ(u.EyeTimer[0], 90);
    u.EyeTimer[0] = 4000;
    u.EyeBlink();
    EXPECT_EQ(u.EyeTimer[0], 4000);
    EXPECT_EQ(u.EyeTimer[1], 0);  // a slot without eyes never blinks
}

TEST(SceneStage, EightFrameStepSlidesTheCentreFigureAside)
{
    TSceneWorld world;
    world.Figure(4, 100, 300);
    world.Figure(5, 100, 300);
    EXPECT_FALSE(world.Start("push 4\npush 1\nsetchar\npush 0\nchangescene\n"
                             "push 5\npush 2\npush 2\ncharin\nend"));
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({5});
    EXPECT_EQ(u.CharNo, (std::array<int, 3>{4, -1, 5}));
    EXPECT_EQ(u.CharInKind[2], 3);
    EXPECT_EQ(u.CharInKind[0], 3);  // the centre figure slides to the left
    EXPECT_EQ(u.CharLeft->OffsetX(), 160 - 50 + 160);
    EXPECT_EQ(u.CharLevel[2], 0);
    int frames = 0;
    while (u.Phase == 5 && frames < 20) {
        world.Frames(1);
        ++frames;
    }
    EXPECT_EQ(frames, 8);
    EXPECT_EQ(u.CharLeft->OffsetX(), 110);
    EXPECT_EQ(u.CharLevel[2], 128);
    world.Frames(1);
    EXPECT_TRUE(u.IsHalted());
}

TEST(SceneStage, ChangeInPlaceCrossFadesReplacementsAndFadesInNewcomers)
{
    TSceneWorld world;
    for (int c : {4, 5, 6})
        world.Figure(c, 100, 300);
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    u.CharRequest = {4, 6, -1};
    u.ChangeCharacters(0, 0);
    ASSERT_EQ(u.CharNo, (std::array<int, 3>{4, 6, -1}));

    // Left: 4 becomes 5; centre: 6 leaves; right: 6 enters the empty slot.
    u.CharRequest = {5, -1, 6};
    u.ChangeCharacters(5, 0);
    EXPECT_EQ(u.Phase, 5);
    EXPECT_EQ(u.CharNo, (std::array<int, 3>{5, -1, 6}));
    EXPECT_EQ(u.CharInKind, (std::array<int, 3>{4, 0, 1}));
    EXPECT_EQ(u.CharOutKind, (std::array<int, 3>{4, 1, 0}));
    world.Frames(2);
    // Frame 2 of 8: the replacement at 32 n, the newcomer at 16 n; the replaced figure stays
    // opaque for four frames, the leaving one fades at 16 (8 - n).
    EXPECT_EQ(u.CharLevel[0], 64);
    EXPECT_EQ(u.CharLevel[2], 32);
    EXPECT_EQ(u.CharOutLevel[0], 128);
    EXPECT_EQ(u.CharOutLevel[1], 96);
    world.Frames(3);
    EXPECT_EQ(u.CharLevel[0], 128);
    EXPECT_EQ(u.CharLevel[2], 80);
    EXPECT_EQ(u.CharOutLevel[0], 96);
}

TEST(SceneStage, CharacterChangesWhileSkippingCostOneFrame)
{
    TSceneWorld world;
    world.Figure(4, 100, 300);
    world.Script.Add("Main.Wps", SceneScript("push 0\nwait\npush 4\npush 0\npush 3\ncharin\npush 0\npush 4\ncharout\nend"));
    ASSERT_TRUE(world.Prepare());
    world.Script.StartFirst();
    world.Unit().CtrlSkip = true;
    world.Frames(2);
    EXPECT_EQ(world.Unit().Phase, 10);
    world.Frames(1);
    EXPECT_EQ(world.Unit().CharNo[0], 4);
    world.Frames(2);
    EXPECT_EQ(world.Unit().Phase, 3);  // the wait ended; the script resumes on the next frame
    world.Frames(1);
    EXPECT_TRUE(world.Unit().IsHalted());
    EXPECT_EQ(world.Unit().CharNo[0], -1);
}

TEST(SceneStage, SnowFallsInAFixedDriftAndRestartsAboveTheScreen)
{
    TSceneWorld world;
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    u.WeatherKind = 2;
    u.WeatherInit();
    EXPECT_EQ(u.WeatherDrift, (std::array<int32_t, 4>{0, 1, 2, 1}));
    for (int i = 0; i < 128; ++i)
        EXPECT_LT(u.WeatherY[i], 0);
    u.WeatherY[0] = 490;  // +4 gives 494: keeps falling
    u.WeatherY[1] = 491;  // +4 gives 495: restarts
    u.WeatherUpdate(1);
    EXPECT_EQ(u.WeatherY[0], 494);
    EXPECT_EQ(u.WeatherY[1], -14);
    u.WeatherUpdate(1);  // even count: still
    EXPECT_EQ(u.WeatherY[0], 494);
    for (int i = 0; i < 400; ++i) {
        u.WeatherUpdate(1);
        for (int32_t w : u.WeatherDrift) {
            EXPECT_GE(w, -2);
            EXPECT_LE(w, 2);
        }
    }
    // Rain draws without touching anything outside the asked region.
    TVeRGBBits target(nullptr);
    target.SetBitDepth(bd32);
    ASSERT_TRUE(target.Create());
    u.WeatherKind = 1;
    u.WeatherInit();
    EXPECT_TRUE(u.WeatherDraw(true, &target, 100, 100, 100, 100, 50, 50));
    for (int y = 0; y < 480; y += 7)
        for (int x = 0; x < 640; x += 7)
            if (x < 100 || x >= 150 || y < 100 || y >= 150) {
                ASSERT_EQ(target.PGet(x, y), 0u);
            }
}

TEST(SceneStage, ALeavingSideFigureDrawsTheOtherSideToTheCentre)
{
    TSceneWorld world;
    world.Figure(4, 100, 300);
    world.Figure(5, 100, 300);
    EXPECT_FALSE(world.Start("push 5\npush 2\nsetchar\npush 4\npush 0\nsetchar\npush 0\nchangescene\n"
                             "push 0\npush 2\ncharout\nend"));
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({5});
    EXPECT_EQ(u.CharMove, 4);
    EXPECT_EQ(u.CharNo, (std::array<int, 3>{-1, 5, -1}));
    EXPECT_EQ(u.CharOutKind[0], 2);
    EXPECT_EQ(u.CharInKind[1], 3);
    EXPECT_EQ(u.CharCenter->OffsetX(), 270 + 160);  // starts at the right place
    EXPECT_TRUE(u.CharOutLeft->Visible());
    EXPECT_EQ(u.CharOutLevel[0], 128);
    world.Frames(8);
    EXPECT_EQ(u.CharCenter->OffsetX(), 270);
    EXPECT_FALSE(u.CharOutLeft->Visible());
}
