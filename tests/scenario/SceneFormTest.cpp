// A scene on the main form itself: its effect buffers, its transition record and the screen
// copy that starts a scene, with the recording display.
#include "game/GameFormHarness.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"
#include "support/SceneFixtures.h"

class SceneOnForm : public GameFormHarness {};

TEST_F(SceneOnForm, TransitionsRunOnTheFormsRecord)
{
    ASSERT_TRUE(StartForm());
    TSceneWorld world(true);
    world.Background(500);
    world.Script.Add("Main.Wps", SceneScript("push 500\nbg\npush 2\nchangescene1\npush 3\nchangescene\nend"));
    ASSERT_TRUE(world.Prepare());
    world.Script.StartFirst();
    TAvgUnit& u = world.Unit();
    ASSERT_EQ(u.Phase, 4);
    EXPECT_EQ(u.TransMode, 1);
    EXPECT_NE(u.TransImage, nullptr);
    EXPECT_FALSE(Form->IsTransitionIdle());
    const int frames = world.FramesUntilPhase({3});
    EXPECT_GT(frames, 1);
    EXPECT_EQ(u.TransImage, nullptr);
    EXPECT_TRUE(Form->IsTransitionIdle());
    // The whole-screen mode draws through the form's renderer: the scene's callbacks are in.
    world.Frames(1);
    ASSERT_EQ(u.Phase, 4);
    EXPECT_EQ(u.TransMode, 2);
    for (int i = 0; i < 100 && u.Phase == 4; ++i) {
        Form->Render(1);
        world.Frames(1);
    }
    EXPECT_EQ(u.Phase, 3);
    world.Frames(1);
    EXPECT_TRUE(u.IsHalted());
    EXPECT_EQ(world.Script.Signals, std::vector<int32_t>{0});
}
