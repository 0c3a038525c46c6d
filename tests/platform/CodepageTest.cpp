#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Codepage.h"

TEST(Codepage, ConvertsUtf8ToTheGameCodePages)
{
    std::string out;
    ASSERT_TRUE(Utf8ToCodePage("A日本ｱ", "CP932", out));
    EXPECT_EQ(out, "A\x93\xfa\x96\x7b\xb1");
    ASSERT_TRUE(Utf8ToCodePage("中", "CP936", out));
    EXPECT_EQ(out, "\xd6\xd0");
    ASSERT_TRUE(Utf8ToCodePage("", "CP932", out));
    EXPECT_EQ(out, "");
    // A long text crosses the converter's chunks.
    std::string longText;
    for (int i = 0; i < 500; ++i)
        longText += "あ";
    ASSERT_TRUE(Utf8ToCodePage(longText, "CP932", out));
    EXPECT_EQ(out.size(), 1000u);
    EXPECT_EQ(out.substr(998), "\x82\xa0");
}

TEST(Codepage, RefusesWhatCannotBeConverted)
{
    std::string out = "old";
    EXPECT_FALSE(Utf8ToCodePage("\xff\xfe", "CP932", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(Utf8ToCodePage("\xf0\x9f\x98\x80", "CP932", out));  // no such character there
    EXPECT_FALSE(Utf8ToCodePage("abc", "NO-SUCH-CODEPAGE", out));
    EXPECT_FALSE(Utf8ToCodePage("ab\xe3\x81", "CP932", out));  // cut in the middle of a character
}

TEST(ByteType, FollowsTheSystemCodePage)
{
    // "\xA4\xA2" is one GB2312 character; in code page 932 both bytes are half-width kana.
    const std::string text = "a\xA4\xA2\x82";
    EXPECT_EQ(SystemCodePage(), 936);
    EXPECT_EQ(ByteType(text, 1), mbSingleByte);
    EXPECT_EQ(ByteType(text, 2), mbLeadByte);
    EXPECT_EQ(ByteType(text, 3), mbTrailByte);
    EXPECT_EQ(ByteType(text, 4), mbLeadByte);  // a lead byte at the very end
    EXPECT_EQ(ByteType(text, 9), mbSingleByte);

    SetSystemCodePage(932);
    EXPECT_EQ(ByteType(text, 2), mbSingleByte);
    EXPECT_EQ(ByteType(text, 3), mbSingleByte);
    EXPECT_TRUE(IsLeadByte(0xE0));
    EXPECT_FALSE(IsLeadByte(0xFD));
    SetSystemCodePage(1252);  // refused
    EXPECT_EQ(SystemCodePage(), 932);
    SetSystemCodePage(936);

    // Fonts read their bytes by their own code page, whatever the text's is.
    EXPECT_TRUE(IsLeadByteIn(932, 0x9F));
    EXPECT_FALSE(IsLeadByteIn(932, 0xA4));
    EXPECT_TRUE(IsLeadByteIn(936, 0xA4));
    EXPECT_FALSE(IsLeadByteIn(1252, 0x82));
}

TEST(Codepage, DigitsAndClosingMarksAreThoseOfTheTextCodePage)
{
    struct TPage {
        int CodePage;
        const char* Zero;
        const char* Nine;
        const char* Minus;
        std::vector<std::string> Marks;  // 。、」』）】｝
        // Ordinary characters, the other page's full stop, and ，．・？！, which do not hang.
        std::vector<std::string> Others;
    };
    const TPage pages[] = {
        {936, "\xA3\xB0", "\xA3\xB9", "\xA3\xAD",
         {"\xA1\xA3", "\xA1\xA2", "\xA1\xB9", "\xA1\xBB", "\xA3\xA9", "\xA1\xBF", "\xA3\xFD"},
         {"\x81\x42", "\x81\x41", "\xD6\xD0", "\xA4\xA2", "\xA3\xAC", "\xA3\xAE", "\xA1\xA4", "\xA3\xBF", "\xA3\xA1"}},
        {932, "\x82\x4F", "\x82\x58", "\x81\x7C",
         {"\x81\x42", "\x81\x41", "\x81\x76", "\x81\x78", "\x81\x6A", "\x81\x7A", "\x81\x70"},
         {"\xA1\xA3", "\x82\xA0", "\x81\x40", "\x81\x75", "\x81\x43", "\x81\x44", "\x81\x45", "\x81\x48", "\x81\x49"}},
    };
    for (const TPage& page : pages) {
        SCOPED_TRACE(page.CodePage);
        SetSystemCodePage(page.CodePage);
        EXPECT_EQ(WideDigit(0), page.Zero);
        EXPECT_EQ(WideDigit(9), page.Nine);
        EXPECT_EQ(WideMinus(), page.Minus);
        for (const std::string& mark : page.Marks) {
            EXPECT_TRUE(IsClosingMark("ab" + mark, 2)) << int(uint8_t(mark[0])) << " " << int(uint8_t(mark[1]));
            EXPECT_FALSE(IsClosingMark("ab" + mark, 3));  // half a character
            EXPECT_FALSE(IsClosingMark(mark.substr(0, 1), 0));
        }
        for (const std::string& other : page.Others)
            EXPECT_FALSE(IsClosingMark(other, 0)) << int(uint8_t(other[0])) << " " << int(uint8_t(other[1]));
    }
    SetSystemCodePage(936);
    EXPECT_EQ(Utf8ToTextCodePage("中。"), "\xD6\xD0\xA1\xA3");
}

TEST(Codepage, ProgramTextReachesPeopleAsUtf8)
{
    // "初期化に失敗しました。" as the program keeps it, in code page 932.
    EXPECT_EQ(ProgramTextToUtf8("\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42"),
              "初期化に失敗しました。");
    EXPECT_EQ(ProgramTextToUtf8("DirectSound\x82\xcc"), "DirectSoundの");
    EXPECT_EQ(ProgramTextToUtf8("初期化に失敗しました。"), "初期化に失敗しました。");
    EXPECT_EQ(ProgramTextToUtf8("Error on FormShow"), "Error on FormShow");
    EXPECT_EQ(ProgramTextToUtf8(""), "");
    EXPECT_EQ(ProgramTextToUtf8("bad \x82"), "bad \x82") << "a cut character is left as it is";
}
