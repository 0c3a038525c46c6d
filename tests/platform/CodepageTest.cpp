#include <gtest/gtest.h>

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
