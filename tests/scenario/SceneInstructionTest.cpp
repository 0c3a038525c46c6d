// The scene instructions against the game records, the requests they leave and the sounds.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>

#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "game/Zbreadmes.h"
#include "scenario/Avgu.h"
#include "support/SceneFixtures.h"

namespace {

// Runs body then end; the stack holds what the body pushed.
void RunToEnd(TSceneWorld& world, const std::string& body)
{
    EXPECT_TRUE(world.Start(body + "\nend"));
    EXPECT_TRUE(world.Unit().IsHalted());
}

}  // namespace

TEST(SceneInstructions, GameDataAndLocals)
{
    {
        TSceneWorld world;
        RunToEnd(world,
                 "push 3\npush 5\nsetflag\npush 3\ngetflag\n"
                 "push 2\npush 7\nsetreg\npush 2\ngetreg\n"
                 "push 63\nincvar\npush 64\nincvar\npush 63\ngetvar\n"
                 "push 32\npush 9\nsetlocal\npush -1\ngetlocal\npush 31\npush 4\nsetlocal\n"
                 "push 0\nrandom\n"
                 "push 3\npush 5\nsetprogress");
        TAvgUnit& u = world.Unit();
        ASSERT_EQ(u.StackDepth(), 5u);
        EXPECT_EQ(u.StackValue(4), 1u);  // flag 3 set from 5
        EXPECT_EQ(u.StackValue(3), 1u);  // register stores 1 for 7
        EXPECT_EQ(u.StackValue(2), 1u);  // variable 63 counted up; 64 ignored
        EXPECT_EQ(u.StackValue(1), 0u);  // local -1
        EXPECT_EQ(static_cast<int32_t>(u.StackValue(0)), -1);  // Random(0)
        EXPECT_EQ(u.GetLocal(31), 4);
        EXPECT_EQ(SysData->FurthestEpisode, 3);
        EXPECT_EQ(SysData->FurthestScene, 5);
    }
    // Variables set and counted down, system flags by number, the game phase as a signed byte.
    TSceneWorld world;
    SetGamePhase(GameData, 0xF0);
    RunToEnd(world, "push 10\npush 1234\nsetvar\npush 10\ngetvar\npush 5\ndecvar\npush 5\ngetvar\n"
                    "push 4\npush 1\nsetsysflag\npush 4\ngetsysflag\npush 1\ngetsysflag\ngetphase");
    TAvgUnit& u = world.Unit();
    ASSERT_EQ(u.StackDepth(), 5u);
    EXPECT_EQ(u.StackValue(4), 1234u);
    EXPECT_EQ(static_cast<int32_t>(u.StackValue(3)), -1);
    EXPECT_EQ(u.StackValue(2), 1u);
    EXPECT_EQ(u.StackValue(1), 0u);
    EXPECT_EQ(static_cast<int32_t>(u.StackValue(0)), -16);
}

TEST(SceneInstructions, FurthestPointOnlyRises)
{
    // (episode, scene) written over the furthest point (episode, scene): what it becomes.
    const std::array<int, 6> cases[] = {
        {3, 5, 3, 2, 3, 5}, {3, 5, 4, 1, 4, 1}, {3, 6, 3, 7, 3, 7}, {4, 0, 3, 9, 4, 0}};
    for (const auto& c : cases) {
        TSceneWorld world;
        world.Script.Add("Main.Wps", SceneScript("push " + std::to_string(c[0]) + "\npush " +
                                                 std::to_string(c[1]) + "\nsetprogress\nend"));
        ASSERT_TRUE(world.Prepare());
        SysData->FurthestEpisode = c[2];
        SysData->FurthestScene = c[3];
        world.Script.StartFirst();
        EXPECT_EQ(SysData->FurthestEpisode, c[4]) << c[0] << " " << c[1];
        EXPECT_EQ(SysData->FurthestScene, c[5]) << c[0] << " " << c[1];
    }
}

TEST(SceneInstructions, CharacterRequestsMoveTheCentreFigureAside)
{
    {
        TSceneWorld world;
        RunToEnd(world, "push 7\npush 1\nsetchar\npush 5\npush 2\nsetchar");
        TAvgUnit& u = world.Unit();
        EXPECT_EQ(u.CharRequest, (std::array<int, 3>{7, -1, 5}));
        EXPECT_EQ(u.CharMove, 1);
        EXPECT_EQ(u.CharOrderRequest, (std::array<int, 3>{2, 1, 0}));
    }

    {
        // A figure for the left slot sends the centre figure right; one for the centre simply
        // replaces it. The slot that was second in the order comes first.
        TSceneWorld world;
        RunToEnd(world, "push 7\npush 1\nsetchar\npush 5\npush 0\nsetchar");
        TAvgUnit& u = world.Unit();
        EXPECT_EQ(u.CharRequest, (std::array<int, 3>{5, -1, 7}));
        EXPECT_EQ(u.CharMove, 2);
        EXPECT_EQ(u.CharOrderRequest, (std::array<int, 3>{0, 1, 2}));
    }
    {
        TSceneWorld world;
        RunToEnd(world, "push 7\npush 1\nsetchar\npush 8\npush 1\nsetchar");
        EXPECT_EQ(world.Unit().CharRequest, (std::array<int, 3>{-1, 8, -1}));
        EXPECT_EQ(world.Unit().CharMove, 0);
    }

    TSceneWorld other;
    RunToEnd(other, "push 4\npush 2\nsetchar\npush 0\nremovechar\npush 1\npush 9\nsetchar");
    EXPECT_EQ(other.Unit().CharRequest, (std::array<int, 3>{-1, 4, -1}));
    EXPECT_EQ(other.Unit().CharMove, 0);  // a slot outside 0..2 changes only the motion
}

TEST(SceneInstructions, SoundsVoicesAndCursor)
{
    TSceneWorld world;
    RunToEnd(world,
             "push 12\npush 1\nplaybgm\npush 3\npush 0\nplaybgmonce\npush 1\nstopbgm\n"
             "push 7\nplayse\npush 8\npush 1\nplayse2\nstopse\n"
             "push 1234567\nvoice\npush -5\nvoice\npush 1012345\nvoice\npush 1012999\nvoice\n"
             "raisecursor\nlowercursor\nlowercursor\nraisecursor\nraisecursor");
    EXPECT_EQ(world.Calls, (std::vector<std::string>{"bgm 12 loop cross", "bgm 3", "stopbgm fade", "se zbse007.adp",
                                                     "se2 zbse008.adp in", "stopse", "voice zb234567.adp",
                                                     // a negative id names no voice file
                                                     "voice zb-0005.adp", "voice zb12345.adp",
                                                     "voice zb12999.adp"}));
    EXPECT_EQ(world.Unit().VoicePack, 12);
    // The scene starts with the cursor raised once; 290 and 291 count only on a change.
    EXPECT_EQ(world.Unit().CursorCount, 1);
    EXPECT_TRUE(world.Unit().CursorRaised);
}

TEST(SceneInstructions, ConditionsOnlyPopPresentationOperands)
{
    TSceneWorld world;
    world.Script.Add("Main.Wps",
                     ".trigger Main group=0 priority=100\n"
                     "push 7\npush 1\nsetflag\nmes 1 2 \"x\"\npush 4\nbg\nselect \"a\\nb\"\n"
                     "push 9\nmesvoice 1 3 \"y\"\npush 8\nvoice\nmesend\nstopse\npush 0\neq\n.end\n"
                     ".function Main\nend\n");
    ASSERT_TRUE(world.Prepare());
    int script = -1;
    uint32_t entry = 0;
    world.Unit().SetTriggerGroup(0);
    ASSERT_TRUE(world.Unit().FindTrigger(script, entry));
    world.Unit().Message = "kept";
    // select pushed 0; the voices were popped; only the sound effects' stop acted
    EXPECT_TRUE(world.Unit().TestTrigger(script, entry));
    EXPECT_TRUE(GetGameFlag(GameData, 7));
    EXPECT_FALSE(ReadMesTable->IsRead(0x00010002));
    EXPECT_FALSE(ReadMesTable->IsRead(0x00010003));
    EXPECT_EQ(world.Unit().BGRequest, 999);
    EXPECT_EQ(world.Unit().Message, "kept");
    EXPECT_EQ(world.Calls, std::vector<std::string>{"stopse"});
}

TEST(SceneInstructions, WhiteAndBlackOutShowTheirPictures)
{
    for (const auto& [op, picture] : {std::pair<const char*, int>{"whiteout", 998}, {"blackout", 999}}) {
        TSceneWorld world;
        world.Start(std::string("push 0\n") + op + "\nend");
        for (int i = 0; i < 50 && !world.Unit().IsHalted(); ++i)
            world.Frames(1);
        EXPECT_TRUE(world.Unit().IsHalted()) << op;
        EXPECT_EQ(world.Unit().BGFileNo, picture) << op;
    }
}

TEST(SceneInstructions, EndingsCarryTheirResults)
{
    const std::pair<const char*, int> cases[] = {
        {"openingmovie", 8}, {"endingmovie", 9}, {"totitle", -1}, {"push 5\nchaptermovie", 1}, {"push 6\nminigame", 2}};
    for (const auto& [body, result] : cases) {
        TSceneWorld world;
        EXPECT_TRUE(world.Start(body));
        EXPECT_EQ(world.Script.Signals, std::vector<int32_t>{result}) << body;
    }
    ScriptValue = 41;
    BatonResult = 2;
    {
        TSceneWorld world;
        RunToEnd(world, "push 9\nchaptermovie");
        EXPECT_EQ(world.Unit().ResultValue, 9);
    }
    TSceneWorld values;
    RunToEnd(values, "scriptvalue\nbatonresult");
    EXPECT_EQ(values.Unit().StackValue(1), 41u);
    EXPECT_EQ(values.Unit().StackValue(0), 2u);
    ScriptValue = 0;
    BatonResult = 0;
}
