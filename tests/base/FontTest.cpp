#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Vefont.h"

namespace {

int DrawnWidth(HFONT font, const char* text)
{
    std::vector<uint8_t> plane(100 * 40);
    HDC dc = CreateTargetDC({plane.data(), 100, 100, 40, 1});
    SelectObject(dc, font);
    TSize size;
    GetTextExtentPoint32(dc, text, int(std::strlen(text)), &size);
    ReleaseTargetDC(dc);
    return size.cx;
}

}  // namespace

TEST(GetNonAntiAliasedFont, DefaultNameAnyCaseAndSizes)
{
    for (const char* name : {"Default", "DEFAULT", "default", "MS UI Gothic"}) {
        TFont font;
        font.Name = name;
        font.Height = -20;
        font.Pitch = fpFixed;
        HFONT handle = GetNonAntiAliasedFont(&font);
        ASSERT_NE(handle, nullptr) << name;
        EXPECT_NE(GetFontFamily(handle).find("JP"), std::string::npos);
        EXPECT_EQ(DrawnWidth(handle, "\x82\xA0" "ab"), 40);
        DeleteObject(handle);
    }
    TFont bold;
    bold.Style << fsBold << fsItalic << fsUnderline;
    bold.Charset = GB2312_CHARSET;
    bold.Name = "FZShaoEr-M11";
    HFONT handle = GetNonAntiAliasedFont(&bold);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(GetFontFamily(handle).find("SC"), std::string::npos);
    DeleteObject(handle);
}

TEST(GetNonAntiAliasedFont, NullWhenNothingFits)
{
    EXPECT_EQ(GetNonAntiAliasedFont(nullptr), nullptr);
    AddFontAlias("Absent Test Face", {"Family That Is Not Installed"});
    TFont font;
    font.Name = "Absent Test Face";
    EXPECT_EQ(GetNonAntiAliasedFont(&font), nullptr);
}
