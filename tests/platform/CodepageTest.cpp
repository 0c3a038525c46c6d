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
