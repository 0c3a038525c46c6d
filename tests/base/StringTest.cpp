#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "base/Vestring.h"
#include "platform/Codepage.h"

TEST(SeparateString, SplitsAtLineFeedsIntoAFixedCount)
{
    std::string out[4] = {"old", "old", "old", "old"};
    SeparateString("one\ntwo", out, 4);
    EXPECT_EQ(out[0], "one");
    EXPECT_EQ(out[1], "two");
    EXPECT_EQ(out[2], "");
    EXPECT_EQ(out[3], "");

    SeparateString("a\n\nc\nd\ne", out, 3);
    EXPECT_EQ(out[0], "a");
    EXPECT_EQ(out[1], "");
    EXPECT_EQ(out[2], "c");  // lines past the third are dropped
    EXPECT_EQ(out[3], "");   // untouched past n

    SeparateString("x\n", out, 2);
    EXPECT_EQ(out[0], "x");
    EXPECT_EQ(out[1], "");

    SeparateString("", out, 1);
    EXPECT_EQ(out[0], "");
    SeparateString("ignored", nullptr, 3);
    SeparateString("ignored", out, 0);
    EXPECT_EQ(out[0], "");
}

TEST(DivideString, FrontAndRearAtTheEdges)
{
    EXPECT_EQ(DivideFront("abcdef", 3), "abc");
    EXPECT_EQ(DivideFront("abc", 10), "abc");
    EXPECT_EQ(DivideFront("abc", 0), "");
    EXPECT_EQ(DivideFront("abc", -4), "");

    EXPECT_EQ(DivideRear("abcdef", 3), "cdef");
    EXPECT_EQ(DivideRear("abcdef", 1), "abcdef");
    EXPECT_EQ(DivideRear("abcdef", 0), "abcdef");
    EXPECT_EQ(DivideRear("abcdef", -9), "abcdef");
    EXPECT_EQ(DivideRear("abcdef", 6), "f");
    EXPECT_EQ(DivideRear("abcdef", 7), "");
    EXPECT_EQ(DivideRear("abcdef", INT_MAX), "");
    EXPECT_EQ(DivideRear("", 1), "");
}

TEST(IntToWideStr, FullWidthDigitsPaddedAndSignedInTheTextCodePage)
{
    // Written into messages, so in their code page: GB2312 by default.
    EXPECT_EQ(IntToWideStr(0, 1), "\xA3\xB0");
    EXPECT_EQ(IntToWideStr(0, 0), "\xA3\xB0");
    EXPECT_EQ(IntToWideStr(7, 3), "\xA3\xB0\xA3\xB0\xA3\xB7");
    EXPECT_EQ(IntToWideStr(1234, 2), "\xA3\xB1\xA3\xB2\xA3\xB3\xA3\xB4");
    EXPECT_EQ(IntToWideStr(98, -5), "\xA3\xB9\xA3\xB8");
    EXPECT_EQ(IntToWideStr(-5, 2), "\xA3\xAD\xA3\xB0\xA3\xB5");
    EXPECT_EQ(IntToWideStr(INT_MIN, 1).size(), 2u + 2u * 10u);
    EXPECT_EQ(IntToWideStr(1, 1000000).size(), 2u * MaxWideDigits);

    SetSystemCodePage(932);
    EXPECT_EQ(IntToWideStr(7, 3), "\x82\x4F\x82\x4F\x82\x56");
    EXPECT_EQ(IntToWideStr(1234, 2), "\x82\x50\x82\x51\x82\x52\x82\x53");
    EXPECT_EQ(IntToWideStr(98, -5), "\x82\x58\x82\x57");
    EXPECT_EQ(IntToWideStr(-5, 2), "\x81\x7C\x82\x4F\x82\x54");
    SetSystemCodePage(936);
}

TEST(VeMemcpy, CopiesOverlappingAndIgnoresBadArguments)
{
    char buffer[] = "abcdefgh";
    VeMemcpy(buffer + 2, buffer, 4);
    EXPECT_STREQ(buffer, "ababcdgh");
    VeMemcpy(buffer, "zz", 0);
    VeMemcpy(buffer, "zz", -1);
    VeMemcpy(nullptr, "zz", 2);
    VeMemcpy(buffer, nullptr, 2);
    EXPECT_STREQ(buffer, "ababcdgh");
}

TEST(FileIsExist, FollowsTheGameFileNameRules)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zb_fileisexist_" + std::to_string(::getpid()));
    fs::create_directories(dir / "Sub");
    std::FILE* f = std::fopen((dir / "Sub" / "Data.CSV").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    const std::string base = dir.string();
    EXPECT_TRUE(FileIsExist(base + "/Sub/Data.CSV"));
    EXPECT_TRUE(FileIsExist(base + "\\sub\\data.csv"));
    EXPECT_FALSE(FileIsExist(base + "/Sub"));  // a folder is not a file
    EXPECT_FALSE(FileIsExist(base + "/Sub/Other.csv"));
    EXPECT_FALSE(FileIsExist(""));
    fs::remove_all(dir);
}
