#include <gtest/gtest.h>

#include <cstring>

#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbreadmes.h"
#include "support/ScriptFixtures.h"

namespace {

uint32_t RegisteredScenarios()
{
    const uint8_t* data = ReadMesTable->GetData();
    return uint32_t(data[4]) | (uint32_t(data[5]) << 8) | (uint32_t(data[6]) << 16) | (uint32_t(data[7]) << 24);
}

const char* const GoodScript =
    ".scenario 7\n.stamp 0x0807060504030201\n"
    ".trigger Main group=1 priority=100 data=\"xy\"\npush 1\n.end\n"
    ".function Main\npush 1\nend\n.function Sub\nret\n";

// A script whose trigger block is exactly size bytes: one entry with a condition of nops.
std::string TriggerBlockOf(uint32_t size)
{
    return ".trigger F group=0 priority=1 datalen=0\n.fill " + std::to_string(size - 12) +
           "\n.end\n.function F\nend\n";
}

}  // namespace

TEST(ScriptTable, EmptyArchiveGivesAnEmptyTable)
{
    TScriptWorld world;
    world.Folder().Write("readme.txt", std::string("not a script"));
    EXPECT_TRUE(world.Init());
    EXPECT_EQ(world.Unit().ScriptCount(), 0);
    EXPECT_TRUE(world.Unit().ScenarioReady);
}

TEST(ScriptTable, ReadsHeadersAndRegistersScenarios)
{
    TScriptWorld world;
    world.Add("Main.Wps", GoodScript);
    world.Add("Next.wps", ".scenario 8\n.trigger F group=2 priority=3\n.end\n.function F\nend\n");
    ASSERT_TRUE(world.Init());
    TAvgUnit& unit = world.Unit();
    ASSERT_EQ(unit.ScriptCount(), 2);
    const TScriptInfo& main = unit.GetScriptInfo(0);
    EXPECT_EQ(main.FileName, "Main.Wps");
    EXPECT_EQ(main.Header.ScenarioId, 7u);
    EXPECT_EQ(main.Header.Stamp[0], 1);
    EXPECT_EQ(main.Header.Stamp[7], 8);
    EXPECT_EQ(main.TriggerOffset, 0u);
    EXPECT_EQ(main.Header.TriggerSize, 20u);
    EXPECT_EQ(unit.GetScriptInfo(1).TriggerOffset, 20u);
    EXPECT_EQ(unit.TriggerFill(), 32u);
    EXPECT_EQ(RegisteredScenarios(), 2u);

    EXPECT_EQ(unit.FindScript("main.wps"), 0);
    EXPECT_EQ(unit.FindScript("NEXT.WPS"), 1);
    EXPECT_EQ(unit.FindScript("Main"), -1);
    EXPECT_EQ(unit.FindScript(""), -1);
}

TEST(ScriptTable, NameLengthLimit)
{
    const std::string name25 = std::string(21, 'a') + ".Wps";
    {
        TScriptWorld world;
        world.Add(name25, GoodScript);
        EXPECT_TRUE(world.Init());
        EXPECT_EQ(world.Unit().ScriptCount(), 1);
    }
    {
        TScriptWorld world;
        world.Add("b" + name25, GoodScript);
        world.Add("c.Wps", GoodScript);
        EXPECT_FALSE(world.Init());
        EXPECT_EQ(world.Unit().ScriptCount(), 0);
    }
}

TEST(ScriptTable, RefusesDamagedFilesEvenBeforeGoodOnesAndNamesThem)
{
    TByteVector good = AssembleOrFail(GoodScript);
    for (int variant = 0; variant < 4; ++variant) {
        TScriptWorld world;
        world.AddBytes("0good.Wps", good);
        TByteVector bad = good;
        if (variant == 0)
            bad.resize(39);
        else if (variant == 1)
            bad[3] = '2';
        else if (variant == 2)
            bad.resize(bad.size() - 1);  // the function block is cut, the trigger block whole
        else
            bad[20] = 0xF0;  // the trigger block's offset points past the end
        world.AddBytes("1bad.Wps", bad);
        world.AddBytes("2good.Wps", good);
        if (variant == 2) {
            // A cut function block is found only when the function loads.
            ASSERT_TRUE(world.Init());
            world.MarkLog();
            EXPECT_THROW(world.Unit().LoadFunction(1), EGameErr);
            EXPECT_EQ(world.Log(),
                      std::vector<std::string>({"AvgUnit bad ScriptFile [1bad.Wps] function block past the end of the file",
                                                 "LoadFunction can't load Function"}));
            continue;
        }
        EXPECT_FALSE(world.Init()) << variant;
        EXPECT_EQ(world.Unit().ScriptCount(), 1) << variant;
        const char* const why[] = {"shorter than its header", "bad header: not a script file", "",
                                   "trigger block past the end of the file"};
        EXPECT_EQ(world.Log(), std::vector<std::string>{std::string("AvgUnit bad ScriptFile [1bad.Wps] ") + why[variant]});
        EXPECT_EQ(RegisteredScenarios(), 1u);
    }

    // In an archive: a member whose bytes were damaged under a right archive checksum fails its
    // own CRC; one whose CRC was stamped again over the damage reads back with a bad header.
    for (bool restamp : {false, true}) {
        TScriptWorld world;
        const std::string archive = world.Folder().Path() + "/Script.pak";
        ASSERT_TRUE(BuildPack(archive, {{"0good.Wps", good}, {"1bad.Wps", good}, {"2good.Wps", good}}));
        ASSERT_TRUE(DamagePackMember(archive, "1bad.Wps", 0, restamp));
        EXPECT_FALSE(world.Init(archive)) << restamp;
        EXPECT_EQ(world.Unit().ScriptCount(), 1) << restamp;
        EXPECT_EQ(world.Log(), std::vector<std::string>{restamp ? "AvgUnit bad ScriptFile [1bad.Wps] bad header: not a script file"
                                                                : "AvgUnit bad ScriptFile [1bad.Wps] cannot be read: " +
                                                                      archive + ": CRC mismatch"})
            << restamp;
    }
}

TEST(ScriptTable, TriggerBufferFillsToTheLastByte)
{
    {
        TScriptWorld world;
        world.Add("a.Wps", TriggerBlockOf(40000));
        world.Add("b.Wps", TriggerBlockOf(25536));
        EXPECT_TRUE(world.Init());
        EXPECT_EQ(world.Unit().TriggerFill(), 65536u);
        EXPECT_TRUE(world.Log().empty());
    }
    {
        TScriptWorld world;
        world.Add("a.Wps", TriggerBlockOf(40000));
        world.Add("b.Wps", TriggerBlockOf(25537));
        EXPECT_FALSE(world.Init());
        EXPECT_EQ(world.Log(), std::vector<std::string>({"AvgUnit bad ScriptFile [b.Wps] trigger block of 25537 bytes",
                                                         "AvgUnit TrigBuffer Over."}));
        EXPECT_EQ(world.Unit().ScriptCount(), 1);
        EXPECT_EQ(RegisteredScenarios(), 1u);
    }
    {
        // A size near 4 GB must not wrap the sum.
        TScriptWorld world;
        world.Add("a.Wps", TriggerBlockOf(100) + ".trigsize 0xFFFFFFF0\n");
        EXPECT_FALSE(world.Init());
        EXPECT_EQ(world.Log(), std::vector<std::string>({"AvgUnit bad ScriptFile [a.Wps] trigger block of 4294967280 bytes",
                                                         "AvgUnit TrigBuffer Over."}));
    }
}

TEST(ScriptTable, RefusesBrokenTriggerBlocksBeforeRegisteringThem)
{
    const char* const cases[] = {
        ".trigger F group=0 priority=1 entrylen=11\n.end\n",                // shorter than its fixed part
        ".trigger F group=0 priority=1 entrylen=0\n.end\n",                 // would never advance
        ".trigger F group=0 priority=1 entrylen=20\npush 1\n.end\n.trigsize 16\n",  // past the block
        ".trigger F group=0 priority=1\n.end\n.trigsize 20\n",              // chain ends before the block
        ".trigger F group=0 priority=1 condlen=7\npush 1\n.end\n",           // condition past its entry
        ".trigger F group=0 priority=1 datalen=65535\n.end\n",              // data past its entry
        ".trigger 16 group=0 priority=1\n.end\n",                            // code at the function block's end
        ".trigger F group=0 priority=1\n.end\n.funcsize 0\n",               // no function block at all
    };
    for (const char* extra : cases) {
        TScriptWorld world;
        world.Add("a.Wps", ".function F\nend\n" + std::string(extra));
        EXPECT_FALSE(world.Init()) << extra;
        EXPECT_EQ(world.Log(), std::vector<std::string>{"AvgUnit bad ScriptFile [a.Wps] broken trigger block"}) << extra;
        EXPECT_EQ(RegisteredScenarios(), 0u) << extra;
        EXPECT_EQ(world.Unit().ScriptCount(), 0) << extra;
    }
}

TEST(ScriptTable, FolderAndArchiveGiveTheSameTable)
{
    const std::vector<std::pair<std::string, std::string>> scripts = {
        {"Alpha.Wps", GoodScript},
        {"beta.Wps", ".scenario 3\n.trigger X group=5 priority=9 data=0x0102\npush 0\n.end\n.function X\nend\n"},
        {"Gamma.Wps", ".scenario 4\n.stamp 99\n.function Y\nend\n"},
    };
    TScriptWorld folder;
    TNamedBytes members;
    for (const auto& [name, source] : scripts) {
        folder.Add(name, source);
        members.emplace_back(name, AssembleOrFail(source));
    }
    members.emplace_back("other.txt", TByteVector{1, 2, 3});
    ASSERT_TRUE(folder.Init());

    TScriptWorld packed;
    const std::string archive = packed.Folder().Path() + "/Script.pak";
    ASSERT_TRUE(BuildPack(archive, members));
    ASSERT_TRUE(packed.Init(archive));

    TAvgUnit& a = folder.Unit();
    TAvgUnit& b = packed.Unit();
    ASSERT_EQ(a.ScriptCount(), 3);
    ASSERT_EQ(b.ScriptCount(), a.ScriptCount());
    for (int i = 0; i < a.ScriptCount(); ++i) {
        EXPECT_EQ(a.GetScriptInfo(i).FileName, b.GetScriptInfo(i).FileName);
        EXPECT_EQ(a.GetScriptInfo(i).TriggerOffset, b.GetScriptInfo(i).TriggerOffset);
        EXPECT_EQ(std::memcmp(&a.GetScriptInfo(i).Header.Stamp, &b.GetScriptInfo(i).Header.Stamp, 8), 0);
        EXPECT_EQ(a.GetScriptInfo(i).Header.FuncSize, b.GetScriptInfo(i).Header.FuncSize);
    }
    ASSERT_EQ(a.TriggerFill(), b.TriggerFill());
    EXPECT_EQ(std::memcmp(a.TriggerBuffer(), b.TriggerBuffer(), a.TriggerFill()), 0);
    // And the same scene runs from both.
    b.LoadFunction(1);
    a.LoadFunction(1);
    EXPECT_EQ(a.CodeSize(), b.CodeSize());
    EXPECT_EQ(a.FuncNameTable().Search("X"), b.FuncNameTable().Search("X"));
}

TEST(ScriptTable, InstructionLengths)
{
    auto size = [](std::vector<uint8_t> bytes) { return GetCodeSize(bytes.data(), bytes.size()); };
    EXPECT_EQ(size({200, 0}), 2u);
    EXPECT_EQ(size({130, 0, 10, 0, 0, 0}), 16u);
    EXPECT_EQ(size({2, 0, 0xFF, 0xFF, 0xFF, 0xFF}), 6u + 0xFFFFFFFFull);  // no 32-bit wrap
    EXPECT_EQ(size({128, 0, 1, 2, 3, 4, 5, 0, 0, 0}), 15u);
    EXPECT_EQ(size({132, 0, 1, 2, 3, 4, 0, 0, 0, 0}), 10u);
    for (uint8_t op : {1, 4, 5, 6, 7})
        EXPECT_EQ(size({op, 0}), 6u);
    EXPECT_EQ(size({0, 1}), 2u);  // opcode 256
    EXPECT_EQ(size({8, 0, 3, 0}), 6u);  // the count is beyond the bytes: more than available
    EXPECT_EQ(size({128, 0, 3, 0, 0, 0}), 10u);
    EXPECT_EQ(size({}), 2u);
}
