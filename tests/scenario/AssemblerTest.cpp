#include <gtest/gtest.h>

#include <algorithm>

#include "scenario/Avgu.h"
#include "scenario/Zbasm.h"
#include "support/ScriptFixtures.h"

namespace {

std::string ErrorOf(const std::string& source)
{
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(AssembleScript(source, out, error)) << source;
    return error;
}

uint32_t U32(const TByteVector& bytes, size_t at)
{
    return ZbScript::ReadU32(bytes.data() + at);
}

}  // namespace

TEST(Assembler, LaysOutHeaderTriggersAndFunctions)
{
    const TByteVector file = AssembleOrFail(
        ".scenario 0x12345678\n"
        ".stamp 0x0102030405060708\n"
        ".trigger Start group=3 priority=77 data=0xAABB\n"
        "    push 1   ; a comment\n"
        ".end\n"
        ".function Main   # the first function\n"
        "    ret\n"
        "Start: push -2\n"
        "    jmp Start\n"
        "    jz After\n"
        "    mes 3 5 \"\\x81\\x40a\"\n"
        "After:\n"
        ".function Empty\n"
        ".function Last\n"
        "    call Empty\n");
    ASSERT_FALSE(file.empty());
    TScriptHeader header;
    ReadScriptHeader(file.data(), header);
    EXPECT_EQ(std::string(header.Magic, header.Magic + 4), "ZB01");
    EXPECT_EQ(header.ScenarioId, 0x12345678u);
    EXPECT_EQ(header.Stamp[0], 8);
    EXPECT_EQ(header.Stamp[7], 1);
    EXPECT_EQ(header.TriggerOffset, 40u);
    EXPECT_EQ(header.TriggerSize, 20u);
    EXPECT_EQ(header.FuncOffset, 60u);
    EXPECT_EQ(header.FuncSize, file.size() - 60);

    TTriggerEntry entry;
    ReadTriggerEntry(file.data() + 40, entry);
    EXPECT_EQ(entry.EntryLength, 20);
    EXPECT_EQ(entry.DataLength, 2);
    EXPECT_EQ(entry.Group, 3);
    EXPECT_EQ(entry.Priority, 77);
    EXPECT_EQ(entry.ConditionLength, 6);
    EXPECT_EQ(file[52], 0xAA);
    EXPECT_EQ(U32(file, 56), 1u);  // push 1's value
    // Main: header 12, "Main\0", ret at 17, Start at 19.
    EXPECT_EQ(entry.CodeOffset, 19u);
    const size_t block = 60;
    EXPECT_EQ(U32(file, block + 19 + 2), 0xFFFFFFFEu);
    EXPECT_EQ(U32(file, block + 25 + 2), 0xFFFFFFFAu);  // jmp back 6
    // jz at 31 to After at 37 + mes (10 + 4) = 51.
    EXPECT_EQ(U32(file, block + 31 + 2), 20u);
    EXPECT_EQ(U32(file, block + 37 + 2), (3u << 16) | 5u);
    EXPECT_EQ(U32(file, block + 37 + 6), 4u);
    EXPECT_EQ(file[block + 37 + 10], 0x81);
    EXPECT_EQ(file[block + 37 + 13], 0);
    // Main's entry length, then Empty's entry with no code at 51 (code at 51 + 18 = 69).
    EXPECT_EQ(U32(file, block), 51u);
    EXPECT_EQ(U32(file, block + 51), 18u);
    // Last at 69; its call at 69 + 17 = 86 reaches Empty's code start at 69.
    EXPECT_EQ(U32(file, block + 86 + 2), static_cast<uint32_t>(69 - 86));
}

TEST(Assembler, WritesRawAndBrokenFieldsOnRequest)
{
    const TByteVector file = AssembleOrFail(
        ".magic \"XY01\"\n.reserved 5 -1\n.trigoffset 1\n.trigsize 2\n.funcoffset 3\n.funcsize 4\n"
        ".trigger 99 group=0 priority=0 entrylen=1 datalen=2 condlen=3\n.end\n"
        ".function F entrylen=7 namelen=1\n.u8 1 255\n.u16 0xBEEF\n.u32 -1\n.fill 3 9\nop 300\n"
        ".filesize 200\n");
    ASSERT_EQ(file.size(), 200u);
    EXPECT_EQ(file[0], 'X');
    EXPECT_EQ(U32(file, 4), 5u);
    EXPECT_EQ(U32(file, 36), 0xFFFFFFFFu);
    EXPECT_EQ(U32(file, 20), 1u);
    EXPECT_EQ(U32(file, 32), 4u);
    TTriggerEntry entry;
    ReadTriggerEntry(file.data() + 40, entry);
    EXPECT_EQ(entry.EntryLength, 1);
    EXPECT_EQ(entry.DataLength, 2);
    EXPECT_EQ(entry.ConditionLength, 3);
    EXPECT_EQ(entry.CodeOffset, 99u);
    const size_t f = 52;
    EXPECT_EQ(U32(file, f), 7u);
    EXPECT_EQ(file[f + 12], 'F');  // the name cut to one byte, no zero
    const TByteVector code(file.begin() + f + 13, file.begin() + f + 13 + 12);
    EXPECT_EQ(code, (TByteVector{1, 255, 0xEF, 0xBE, 255, 255, 255, 255, 9, 9, 9, 44}));
}

TEST(Assembler, ReportsErrorsWithTheirLine)
{
    EXPECT_EQ(ErrorOf(".function F\n\n  frobnicate\n"), "line 3: unknown instruction frobnicate");
    EXPECT_EQ(ErrorOf(".function F\njmp Nowhere\n"), "line 2: unknown label Nowhere");
    EXPECT_EQ(ErrorOf(".trigger Nowhere group=0 priority=0\n.end\n"), "line 1: unknown label Nowhere");
    EXPECT_EQ(ErrorOf(".function F\nA:\nA:\n"), "line 3: label defined twice: A");
    EXPECT_EQ(ErrorOf(".function F\n.function F\n"), "line 2: label defined twice: F");
    EXPECT_EQ(ErrorOf("push 1\n"), "line 1: code outside a function");
    EXPECT_EQ(ErrorOf(".trigger F group=0 priority=0\npush 1\n"), "line 1: .trigger without .end");
    EXPECT_EQ(ErrorOf(".trigger F group=0\n.end\n"), "line 1: .trigger needs group= and priority=");
    EXPECT_EQ(ErrorOf(".function F\npush\n"), "line 2: expected 1 operand(s) for push");
    EXPECT_EQ(ErrorOf(".function F\npush 0x100000000\n"), "line 2: number out of range: 0x100000000");
    EXPECT_EQ(ErrorOf(".function F\npushstr \"\xf0\x9f\x98\x80\"\n"), "line 2: text cannot be written in code page CP932");
    EXPECT_EQ(ErrorOf(".function F\npushstr \"abc\n"), "line 2: unterminated text");
    EXPECT_EQ(ErrorOf(".function F\npushstr abc\n"), "line 2: quoted text expected");
    EXPECT_EQ(ErrorOf(".function F\nmes 70000 1 \"a\"\n"), "line 2: number out of range: 70000");
    EXPECT_EQ(ErrorOf(".bogus 1\n"), "line 1: unknown directive .bogus");
}

TEST(Assembler, EveryMnemonicRoundTripsThroughTheInstructionLength)
{
    const std::string all =
        "nop\npush 1\npushstr \"s\"\npop\njmp 0\njz 0\njnz 0\ncall 0\ncall_l \"a::b\"\ndup\nswap\nret\nend\n"
        "not\nplus\nneg\nmul\ndiv\nmod\nadd\nsub\nlt\nle\ngt\nge\neq\nne\nand\nor\n"
        "setflag\ngetflag\nsetsysflag\ngetsysflag\nsetvar\nincvar\ndecvar\ngetvar\nsetreg\ngetreg\nsetlocal\n"
        "getlocal\nmes 1 2 \"m\"\nmesend\nselect \"a\\nb\"\nvoice\nmesvoice 1 3 \"v\"\n"
        "playbgm\nstopbgm\nplaybgmonce\nstopbgm2\nplayse\nstopse\nplayse2\nstopse2\nbg\nbgwhite\nbgblack\n"
        "setchar\nremovechar\nchangescene\nchangescene1\nbgchange\nwhiteout\nblackout\ncharin\ncharout\n"
        "shake\nwait\ngetphase\ngetepisode\ngetscene\nsetprogress\ngetmodea\nsetmodea\nrandom\nsetmodeb\n"
        "clearmodeb\nopeningmovie\nendingmovie\ntotitle\nraisecursor\nlowercursor\nchaptermovie\nminigame\n"
        "scriptvalue\nbatonresult\n";
    const TByteVector file = AssembleOrFail(".function F\n" + all);
    ASSERT_FALSE(file.empty());
    std::vector<uint16_t> ops;
    size_t at = 40 + 12 + 2;
    while (at < file.size()) {
        ops.push_back(static_cast<uint16_t>(file[at] | (file[at + 1] << 8)));
        at += GetCodeSize(file.data() + at, file.size() - at);
    }
    EXPECT_EQ(at, file.size());
    std::vector<uint16_t> expected;
    for (int op = 0; op <= 31; ++op)
        if (op < 11 || op > 13)
            expected.push_back(static_cast<uint16_t>(op));
    for (int op = 64; op <= 75; ++op)
        expected.push_back(static_cast<uint16_t>(op));
    for (int op = 128; op <= 132; ++op)
        expected.push_back(static_cast<uint16_t>(op));
    for (int op = 256; op <= 295; ++op)
        expected.push_back(static_cast<uint16_t>(op));
    EXPECT_EQ(ops, expected);
}

TEST(Assembler, CodePageDirectiveChangesHowLaterTextsAreWritten)
{
    // "あ" is 0x82 0xA0 in code page 932 and 0xA4 0xA2 in code page 936.
    std::vector<uint8_t> sjis, gbk;
    std::string error;
    ASSERT_TRUE(AssembleScript(".function main\npushstr \"あ\"\nend\n", sjis, error)) << error;
    ASSERT_TRUE(AssembleScript(".codepage CP936\n.function main\npushstr \"あ\"\nend\n", gbk, error)) << error;
    auto contains = [](const std::vector<uint8_t>& bytes, std::vector<uint8_t> needle) {
        return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
    };
    EXPECT_TRUE(contains(sjis, {0x82, 0xA0, 0x00}));
    EXPECT_TRUE(contains(gbk, {0xA4, 0xA2, 0x00}));
    EXPECT_FALSE(AssembleScript(".codepage UTF8\n", gbk, error));
}
