#include <gtest/gtest.h>

#include <climits>

#include "PanelTestKit.h"
#include "panels/Vergbnum.h"

namespace {

constexpr int GlyphW = 8;
constexpr int GlyphH = 6;
constexpr uint32_t Background = 0x123456;

// Pixel (x, y) of digit d's glyph: red d + 1, green x, blue y.
uint32_t GlyphPixel(int d, int x, int y)
{
    return (uint32_t(d + 1) << 16) | (uint32_t(x) << 8) | uint32_t(y);
}

TVeRGBBits* MakeStrip(TComponent* owner)
{
    auto* strip = paneltest::MakeTarget(owner, GlyphW, GlyphH * 10);
    for (int y = 0; y < GlyphH * 10; ++y)
        for (int x = 0; x < GlyphW; ++x)
            strip->BoxFill(x, y, x, y, GlyphPixel(y / GlyphH, x, y % GlyphH));
    return strip;
}

// A number panel at (4, 2), GlyphH + 4 rows high, over a root that draws nothing.
struct TNumberScreen {
    TComponent Owner{nullptr};
    TVeRGBPanel* Root = new TVeRGBPanel(&Owner);
    TVeRGBNum* Num = new TVeRGBNum(&Owner, Root);
    TVeRGBBits* Target = paneltest::MakeTarget(&Owner, 64, 16);
    explicit TNumberScreen(int sizeX = 5 * GlyphW)
    {
        Root->SetMaskMode(mmNoImage);
        Num->SetOffsetX(4);
        Num->SetOffsetY(2);
        Num->SetSizeX(sizeX);
        Num->SetSizeY(GlyphH + 4);
        Num->SetImage(MakeStrip(&Owner));
        Root->AllCreate();
    }
    // What each target column shows in the panel's top row: the digit of a glyph's matching
    // column, '.' for the background, '?' for anything else. Rows below the glyphs must stay
    // undrawn.
    std::string Shown()
    {
        Target->BoxFill(0, 0, 63, 15, Background);
        Root->Draw(Target);
        std::string out;
        const int right = 4 + Num->SizeX();
        for (int x = 0; x < 64; ++x) {
            const uint32_t c = Target->PGet(x, 2);
            const int d = int(c >> 16) - 1;
            const int column = GlyphW - 1 - (right - 1 - x) % GlyphW;
            out += c == Background ? '.' : x < right && c == GlyphPixel(d, column, 0) ? char('0' + d) : '?';
            for (int y = 2 + GlyphH; y < 16; ++y)
                EXPECT_EQ(Target->PGet(x, y), Background) << x << "," << y;
        }
        return out.substr(4, Num->SizeX() + 2);
    }
    static std::string Cells(const std::string& digits)
    {
        std::string out;
        for (char c : digits)
            out += std::string(GlyphW, c);
        return out + "..";
    }
};

}  // namespace

TEST(NumberPanel, DrawsRightAlignedDigitsWithoutLeadingZeros)
{
    TNumberScreen s;
    EXPECT_EQ(s.Shown(), s.Cells("....0"));
    s.Num->SetNumber(123);
    s.Num->SetColumn(2);
    EXPECT_EQ(s.Shown(), s.Cells("...23"));
    s.Num->SetNumber(7);
    s.Num->SetColumn(3);
    EXPECT_EQ(s.Shown(), s.Cells("....7"));
    s.Num->SetColumn(0);
    EXPECT_EQ(s.Shown(), s.Cells("....."));
    EXPECT_TRUE(s.Num->CallOnDraw(s.Target, 0, 0, 0, 0, 40, 10));
    s.Num->SetColumn(11);
    s.Num->SetColumn(-1);
    EXPECT_EQ(s.Num->Column(), 0);

    // Negative values show their magnitude, the most negative one included.
    s.Num->SetColumn(5);
    s.Num->SetNumber(-45);
    EXPECT_EQ(s.Shown(), s.Cells("...45"));
    s.Num->SetNumber(INT_MIN);
    EXPECT_EQ(s.Shown(), s.Cells("83648"));
}

TEST(NumberPanel, ClipsDigitsToThePanelAndToTheAskedPart)
{
    TNumberScreen s(2 * GlyphW + 3);  // two whole cells and the right 3 columns of a third
    s.Num->SetColumn(10);
    s.Num->SetNumber(INT_MAX);
    EXPECT_EQ(s.Shown(), "666" + s.Cells("47"));

    // Panel columns 5..12, rows 1..3 at (10, 5): the 4's right columns and the 7's left ones.
    s.Target->BoxFill(0, 0, 63, 15, Background);
    EXPECT_TRUE(s.Num->CallOnDraw(s.Target, 10, 5, 5, 1, 8, 3));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            const int px = x - 10 + 5, py = y - 5 + 1;
            uint32_t want = Background;
            if (x >= 10 && x < 18 && y >= 5 && y < 8)
                want = px < 11 ? GlyphPixel(4, px - 3, py) : GlyphPixel(7, px - 11, py);
            EXPECT_EQ(s.Target->PGet(x, y), want) << x << "," << y;
        }
}

TEST(NumberPanel, MaskModesAndShortStrips)
{
    TNumberScreen s;
    s.Num->SetNumber(1);
    s.Num->SetMaskMode(mmColorKey);
    s.Num->SetColorKey(VeRGB(GlyphPixel(1, 0, 0)));
    EXPECT_EQ(s.Shown(), std::string(4 * GlyphW + 1, '.') + "1111111..");
    s.Num->SetMaskMode(mmAlphaMask);  // no Alpha: nothing
    EXPECT_EQ(s.Shown(), s.Cells("....."));
    // The plane is read where the glyph lies in the strip: opaque only over digit 1.
    auto* alpha = new TVeAlpha(&s.Owner);
    alpha->Resize(GlyphW, GlyphH * 10);
    alpha->Create();
    alpha->BoxFill(0, GlyphH, GlyphW - 1, 2 * GlyphH - 1, 255);
    s.Num->SetAlpha(alpha);
    EXPECT_EQ(s.Shown(), s.Cells("....1"));
    s.Num->SetNumber(2);
    EXPECT_EQ(s.Shown(), s.Cells("....."));

    // A strip under 10 rows is left to the default image drawing.
    s.Num->SetImage(paneltest::MakeTarget(&s.Owner, 4, 9));
    EXPECT_FALSE(s.Num->CallOnDraw(s.Target, 0, 0, 0, 0, 10, 10));
}

TEST(NumberPanel, UndrawnCellsShowThePanelsBeneath)
{
    // One cell exactly the size of a glyph and of its parent, with no digit drawn: the
    // parent's image must still be drawn beneath it.
    TComponent owner(nullptr);
    auto* root = new TVeRGBPanel(&owner);
    root->SetImage(paneltest::MakeImage(&owner, GlyphW, GlyphH, 3));
    auto* num = new TVeRGBNum(&owner, root);
    num->SetSizeX(GlyphW);
    num->SetSizeY(GlyphH);
    num->SetImage(MakeStrip(&owner));
    num->SetColumn(0);
    root->AllCreate();
    auto* target = paneltest::MakeTarget(&owner, GlyphW, GlyphH);
    root->Draw(target);
    EXPECT_EQ(target->PGet(1, 1), paneltest::Colour(1, 1, 3));
}
