#include <gtest/gtest.h>

#include "platform/Sysutils.h"

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
}
