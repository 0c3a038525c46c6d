// The scheduler's phases: waits, shakes, transitions, messages with skipping and the backlog,
// choices and the in-game menu, driven frame by frame as the main form would.
#include <gtest/gtest.h>

#include "game/Zbdata.h"
#include "game/Zbreadmes.h"
#include "panels/Vergbbtn.h"
#include "panels/Vergbpanel.h"
#include "platform/Codepage.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"
#include "support/SceneFixtures.h"

namespace {

void Click(TAvgUnit& u, TMouseButton button = mbLeft)
{
    u.BGPanelMouseDown(nullptr, button, TShiftState(), 10, 10);
}

void Key(TAvgUnit& u, Word key, bool down = true)
{
    if (down)
        u.AvgPanelKeyDown(nullptr, key, TShiftState());
    else
        u.AvgPanelKeyUp(nullptr, key, TShiftState());
}

// Frames until the script halts; the frames taken.
int FramesToHalt(TSceneWorld& world, int limit = 200)
{
    for (int i = 0; i < limit; ++i) {
        if (world.Unit().IsHalted())
            return i;
        world.Frames(1);
    }
    ADD_FAILURE() << "the scene did not end";
    return limit;
}

}  // namespace

TEST(SceneFlow, WaitsCountStepsAndClicksSkipThem)
{
    TSceneWorld world;
    world.Start("push 0\nwait\npush 5\nwait\npush 2147483647\nwait\nend");
    TAvgUnit& u = world.Unit();
    EXPECT_EQ(u.Phase, 10);
    u.SkipOnce = true;
    u.FrameUpdate(0);  // no steps: nothing at all
    EXPECT_TRUE(u.SkipOnce);
    u.SkipOnce = false;
    world.Frames(1);
    EXPECT_EQ(u.Phase, 3);
    world.Frames(1);
    EXPECT_EQ(u.WaitCount, 5);
    world.Frames(1, 3);
    EXPECT_EQ(u.Phase, 10);
    Click(u);  // a click in phase 10 ends the wait in the same frame's update
    EXPECT_TRUE(u.SkipOnce);
    world.Frames(1);
    EXPECT_EQ(u.Phase, 3);
    EXPECT_FALSE(u.SkipOnce);
    world.Frames(1);
    world.Frames(500, 1000);  // for ever: never counts down
    EXPECT_EQ(u.Phase, 10);
    EXPECT_EQ(u.WaitCount, 2147483647);
    Key(u, 17);
    world.Frames(2);
    EXPECT_TRUE(u.IsHalted());
    EXPECT_EQ(world.Script.Signals, std::vector<int32_t>{0});
}

TEST(SceneFlow, ShakesLastTheirStepsAndAreSkipped)
{
    for (const auto& [kind, frames] : {std::pair{3, 12}, std::pair{0, 18}, std::pair{1, 18}, std::pair{2, 18}}) {
        TSceneWorld world;
        world.Start("push " + std::to_string(kind) + "\nshake\nend");
        TAvgUnit& u = world.Unit();
        EXPECT_EQ(u.Phase, 11);
        int n = 0;
        while (u.Phase == 11 && n < 50) {
            world.Frames(1);
            if (kind == 3 && n == 8) {
                EXPECT_EQ(u.ShakeY, -32);
            }
            ++n;
        }
        EXPECT_EQ(n, frames) << kind;
        EXPECT_EQ(u.ShakeImage, nullptr);
    }
    {
        // While skipping the shake is left out; an unknown kind does nothing.
        TSceneWorld world;
        world.Start("push 0\nwait\npush 0\nshake\npush 9\nshake\nend");
        Key(world.Unit(), 17);
        world.Frames(2);
        EXPECT_TRUE(world.Unit().IsHalted());
    }
    // A refused white flash changes nothing.
    TSceneWorld flash;
    flash.Accept = false;
    EXPECT_TRUE(flash.Start("push 4\nshake\nend"));
    EXPECT_EQ(flash.Effects, std::vector<int>{1});
}

TEST(SceneFlow, WhiteFlashFadesToWhiteAndBack)
{
    TSceneWorld world;
    world.Idle = false;
    world.Start("push 4\nshake\nend");
    TAvgUnit& u = world.Unit();
    EXPECT_EQ(u.Phase, 11);
    world.Frames(3);
    EXPECT_EQ(u.Phase, 11);
    world.Idle = true;
    world.Frames(1);
    EXPECT_EQ(world.Effects, (std::vector<int>{1, 1}));
    EXPECT_EQ(u.Phase, 11);
    world.Frames(1);
    EXPECT_EQ(u.Phase, 3);
}

TEST(SceneFlow, SceneChangesPickTheirEffectAndMode)
{
    for (const auto& [number, effect, mode] :
         {std::tuple{19, 101, 2}, std::tuple{21, 100, 2}, std::tuple{9, 4, 0}, std::tuple{3, 0, 2}, std::tuple{40, 0, 2}}) {
        TSceneWorld world;
        world.Idle = false;
        world.Start("push 998\npush " + std::to_string(number) + "\nbgchange\nend");
        TAvgUnit& u = world.Unit();
        EXPECT_EQ(world.Effects, std::vector<int>{effect}) << number;
        EXPECT_EQ(u.TransMode, mode) << number;
        EXPECT_EQ(u.Phase, 4);
        world.Frames(5);
        EXPECT_EQ(u.Phase, 4);
        world.Idle = true;
        world.Frames(1);
        EXPECT_EQ(u.Phase, 3);
        world.Frames(1);
        EXPECT_TRUE(u.IsHalted());
    }
    {
        // In the background panel: the figures are part of the pictures meanwhile.
        TSceneWorld inPanel;
        inPanel.Figure(4, 100, 300);
        inPanel.Idle = false;
        inPanel.Start("push 4\npush 0\nsetchar\npush 19\nchangescene1\nend");
        TAvgUnit& u = inPanel.Unit();
        EXPECT_EQ(u.TransMode, 1);
        EXPECT_FALSE(u.CharLeft->Visible());
        EXPECT_NE(u.TransImage, nullptr);
        Click(u);  // a click skips the rest
        inPanel.Frames(1);
        EXPECT_TRUE(u.CharLeft->Visible());
        EXPECT_EQ(u.TransImage, nullptr);
    }
    // Refused, or while skipping: at once, with a one-frame wait.
    TSceneWorld refused;
    refused.Accept = false;
    refused.Start("push 19\nchangescene\nend");
    EXPECT_EQ(refused.Unit().Phase, 10);
    EXPECT_EQ(refused.Unit().TransKind, 0);
}

TEST(SceneFlow, MessagesOpenTypeWaitAndContinue)
{
    TSceneWorld world;
    world.Script.Add("Main.Wps", ".scenario 1\n" + SceneScript("push 0\nmesvoice 1 1 \"Hello\"\nmes 1 2 \"Again\"\nmesend\nend"));
    ASSERT_TRUE(world.Prepare());
    world.Script.StartFirst();
    TAvgUnit& u = world.Unit();
    // voice id 0 plays voice 0 of archive 0
    EXPECT_EQ(world.Calls, std::vector<std::string>{"voice zb00000.adp"});
    EXPECT_TRUE(ReadMesTable->IsRead(0x00010001));
    EXPECT_EQ(u.Phase, 6);
    world.FramesUntilPhase({9});
    EXPECT_EQ(u.Message, "Hello");
    Click(u);  // continues; the script resumes in the same frame's update
    EXPECT_EQ(u.Phase, 3);
    world.Frames(1);
    EXPECT_EQ(u.Phase, 8);
    world.FramesUntilPhase({9});
    Key(u, 13);
    world.Frames(1);  // mesend: the window closes
    EXPECT_EQ(u.Phase, 7);
    EXPECT_TRUE(u.Message.empty());
    FramesToHalt(world);
    EXPECT_EQ(u.BackLogCount, 2);
    EXPECT_EQ(u.BackLogEntry(0), "Again");
    EXPECT_EQ(u.BackLogEntry(1), "Hello");
}

TEST(SceneFlow, SkipModePassesOnlyReadMessages)
{
    TSceneWorld world;
    world.Script.Add("Main.Wps", ".scenario 2\n" + SceneScript("mes 2 1 \"a\"\nmes 2 2 \"b\"\nmes 2 3 \"c\"\nend"));
    ASSERT_TRUE(world.Prepare());
    ReadMesTable->SetRead(0x00020002);
    world.Script.StartFirst();
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({9});
    u.OnSkip();
    EXPECT_TRUE(u.SkipMode);
    world.Frames(1);
    world.FramesUntilPhase({9});  // "b" was read: passed over
    EXPECT_EQ(u.Message, "c");
    EXPECT_FALSE(u.SkipMode);  // the unread one stopped it
    EXPECT_EQ(u.BackLogEntry(0), "b");
}

TEST(SceneFlow, CtrlPassesEverythingWithoutVoices)
{
    TSceneWorld world;
    world.Start("push 0\nwait\npush 1012345\nmesvoice 3 1 \"x\"\npush 7\nplayse\nend");
    TAvgUnit& u = world.Unit();
    Key(u, 17);
    const int frames = FramesToHalt(world);
    EXPECT_LE(frames, 5);
    EXPECT_TRUE(world.Calls.empty()) << world.Calls.front();
    Key(u, 17, false);
    EXPECT_FALSE(u.CtrlSkip);
}

TEST(SceneFlow, BacklogKeepsTwentyAndReturnsWhereItCameFrom)
{
    TSceneWorld world;
    world.Start("mes 4 1 \"last\"\nend");
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({9});
    for (int i = 0; i < 21; ++i) {
        u.Message = "m" + std::to_string(i);
        u.PushBackLog();
    }
    EXPECT_EQ(u.BackLogCount, 20);
    EXPECT_EQ(u.BackLogEntry(0), "m20");
    EXPECT_EQ(u.BackLogEntry(19), "m1");
    u.Message = "last";

    // From a message: mode 1, straight in and back.
    u.OpenBackLog();
    EXPECT_EQ(u.Phase, 16);
    EXPECT_EQ(u.BackLogMode, 1);
    EXPECT_TRUE(u.BackLogWin->Visible());
    u.ShowBackLogEntry(25);
    EXPECT_EQ(u.BackLogView, 19);
    EXPECT_FALSE(u.BLBackBtn->Enabled());
    EXPECT_TRUE(u.BLNextBtn->Enabled());
    u.BackLogNewer();
    EXPECT_EQ(u.BackLogView, 18);
    u.OnMesWinClick();
    EXPECT_EQ(u.Phase, 9);
    EXPECT_FALSE(u.BackLogWin->Visible());

    // From a hidden window: the window opens for the backlog and closes again after it.
    u.OnLook();
    world.FramesUntilPhase({15});
    u.OpenBackLog();
    EXPECT_EQ(u.BackLogMode, 2);
    world.FramesUntilPhase({16});
    u.CloseBackLog();
    world.FramesUntilPhase({15});
    EXPECT_EQ(u.BackLogMode, 0);
    Click(u);  // a click reopens the window
    world.FramesUntilPhase({9});
    EXPECT_FALSE(u.MesHidden);
}

TEST(SceneFlow, EmptyBacklogShowsNothing)
{
    TSceneWorld world;
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    u.ShowBackLogEntry(3);
    EXPECT_EQ(u.BackLogView, 0);
    EXPECT_FALSE(u.BLBackBtn->Enabled());
    EXPECT_FALSE(u.BLNextBtn->Enabled());
    u.Message = "only";
    u.PushBackLog();
    u.ShowBackLogEntry(0);
    EXPECT_FALSE(u.BLBackBtn->Enabled());
    EXPECT_FALSE(u.BLNextBtn->Enabled());
}

TEST(SceneFlow, ChoicesPushThePickedLine)
{
    TSceneWorld world;
    world.Start("select \"yes\\nno\\nmaybe\"\nselect \"\"\nend");
    TAvgUnit& u = world.Unit();
    EXPECT_EQ(u.Phase, 12);
    EXPECT_EQ(u.CursorCount, 2);
    world.FramesUntilPhase({14});
    Key(u, 40);
    Key(u, 40);
    Key(u, 40);  // no wrap past the last line
    Key(u, 32);  // Space takes no choice
    EXPECT_EQ(u.Phase, 14);
    Key(u, 13);
    EXPECT_EQ(u.Phase, 13);
    EXPECT_EQ(u.CursorCount, 1);
    FramesToHalt(world);
    ASSERT_EQ(u.StackDepth(), 2u);
    EXPECT_EQ(u.StackValue(1), 2u);
    EXPECT_EQ(u.StackValue(0), 0u);  // no lines: 0 at once
}

TEST(SceneFlow, MenuOpensOnlyWhereItMayAndEndsTheScene)
{
    TSceneWorld world;
    world.Start("mes 5 1 \"a\"\nmes 5 2 \"b\"\nend");
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({9});
    Click(u);
    world.FramesUntilPhase({8});
    Click(u, mbRight);  // typing: no menu from the background
    EXPECT_EQ(u.MenuState, 0);
    u.OnMesRightClick();  // from the window: the menu, without its first three items
    EXPECT_EQ(u.MenuState, 1);
    EXPECT_FALSE(PopupWin->MenuButton(0)->Enabled());
    EXPECT_FALSE(PopupWin->MenuButton(2)->Enabled());
    EXPECT_TRUE(PopupWin->MenuButton(4)->Enabled());
    const int phase = u.Phase;
    world.Frames(10);
    EXPECT_EQ(u.MenuState, 2);
    EXPECT_EQ(u.Phase, phase);  // nothing advances under the menu
    Key(u, 17, false);
    PopupWin->MenuButton(4)->CallOnClick();
    EXPECT_EQ(u.MenuState, 3);
    world.Frames(10);
    EXPECT_EQ(u.MenuState, 0);
    EXPECT_TRUE(u.IsHalted());
    EXPECT_EQ(world.Script.Signals, std::vector<int32_t>{-1});
}

TEST(SceneFlow, ExpandMessageEscapes)
{
    TSceneWorld world;
    ASSERT_TRUE(world.Prepare());
    TAvgUnit& u = world.Unit();
    u.SetLocal(0, 7);
    u.SetLocal(3, 120);
    u.SetLocal(5, -45);
    // Digits, minus sign and names in the message's own code page: GB2312 by default.
    EXPECT_EQ(u.ExpandMessage("a%d3b"), "a\xA3\xB1\xA3\xB2\xA3\xB0" "b");
    EXPECT_EQ(u.ExpandMessage("a%db"), "a\xA3\xB7" "b");
    EXPECT_EQ(u.ExpandMessage("%d40x"), "\xA3\xB0" "x");
    EXPECT_EQ(u.ExpandMessage("%d5."), "\xA3\xAD\xA3\xB4\xA3\xB5.");
    // The scan goes on behind the inserted digits, whose trail bytes are lead bytes here.
    EXPECT_EQ(u.ExpandMessage("%d3%d5."), "\xA3\xB1\xA3\xB2\xA3\xB0\xA3\xAD\xA3\xB4\xA3\xB5.");
    EXPECT_EQ(u.ExpandMessage("%d3%ns."), "\xA3\xB1\xA3\xB2\xA3\xB0\xC1\xD6\xC3\xF7.");
    EXPECT_EQ(u.ExpandMessage("\xD6\xD0%d3"), "\xD6\xD0\xA3\xB7" "3");  // the last byte is never read as a digit
    EXPECT_EQ(u.ExpandMessage("\xD6\xD0%d3."), "\xD6\xD0\xA3\xB1\xA3\xB2\xA3\xB0.");
    EXPECT_EQ(u.ExpandMessage("x%n"), "x%n");
    EXPECT_EQ(u.ExpandMessage("%nsX"), "\xC1\xD6\xC3\xF7X");
    EXPECT_EQ(u.ExpandMessage("%nX"), "\xC3\xF7X");
    EXPECT_EQ(u.ExpandMessage("%d99999999999999x"), "\xA3\xB0" "x");
    SetSystemCodePage(932);
    EXPECT_EQ(u.ExpandMessage("a%d3b"), "a\x82\x50\x82\x51\x82\x4F" "b");
    EXPECT_EQ(u.ExpandMessage("%d3%d5."), "\x82\x50\x82\x51\x82\x4F\x81\x7C\x82\x53\x82\x54.");
    EXPECT_EQ(u.ExpandMessage("%nsX"), "\x97\xD1\x96\xBE" "X");
    SetSystemCodePage(936);
    u.SetLocal(1, 12345);  // no text reference: the escape stays
    EXPECT_EQ(u.ExpandMessage("%s1."), "%s1.");
}

TEST(SceneFlow, ExitConfirmationAndTextReferences)
{
    TSceneWorld world;
    world.Start("push 2\npushstr \"Ann\"\nsetlocal\nmes 1 1 \"Hi %s2!\"\nend");
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({9});
    EXPECT_EQ(u.Message, "Hi Ann!");
    Key(u, 17);  // Ctrl held: the menu's opening lets go of it
    Click(u, mbRight);
    EXPECT_FALSE(u.CtrlSkip);
    world.Frames(5);
    PopupWin->MenuButton(5)->CallOnClick();
    world.Frames(5);
    EXPECT_EQ(u.MenuState, 0);
    EXPECT_EQ(u.CursorCount, 2);
    PopupWin->ExitBtnNoClick(nullptr);  // no: the scene stays where it was
    EXPECT_EQ(u.Phase, 9);
    EXPECT_EQ(u.CursorCount, 1);
    EXPECT_TRUE(world.Script.Signals.empty());
    Click(u, mbRight);
    world.Frames(5);
    PopupWin->MenuButton(5)->CallOnClick();
    world.Frames(5);
    PopupWin->ExitBtnYesClick(nullptr);
    EXPECT_TRUE(u.IsHalted());
    EXPECT_EQ(world.Script.Signals, std::vector<int32_t>{16});
}

TEST(SceneFlow, TextReferencesHoldWhileTheirScriptIsLoaded)
{
    TSceneWorld world;
    // A name stored in Main is out of reach while Other runs, and good again once the return
    // has reloaded Main, also inside a function of Main called by name; a name stored in Other
    // is out of reach back in Main.
    world.Script.Add("Other.Wps", ".function F\nmes 1 2 \"O %s0.\"\npush 1\npushstr \"Bob\"\nsetlocal\nret\n");
    world.Start("push 0\npushstr \"Ann\"\nsetlocal\ncall_l \"Other::F\"\nmes 1 3 \"M %s0 %s1.\"\n"
                "call_l \"Main::Sub\"\nend\n.function Sub\nmes 1 4 \"S %s0.\"\nret");
    TAvgUnit& u = world.Unit();
    std::vector<std::string> shown;
    for (int i = 0; i < 3 && !u.IsHalted(); ++i) {
        world.FramesUntilPhase({9});
        shown.push_back(u.Message);
        Click(u);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"O %s0.", "M Ann %s1.", "S Ann."}));
    FramesToHalt(world);
}
