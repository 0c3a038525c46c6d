#include <gtest/gtest.h>

#include <utility>

#include "game/Zbdef.h"
#include "support/ScriptFixtures.h"

namespace {

using TCandidate = std::pair<int, uint32_t>;

std::vector<TCandidate> AllCandidates(TAvgUnit& unit, uint8_t group)
{
    std::vector<TCandidate> found;
    unit.SetTriggerGroup(group);
    int script = -1;
    uint32_t entry = 0;
    while (unit.FindTrigger(script, entry) && found.size() < 100)
        found.emplace_back(script, entry);
    return found;
}

// Condition of a trigger of group 0 whose truth is asked of the unit.
bool Condition(const std::string& code, TScriptWorld& world)
{
    world.Add("A.Wps", ".trigger F group=0 priority=100\n" + code + "\n.end\n.function F\nend\n");
    EXPECT_TRUE(world.Init());
    return world.Unit().TestTrigger(0, 0);
}

bool Condition(const std::string& code)
{
    TScriptWorld world;
    return Condition(code, world);
}

}  // namespace

TEST(TriggerSelection, DescendingPriorityThenTableOrder)
{
    TScriptWorld world;
    // Entries are 14 bytes: 12 fixed and a 2-byte condition.
    world.Add("A.Wps",
              ".trigger F group=1 priority=50\nnop\n.end\n"
              ".trigger F group=1 priority=100\nnop\n.end\n"
              ".trigger F group=2 priority=100\nnop\n.end\n"
              ".function F\nend\n");
    world.Add("B.Wps",
              ".trigger F group=1 priority=120\nnop\n.end\n"
              ".trigger F group=2 priority=99\nnop\n.end\n"
              ".trigger F group=1 priority=100\nnop\n.end\n"
              ".trigger F group=128 priority=100\nnop\n.end\n"
              ".function F\nend\n");
    ASSERT_TRUE(world.Init());
    TAvgUnit& unit = world.Unit();
    EXPECT_EQ(AllCandidates(unit, 1), (std::vector<TCandidate>{{0, 14}, {1, 28}, {0, 0}}));
    EXPECT_EQ(unit.TriggerGroup(), 0xFF);
    int script = 7;
    uint32_t entry = 9;
    EXPECT_FALSE(unit.FindTrigger(script, entry));
    EXPECT_EQ(script, 7);

    EXPECT_EQ(AllCandidates(unit, 2), (std::vector<TCandidate>{{0, 28}, {1, 14}}));
    EXPECT_TRUE(AllCandidates(unit, 3).empty());
    EXPECT_EQ(unit.TriggerGroup(), 0xFF);
    // A group read as negative has nothing, whatever the entries say.
    EXPECT_TRUE(AllCandidates(unit, 0x80).empty());
    // A new selection hands the same candidates out again.
    EXPECT_EQ(AllCandidates(unit, 2).size(), 2u);
}

TEST(TriggerSelection, PriorityZeroIsReachedAndHighPrioritiesNever)
{
    TScriptWorld world;
    world.Add("A.Wps",
              ".trigger F group=4 priority=0\n.end\n"
              ".trigger F group=4 priority=101\n.end\n"
              ".trigger F group=4 priority=255\n.end\n"
              ".trigger F group=4 priority=1\n.end\n"
              ".function F\nend\n");
    ASSERT_TRUE(world.Init());
    EXPECT_EQ(AllCandidates(world.Unit(), 4), (std::vector<TCandidate>{{0, 36}, {0, 0}}));
}

TEST(TriggerSelection, ConditionsTakeTheTopValue)
{
    EXPECT_TRUE(Condition("push 1"));
    EXPECT_TRUE(Condition("push 0\npush 5"));
    EXPECT_FALSE(Condition("push 5\npush 0"));
    EXPECT_FALSE(Condition(""));
    EXPECT_FALSE(Condition("push 1\npop"));
    EXPECT_TRUE(Condition("push 7\nend\npush 0"));  // a halt ends the condition early
    EXPECT_FALSE(Condition("end\npush 1"));
    EXPECT_FALSE(Condition("ret\npush 1"));
    EXPECT_TRUE(Condition("push 2\npush 3\nlt"));
    // Jumping past the condition's end ends it.
    EXPECT_FALSE(Condition("jmp 100\npush 1"));
    // A call inside the condition returns inside it.
    EXPECT_TRUE(Condition("call Sub\njmp Done\nSub:\npush 1\nret\nDone:\npush 1"));
    // The condition begins behind the entry's data, which is never run (here: a push of 0).
    TScriptWorld world;
    world.Add("A.Wps", ".trigger F group=0 priority=100 data=0x010000000000\npush 1\n.end\n.function F\nend\n");
    ASSERT_TRUE(world.Init());
    EXPECT_TRUE(world.Unit().TestTrigger(0, 0));
}

TEST(TriggerSelection, ConditionsLeaveTheMachineAsTheyFoundIt)
{
    TScriptWorld world;
    // A scene that halts inside a called function leaves a frame and values behind.
    world.Add("A.Wps",
              ".trigger F group=0 priority=100\n.end\n"
              ".trigger F group=1 priority=100\npush 3\npush 4\ncall Sub\nSub:\nend\n.end\n"
              ".trigger F group=2 priority=100\nret\npush 1\n.end\n"
              ".function F\npush 1\ncall G\nG:\npush 2\nend\n");
    ASSERT_TRUE(world.Init());
    ASSERT_TRUE(world.StartFirst());
    TAvgUnit& unit = world.Unit();
    ASSERT_EQ(unit.StackDepth(), 2u);
    ASSERT_EQ(unit.CallDepth(), 1u);

    EXPECT_TRUE(unit.TestTrigger(0, 12));
    EXPECT_EQ(unit.StackDepth(), 2u);
    EXPECT_EQ(unit.CallDepth(), 1u);
    // A top-level return of a condition does not pop the scene's frame.
    EXPECT_FALSE(unit.TestTrigger(0, 44));
    EXPECT_EQ(unit.CallDepth(), 1u);
    EXPECT_EQ(unit.StackValue(0), 2u);
    EXPECT_EQ(unit.Phase, 0);
    EXPECT_EQ(unit.CurrentScript(), -1);
    EXPECT_TRUE(unit.InEvalMode());
    // A start leaves evaluation mode and begins with empty stacks.
    unit.StartScript(0, 0);
    EXPECT_FALSE(unit.InEvalMode());
    EXPECT_EQ(unit.StackDepth(), 2u);
    EXPECT_EQ(unit.CallDepth(), 1u);
}

TEST(TriggerSelection, ConditionErrorsEndTheStory)
{
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"pop", {"ExecCode Stack is empty", "ExecCode Exception Error", "Script Error in ExecCode"}},
        {"call_l \"F\"", {"ExecCode_CALL_L in Condition", "ExecCode Exception Error", "Script Error in ExecCode"}},
        {"jmp -2", {"ExecCode out of Code", "ExecCode Exception Error", "Script Error in ExecCode"}},
        {"again:\njmp again", {"EvalCode Step over", "Script Error in ExecCode"}},
        {"push 1\n.u16 1", {"ExecCode out of Code", "ExecCode Exception Error", "Script Error in ExecCode"}},
    };
    for (const auto& [code, lines] : cases) {
        TScriptWorld world;
        world.Add("A.Wps", ".trigger F group=0 priority=100\n" + std::string(code) + "\n.end\n.function F\nend\n");
        ASSERT_TRUE(world.Init());
        world.Unit().EvalBudget = 1000;
        world.MarkLog();
        EXPECT_THROW(world.Unit().TestTrigger(0, 0), EGameErr) << code;
        EXPECT_EQ(world.Log(), lines) << code;
        EXPECT_EQ(world.Unit().Phase, 0) << code;  // the trigger test is over
        EXPECT_EQ(world.Unit().StackDepth(), 0u);
        EXPECT_EQ(world.Unit().CallDepth(), 0u);
    }
}

TEST(TriggerSelection, TestOfAPlaceThatIsNoEntryIsFalse)
{
    TScriptWorld world;
    world.Add("A.Wps", ".trigger F group=0 priority=100\npush 1\n.end\n.function F\nend\n");
    ASSERT_TRUE(world.Init());
    TAvgUnit& unit = world.Unit();
    EXPECT_TRUE(unit.TestTrigger(0, 0));
    EXPECT_FALSE(unit.TestTrigger(0, 6));   // inside the entry
    EXPECT_FALSE(unit.TestTrigger(0, 18));  // the block's end
    EXPECT_FALSE(unit.TestTrigger(1, 0));
    EXPECT_FALSE(unit.TestTrigger(-1, 0));
    // Nor does a start of such a place run anything, or leave the flow waiting.
    EXPECT_TRUE(unit.StartScript(0, 6));
    EXPECT_TRUE(unit.IsHalted());
    EXPECT_TRUE(unit.StartScript(5, 0));
    EXPECT_TRUE(unit.IsHalted());
    EXPECT_TRUE(world.Signals.empty());

    // After the scenario is released no place is an entry: nothing is selected or run.
    unit.FreeScenario();
    EXPECT_EQ(unit.ScriptCount(), 0);
    int script = 7;
    uint32_t entry = 9;
    unit.SetTriggerGroup(0);
    EXPECT_FALSE(unit.FindTrigger(script, entry));
    EXPECT_EQ(unit.TriggerGroup(), 0xFF);
    EXPECT_FALSE(unit.TestTrigger(0, 0));
    EXPECT_TRUE(unit.StartScript(0, 0));
    EXPECT_TRUE(unit.IsHalted());
    EXPECT_TRUE(world.Signals.empty());
}
