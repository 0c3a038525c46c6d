#include <gtest/gtest.h>

#include <climits>

#include "game/Zbdef.h"
#include "support/ScriptFixtures.h"

namespace {

// One script whose only trigger starts function Main; extra is appended as more functions.
std::string Scene(const std::string& body, const std::string& extra = std::string())
{
    return ".trigger Main group=0 priority=100\n.end\n.function Main\n" + body + "\n" + extra;
}

// Runs the scene and answers the value on top of the stack after it halted.
int32_t TopAfter(const std::string& body)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene(body + "\nend"));
    EXPECT_TRUE(world.Init());
    EXPECT_TRUE(world.StartFirst());
    EXPECT_EQ(world.Unit().StackDepth(), 1u) << body;
    return static_cast<int32_t>(world.Unit().StackValue(0));
}

// Runs the scene expecting a script error; answers the error log.
std::vector<std::string> ErrorOf(TScriptWorld& world)
{
    EXPECT_TRUE(world.Init());
    world.MarkLog();
    EXPECT_THROW(world.StartFirst(), EGameErr);
    EXPECT_TRUE(world.Unit().IsHalted());
    EXPECT_TRUE(world.Signals.empty());
    return world.Log();
}

std::vector<std::string> ThreeLines(const std::string& first)
{
    return {first, "ExecCode Exception Error", "Script Error in ExecCode"};
}

}  // namespace

TEST(ScriptMachine, ArithmeticIsSignedAndWrapsAt32Bits)
{
    EXPECT_EQ(TopAfter("push 7\npush 2\ndiv"), 3);
    EXPECT_EQ(TopAfter("push -7\npush 2\ndiv"), -3);
    EXPECT_EQ(TopAfter("push -7\npush 2\nmod"), -1);
    EXPECT_EQ(TopAfter("push 7\npush -2\nmod"), 1);
    EXPECT_EQ(TopAfter("push 1\npush 2\nswap\nsub"), 1);
    // Each comparison below, above and at equality, with a signed pair.
    EXPECT_EQ(TopAfter("push -1\npush 1\nlt"), 1);
    EXPECT_EQ(TopAfter("push 3\npush 3\nlt"), 0);
    EXPECT_EQ(TopAfter("push 1\npush -1\nlt"), 0);
    EXPECT_EQ(TopAfter("push 1\npush -1\nle"), 0);
    EXPECT_EQ(TopAfter("push 3\npush 3\nle"), 1);
    EXPECT_EQ(TopAfter("push -1\npush 1\nle"), 1);
    EXPECT_EQ(TopAfter("push -1\npush 1\ngt"), 0);
    EXPECT_EQ(TopAfter("push 3\npush 3\ngt"), 0);
    EXPECT_EQ(TopAfter("push 1\npush -1\ngt"), 1);
    EXPECT_EQ(TopAfter("push 3\npush 3\nge"), 1);
    EXPECT_EQ(TopAfter("push -1\npush 1\nge"), 0);
    EXPECT_EQ(TopAfter("push 1\npush -1\nge"), 1);
    EXPECT_EQ(TopAfter("push 3\npush 3\neq"), 1);
    EXPECT_EQ(TopAfter("push 3\npush 4\neq"), 0);
    EXPECT_EQ(TopAfter("push 4\npush 3\neq"), 0);
    EXPECT_EQ(TopAfter("push 3\npush 4\nne"), 1);
    EXPECT_EQ(TopAfter("push 4\npush 3\nne"), 1);
    EXPECT_EQ(TopAfter("push 3\npush 3\nne"), 0);
    EXPECT_EQ(TopAfter("push 2\npush 0\nand"), 0);
    EXPECT_EQ(TopAfter("push 0\npush 5\nand"), 0);
    EXPECT_EQ(TopAfter("push 2\npush 5\nand"), 1);
    EXPECT_EQ(TopAfter("push 0\npush -3\nor"), 1);
    EXPECT_EQ(TopAfter("push 4\npush 0\nor"), 1);
    EXPECT_EQ(TopAfter("push 0\npush 0\nor"), 0);
    EXPECT_EQ(TopAfter("push 0\nnot"), 1);
    EXPECT_EQ(TopAfter("push 9\nnot"), 0);
    EXPECT_EQ(TopAfter("push -9\nplus"), -9);
    EXPECT_EQ(TopAfter("push 5\nneg"), -5);
    EXPECT_EQ(TopAfter("push 0x80000000\nneg"), INT_MIN);
    EXPECT_EQ(TopAfter("push 0x7fffffff\npush 1\nadd"), INT_MIN);
    EXPECT_EQ(TopAfter("push 0x80000000\npush 1\nsub"), INT_MAX);
    EXPECT_EQ(TopAfter("push 0x10000\npush 0x10001\nmul"), 0x10000);
    EXPECT_EQ(TopAfter("push -3\npush 4\nmul"), -12);
    EXPECT_EQ(TopAfter("push 6\npush -1\ndiv"), -6);
    EXPECT_EQ(TopAfter("push 0x80000000\npush -1\ndiv"), INT_MIN);
    EXPECT_EQ(TopAfter("push 0x80000000\npush -1\nmod"), 0);
    EXPECT_EQ(TopAfter("push 4\ndup\nmul"), 16);
    EXPECT_EQ(TopAfter("push 4\npush 5\npop"), 4);
}

TEST(ScriptMachine, DivisionByZeroLogsAndGoesOn)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("push 5\npush 0\ndiv\npush -5\npush 0\ndiv\npush -5\npush 0\nmod\n"
                                "push 0\npush 0\ndiv\nend"));
    ASSERT_TRUE(world.Init());
    EXPECT_TRUE(world.StartFirst());
    ASSERT_EQ(world.Unit().StackDepth(), 4u);
    EXPECT_EQ(world.Unit().StackValue(3), 0xFFFFFFFFu);
    EXPECT_EQ(world.Unit().StackValue(2), 0u);
    EXPECT_EQ(world.Unit().StackValue(1), 0u);
    EXPECT_EQ(world.Unit().StackValue(0), 0xFFFFFFFFu);  // 0 is not negative
    EXPECT_EQ(world.Log(), std::vector<std::string>(4, "Division by zero"));
    EXPECT_EQ(world.Signals, std::vector<int32_t>{0});
}

TEST(ScriptMachine, JumpsCountFromTheJumpingInstruction)
{
    // A distance of 6 steps over nothing; a forward jump skips; a conditional jump pops.
    EXPECT_EQ(TopAfter("push 1\njmp 6\npush 2\nadd"), 3);
    EXPECT_EQ(TopAfter("push 1\njmp over\npush 100\nover:\npush 2\nadd"), 3);
    EXPECT_EQ(TopAfter("push 10\npush 0\njz skip\npush 100\nskip:\nplus"), 10);
    EXPECT_EQ(TopAfter("push 10\npush 0\njnz skip\npush 100\nadd\nskip:\nplus"), 110);
    // A countdown loop: backward distances.
    EXPECT_EQ(TopAfter("push 0\npush 5\nloop:\nswap\npush 2\nadd\nswap\npush 1\nsub\ndup\njnz loop\npop"), 10);
}

TEST(ScriptMachine, EndlessLoopYieldsTheFrameInsteadOfFreezing)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("self:\njmp 0\nend"));
    ASSERT_TRUE(world.Init());
    world.Unit().RunBudget = 1000;
    world.MarkLog();
    EXPECT_FALSE(world.StartFirst());
    EXPECT_EQ(world.Unit().Phase, 3);
    EXPECT_FALSE(world.Unit().IsHalted());
    const uint32_t at = world.Unit().InstructionOffset();
    EXPECT_FALSE(world.Unit().Run());
    EXPECT_EQ(world.Unit().InstructionOffset(), at);
    EXPECT_TRUE(world.Signals.empty());
    // One line per scene names the script, however many frames the loop takes.
    std::vector<std::string> log = world.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Run Step over [Main.Wps ", 0), 0u) << log[0];
    EXPECT_FALSE(world.StartFirst());
    EXPECT_EQ(world.Log().size(), 2u);

    // The budget counts instructions: three per run here.
    TScriptWorld counted;
    counted.Add("Main.Wps", Scene("push 1\npush 2\npush 3\npush 4\nend"));
    ASSERT_TRUE(counted.Init());
    counted.Unit().RunBudget = 3;
    EXPECT_FALSE(counted.StartFirst());
    EXPECT_EQ(counted.Unit().StackDepth(), 3u);
    EXPECT_TRUE(counted.Unit().Run());
    EXPECT_EQ(counted.Unit().StackDepth(), 4u);
}

TEST(ScriptMachine, CallsReturnWithTheCallersStack)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("push 1\ncall Sub\ncall Bare\npush 2\nend",
                                ".function Sub\npush 8\npush 9\nret\n.function Bare\nret"));
    ASSERT_TRUE(world.Init());
    EXPECT_TRUE(world.StartFirst());
    ASSERT_EQ(world.Unit().StackDepth(), 2u);
    EXPECT_EQ(world.Unit().StackValue(1), 1u);
    EXPECT_EQ(world.Unit().StackValue(0), 2u);
    EXPECT_EQ(world.Unit().CallDepth(), 0u);
}

TEST(ScriptMachine, TopLevelReturnAndEndFinishTheSceneWithResultZero)
{
    for (const char* last : {"ret", "end"}) {
        TScriptWorld world;
        world.Add("Main.Wps", Scene(last));
        ASSERT_TRUE(world.Init());
        world.Unit().Result = 42;
        EXPECT_TRUE(world.StartFirst());
        EXPECT_TRUE(world.Unit().IsHalted());
        EXPECT_EQ(world.Unit().Result, 0);
        EXPECT_EQ(world.Signals, std::vector<int32_t>{0}) << last;
        // Once halted, an instruction step does nothing.
        const uint32_t at = world.Unit().InstructionOffset();
        EXPECT_NO_THROW(world.Unit().ExecCode());
        EXPECT_EQ(world.Unit().InstructionOffset(), at);
        EXPECT_TRUE(world.Unit().IsHalted());
    }
}

TEST(ScriptMachine, CallByNameFindsFunctionsOfThisAndOtherScripts)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("push 1\ncall_l \"::Sub\"\ncall_l \"Sub\"\ncall_l \"Other::Far\"\npush 2\nend",
                                ".function Sub\npush 10\nret"));
    world.Add("Other.Wps", ".function Far\npush 20\nret\n");
    ASSERT_TRUE(world.Init());
    ASSERT_EQ(world.Unit().ScriptCount(), 2);
    EXPECT_TRUE(world.StartFirst());
    EXPECT_EQ(world.Unit().StackDepth(), 2u);
    EXPECT_EQ(world.Unit().StackValue(0), 2u);
    // The return from Other reloaded the caller's script.
    EXPECT_EQ(world.Unit().CurrentScript(), world.Unit().FindScript("main.wps"));
    EXPECT_GE(world.Unit().FuncNameTable().Search("Sub"), 0);
}

TEST(ScriptMachine, CallByNameFailuresEndTheStoryWithThreeLines)
{
    {
        TScriptWorld world;
        world.Add("Main.Wps", Scene("call_l \"Nowhere::Sub\""));
        EXPECT_EQ(ErrorOf(world), ThreeLines("ExecCode_CALL_L not found ScriptIndex [Nowhere]"));
    }
    {
        TScriptWorld world;
        world.Add("Main.Wps", Scene("call_l \"Missing\""));
        EXPECT_EQ(ErrorOf(world), ThreeLines("ExecCode_CALL_L not found Function [Missing]"));
    }
    {
        // Names are exact: another case is another function.
        TScriptWorld world;
        world.Add("Main.Wps", Scene("call_l \"::sub\"", ".function Sub\nret"));
        EXPECT_EQ(ErrorOf(world), ThreeLines("ExecCode_CALL_L not found Function [sub]"));
    }
    {
        TScriptWorld world;
        world.Add("Main.Wps", Scene(".u16 8\n.u32 3\n.u8 65 66 67"));
        EXPECT_EQ(ErrorOf(world), ThreeLines("ExecCode broken Text"));
    }
}

TEST(ScriptMachine, CallsDoNothingWithoutSceneResources)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("push 1\ncall Sub\ncall_l \"Nowhere::X\"\npush 2\nend",
                                ".function Sub\npush 5\npush 9\nsetlocal\nret"));
    ASSERT_TRUE(world.Init());
    world.Unit().ResourcesReady = false;
    world.Unit().LoadFunction(0);
    world.Unit().JumpTo(static_cast<uint32_t>(world.Unit().FuncNameTable().GetParam(
        world.Unit().FuncNameTable().Search("Main"))));
    EXPECT_TRUE(world.Unit().Run());
    ASSERT_EQ(world.Unit().StackDepth(), 2u);
    EXPECT_EQ(world.Unit().StackValue(1), 1u);
    EXPECT_EQ(world.Unit().StackValue(0), 2u);
    EXPECT_EQ(world.Unit().GetLocal(5), 0);  // Sub never ran

    // Without resources a start runs nothing and reports the scene as ended.
    world.Signals.clear();
    EXPECT_TRUE(world.StartFirst());
    EXPECT_TRUE(world.Unit().IsHalted());
    EXPECT_EQ(world.Unit().Result, 0);
    EXPECT_TRUE(world.Signals.empty());
}

TEST(ScriptMachine, ReturnBelowTheCallersDepthIsAnError)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("push 1\npush 2\ncall Sub\nend", ".function Sub\npop\npop\nret"));
    EXPECT_EQ(ErrorOf(world), ThreeLines("ExecCode_RET Stack is too few"));
}

TEST(ScriptMachine, MalformedExecutionIsAScriptErrorNotACrash)
{
    const std::pair<const char*, const char*> cases[] = {
        {"jmp 100000", "ExecCode out of Code"},
        {"jmp -1000", "ExecCode out of Code"},
        {"pop", "ExecCode Stack is empty"},
        {"push 1\nswap", "ExecCode Stack is empty"},
        {"add", "ExecCode Stack is empty"},
        {".u16 1\n.u8 7", "ExecCode out of Code"},          // a push cut by the block's end
        {".u16 2\n.u32 0xFFFFFFFF", "ExecCode out of Code"},  // a text count past the block
        {"again:\npush 1\njmp again", "ExecCode Stack over"},
        {"again:\ncall again", "ExecCode CallStack over"},
        {"push 1\nsetflag", "ExecCode Stack is empty"},  // a scene instruction short of operands
        {"wait", "ExecCode Stack is empty"},
    };
    for (const auto& [code, line] : cases) {
        TScriptWorld world;
        world.Add("Main.Wps", Scene(code));
        EXPECT_EQ(ErrorOf(world), ThreeLines(line)) << code;
    }
    // Running off the end of the block without an ending instruction.
    TScriptWorld world;
    world.Add("Main.Wps", Scene("push 1"));
    EXPECT_EQ(ErrorOf(world), ThreeLines("ExecCode out of Code"));
}

TEST(ScriptMachine, OpcodesWithoutHandlersAreTwoByteNoOps)
{
    EXPECT_EQ(TopAfter("push 3\nop 11\nop 13\nop 40\nop 63\nop 76\nop 200\nop 296\nop 65535\nnop"), 3);
}

TEST(ScriptMachine, FirstInstructionEndSignalsAtOnce)
{
    TScriptWorld world;
    world.Add("Main.Wps", Scene("end"));
    ASSERT_TRUE(world.Init());
    world.Unit().Phase = 9;
    EXPECT_TRUE(world.StartFirst());
    EXPECT_EQ(world.Signals, std::vector<int32_t>{0});
    // The start reset the scene around the script.
    EXPECT_EQ(world.Unit().BGRequest, 996);
    EXPECT_EQ(world.Unit().CursorCount, 1);
    EXPECT_EQ(world.Unit().Phase, 2);
}

TEST(ScriptMachine, StringReferencesAreCheckedHandles)
{
    TScriptWorld world;
    // The condition stores a reference into the trigger buffer; an unreached push follows the
    // scene's end.
    world.Add("Main.Wps", ".trigger Main group=0 priority=100\npush 3\npushstr \"cond\"\nsetlocal\n.end\n"
                          ".function Main\npushstr \"日本\"\npushstr \"second\"\nend\npush 3\nend\nend\n");
    // Other's block has the layout of Main's: a text instruction at the same place.
    world.Add("Other.Wps", ".function Mbin\npushstr \"abcd\"\npushstr \"other!\"\nret\n");
    ASSERT_TRUE(world.Init());
    EXPECT_FALSE(world.Unit().TestTrigger(0, 0));
    EXPECT_TRUE(world.StartFirst());
    TAvgUnit& unit = world.Unit();
    std::string text;
    ASSERT_TRUE(unit.TextOfReference(unit.StackValue(0), text));
    EXPECT_EQ(text, "second");
    ASSERT_TRUE(unit.TextOfReference(unit.StackValue(1), text));
    EXPECT_EQ(text, "\x93\xfa\x96\x7b");  // Shift-JIS
    EXPECT_FALSE(unit.TextOfReference(0, text));
    EXPECT_FALSE(unit.TextOfReference(12345, text));
    EXPECT_FALSE(unit.TextOfReference(unit.StackValue(0) + 2, text));
    // Moved onto the push after the end (13 + 2 bytes on): bytes that are no text instruction.
    EXPECT_FALSE(unit.TextOfReference(unit.StackValue(0) + 15, text));
    // Another block loaded: the old references no longer designate anything, however many
    // loads follow; the same block loaded again makes them good again.
    const uint32_t stale = unit.StackValue(0);
    unit.LoadFunction(unit.FindScript("Other.Wps"));
    EXPECT_FALSE(unit.TextOfReference(stale, text));
    for (int i = 1; i < 8192; ++i)
        unit.LoadFunction(unit.FindScript("Other.Wps"));
    EXPECT_FALSE(unit.TextOfReference(stale, text));
    unit.LoadFunction(unit.FindScript("Main.Wps"));
    ASSERT_TRUE(unit.TextOfReference(stale, text));
    EXPECT_EQ(text, "second");
    // A condition's text stays in the trigger buffer whatever block is loaded.
    unit.LoadFunction(unit.FindScript("Other.Wps"));
    ASSERT_TRUE(unit.TextOfReference(static_cast<uint32_t>(unit.GetLocal(3)), text));
    EXPECT_EQ(text, "cond");
}
