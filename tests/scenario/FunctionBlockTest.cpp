#include <gtest/gtest.h>

#include <filesystem>

#include "game/Zbdef.h"
#include "support/ScriptFixtures.h"

namespace {

// A script with one trigger on F whose function block is exactly size bytes (at least 16).
std::string BlockOf(uint32_t size)
{
    return ".trigger F group=0 priority=100\n.end\n.function F\nend\n.fill " + std::to_string(size - 16) + "\n";
}

// count functions of 19 bytes each: the names are 4 characters.
std::string Functions(int count)
{
    std::string source;
    for (int i = 0; i < count; ++i)
        source += ".function F" + std::string(i < 10 ? "00" : i < 100 ? "0" : "") + std::to_string(i) + "\nret\n";
    return source;
}

}  // namespace

TEST(FunctionBlock, LoadsUpToTheCodeBufferSize)
{
    TScriptWorld world;
    world.Add("a.Wps", BlockOf(131072));
    world.Add("b.Wps", BlockOf(131073));
    ASSERT_TRUE(world.Init());
    TAvgUnit& unit = world.Unit();
    unit.LoadFunction(0);
    EXPECT_EQ(unit.CodeSize(), 131072u);
    EXPECT_EQ(unit.CurrentScript(), 0);
    world.MarkLog();
    EXPECT_THROW(unit.LoadFunction(1), EGameErr);
    EXPECT_EQ(world.Log(), std::vector<std::string>({"AvgUnit bad ScriptFile [b.Wps] function block of 131073 bytes", "LoadFunction FuncBufer over"}));
    EXPECT_EQ(unit.CurrentScript(), 0);

    // A start whose load fails leaves only the load's line.
    world.MarkLog();
    EXPECT_THROW(unit.StartScript(1, 0), EGameErr);
    EXPECT_EQ(world.Log(), std::vector<std::string>({"AvgUnit bad ScriptFile [b.Wps] function block of 131073 bytes", "LoadFunction FuncBufer over"}));
}

TEST(FunctionBlock, NameTableHolds256Names)
{
    TScriptWorld world;
    world.Add("a.Wps", Functions(256));
    world.Add("b.Wps", Functions(257));
    ASSERT_TRUE(world.Init());
    TAvgUnit& unit = world.Unit();
    unit.LoadFunction(0);
    EXPECT_EQ(unit.FuncNameTable().GetCount(), 256);
    EXPECT_EQ(unit.FuncNameTable().GetParam(unit.FuncNameTable().Search("F255")), 255 * 19 + 12 + 5);
    world.MarkLog();
    EXPECT_THROW(unit.LoadFunction(1), EGameErr);
    EXPECT_EQ(world.Log(), std::vector<std::string>({"AvgUnit bad ScriptFile [b.Wps] more function names than the table holds",
                                                     "LoadFunction overflow FuncNameTable"}));
    // The failed load changed nothing.
    EXPECT_EQ(unit.CurrentScript(), 0);
    EXPECT_EQ(unit.FuncNameTable().GetCount(), 256);
    EXPECT_EQ(unit.CodeSize(), 256u * 19);
}

TEST(FunctionBlock, LoadFailuresLogTheirLine)
{
    TScriptWorld world;
    world.Add("a.Wps", Functions(1));
    world.Add("b.Wps", Functions(2));
    ASSERT_TRUE(world.Init());
    TAvgUnit& unit = world.Unit();
    for (int bad : {-1, 2, 1000}) {
        world.MarkLog();
        EXPECT_THROW(unit.LoadFunction(bad), EGameErr);
        EXPECT_EQ(world.Log(), std::vector<std::string>{"LoadFunction over ScriptInfoTable"});
    }
    std::filesystem::remove(world.Folder().Path() + "/b.Wps");
    world.MarkLog();
    EXPECT_THROW(unit.LoadFunction(1), EGameErr);
    EXPECT_EQ(world.Log(), std::vector<std::string>({"AvgUnit bad ScriptFile [b.Wps] cannot be read: not in " +
                                                         world.Folder().Path(),
                                                     "LoadFunction can't open ScriptFile"}));
    EXPECT_EQ(unit.CurrentScript(), -1);
    // Every load reads the file again.
    unit.LoadFunction(0);
    std::filesystem::remove(world.Folder().Path() + "/a.Wps");
    EXPECT_THROW(unit.LoadFunction(0), EGameErr);
    EXPECT_EQ(world.Files().OpenCount(), 0);

    // From an archive whose member is damaged after the table was read: the line names the
    // file, the archive and why.
    TScriptWorld packed;
    const std::string archive = packed.Folder().Path() + "/Script.pak";
    ASSERT_TRUE(BuildPack(archive, {{"a.Wps", AssembleOrFail(Functions(1))}, {"b.Wps", AssembleOrFail(Functions(2))}}));
    ASSERT_TRUE(packed.Init(archive));
    ASSERT_TRUE(DamagePackMember(archive, "b.Wps", 50, false));
    packed.MarkLog();
    EXPECT_THROW(packed.Unit().LoadFunction(1), EGameErr);
    EXPECT_EQ(packed.Log(),
              std::vector<std::string>({"AvgUnit bad ScriptFile [b.Wps] cannot be read: " + archive + ": CRC mismatch",
                                        "LoadFunction can't open ScriptFile"}));
}

TEST(FunctionBlock, RefusesBrokenEntriesAndKeepsTheLoadedBlock)
{
    const char* const cases[] = {
        ".function G entrylen=0\nret\n",
        ".function G entrylen=13\nret\n",         // shorter than its header and name
        ".function G entrylen=1000\nret\n",       // past the block
        ".function G namelen=0\nret\n",           // no name
        ".function Gx namelen=2\nret\n",          // a name without its zero
        ".function G namelen=900 entrylen=16\nret\n",  // a name field past the entry
        ".function G\nret\n.funcsize 20\n",       // the next entry's header cut
    };
    for (const char* extra : cases) {
        TScriptWorld world;
        world.Add("a.Wps", ".function F\nret\n");
        world.Add("b.Wps", ".function F\nret\n" + std::string(extra));
        ASSERT_TRUE(world.Init()) << extra;
        TAvgUnit& unit = world.Unit();
        unit.LoadFunction(0);
        world.MarkLog();
        EXPECT_THROW(unit.LoadFunction(1), EGameErr) << extra;
        EXPECT_EQ(world.Log(), std::vector<std::string>{"LoadFunction broken Function [b.Wps]"}) << extra;
        EXPECT_EQ(unit.CurrentScript(), 0);
        EXPECT_EQ(unit.CodeSize(), 16u);
    }
}
