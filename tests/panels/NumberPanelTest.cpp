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

TVeRGBBits* MakeStrip(TComponent* owner, int glyphH = GlyphH)
{
    auto* strip = new TVeRGBBits(owner);
    strip->Resize(GlyphW, glyphH * 10);
    strip->Create();
    for (int d = 0; d < 10; ++d)
        for (int y = 0; y < glyphH; ++y)
            for (int x = 0; x < GlyphW; ++x)
                strip->BoxFill(x, d * glyphH + y, x, d * glyphH + y, GlyphPixel(d, x, y));
    return strip;
}

struct TNumberScreen {
    TComponent Owner{nullptr};
    TVeRGBPanel* Root;
    TVeRGBNum* Num;
    TVeRGBBits* Target;
    TNumberScreen(int sizeX = 5 * GlyphW)
    {
        Root = new TVeRGBPanel(&Owner);
        Root->SetMaskMode(mmNoImage);
        Num = new TVeRGBNum(&Owner, Root);
        Num->SetOffsetX(4);
        Num->SetOffsetY(2);
        Num->SetSizeX(sizeX);
        Num->SetSizeY(GlyphH + 4);
        Num->SetImage(MakeStrip(&Owner));
        Root->AllCreate();
        Target = paneltest::MakeTarget(&Owner, 64, 16);
    }
    // The digits read back from the cells, right to left, as text ('.' for an undrawn cell,
    // '?' for a cell that is not one whole glyph); also checks the rows below the glyphs.
    std::string Shown()
    {
        Target->BoxFill(0, 0, 63, 15, Background);
        Root->Draw(Target);
        std::string out;
        for (int cell = 0; cell * GlyphW < Num->SizeX(); ++cell) {
            const int left = 4 + Num->SizeX() - GlyphW * (cell + 1);
            const uint32_t first = Target->PGet(left + 1, 2 + 1);
            char c = '.';
            if (first != Background) {
                const int d = int(first >> 16) - 1;
                c = char('0' + d);
                for (int y = 0; y < GlyphH; ++y)
                    for (int x = 0; x < GlyphW; ++x)
                        if (Target->PGet(left + x, 2 + y) != GlyphPixel(d, x, y))
                            c = '?';
            }
            out.insert(out.begin(), c);
        }
        for (int x = 0; x < 64; ++x)
            for (int y = 2 + GlyphH; y < 16; ++y)
                EXPECT_EQ(Target->PGet(x, y), Background) << x << "," << y;
        return out;
    }
};

}  // namespace

TEST(NumberPanel, DrawsRightAlignedDigitsWithoutLeadingZeros)
{
    TNumberScreen s;
    EXPECT_EQ(s.Num->NumBlock(), 10);
    EXPECT_EQ(s.Shown(), "....0");
    s.Num->SetNumber(123);
    s.Num->SetColumn(2);
    EXPECT_EQ(s.Shown(), "...23");
    s.Num->SetNumber(7);
    s.Num->SetColumn(3);
    EXPECT_EQ(s.Shown(), "....7");
    s.Num->SetNumber(90210);
    s.Num->SetColumn(5);
    EXPECT_EQ(s.Shown(), "90210");
    s.Num->SetColumn(0);
    EXPECT_EQ(s.Shown(), ".....");
    EXPECT_TRUE(s.Num->CallOnDraw(s.Target, 0, 0, 0, 0, 40, 10));

    s.Num->SetColumn(11);
    s.Num->SetColumn(-1);
    EXPECT_EQ(s.Num->Column(), 0);
}

TEST(NumberPanel, NegativeValuesShowTheirMagnitude)
{
    TNumberScreen s;
    s.Num->SetColumn(5);
    s.Num->SetNumber(-45);
    EXPECT_EQ(s.Shown(), "...45");
    s.Num->SetNumber(INT_MIN);  // 2147483648: the last five digits fit
    EXPECT_EQ(s.Shown(), "83648");
}

TEST(NumberPanel, MoreDigitsThanFitAreClippedAtThePanelsLeftEdge)
{
    TNumberScreen s(2 * GlyphW + 3);  // two whole cells and the right 3 columns of a third
    s.Num->SetColumn(10);
    s.Num->SetNumber(INT_MAX);  // 2147483647
    s.Target->BoxFill(0, 0, 63, 15, Background);
    s.Root->Draw(s.Target);
    const int right = 4 + s.Num->SizeX();
    for (int x = 0; x < 64; ++x) {
        const uint32_t got = s.Target->PGet(x, 2);
        if (x < 4 || x >= right) {
            EXPECT_EQ(got, Background) << x;
            continue;
        }
        const int fromRight = right - 1 - x;
        const int digit = fromRight < GlyphW ? 7 : fromRight < 2 * GlyphW ? 4 : 6;
        EXPECT_EQ(got, GlyphPixel(digit, GlyphW - 1 - fromRight % GlyphW, 0)) << x;
    }
}

TEST(NumberPanel, DrawsOnlyTheAskedPartWithTheGlyphsOwnColumns)
{
    TNumberScreen s;
    s.Num->SetColumn(5);
    s.Num->SetNumber(58);
    s.Target->BoxFill(0, 0, 63, 15, Background);
    // Panel columns 30..35, rows 1..3: the right part of the 5 and the left part of the 8.
    EXPECT_TRUE(s.Num->CallOnDraw(s.Target, 10, 5, 30, 1, 6, 3));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            uint32_t want = Background;
            if (x >= 10 && x < 16 && y >= 5 && y < 8) {
                const int px = x - 10 + 30, py = y - 5 + 1;
                want = px < 32 ? GlyphPixel(5, px - 24, py) : GlyphPixel(8, px - 32, py);
            }
            EXPECT_EQ(s.Target->PGet(x, y), want) << x << "," << y;
        }
}

TEST(NumberPanel, UndrawnCellsShowThePanelsBeneath)
{
    // The number does not hide its parent's image even where that image lies fully beneath it.
    TComponent owner(nullptr);
    auto* root = new TVeRGBPanel(&owner);
    root->SetImage(paneltest::MakeImage(&owner, 640, 480, 3));
    auto* num = new TVeRGBNum(&owner, root);
    num->SetSizeX(3 * GlyphW);
    num->SetSizeY(GlyphH);
    num->SetImage(MakeStrip(&owner));
    root->AllCreate();
    auto* target = paneltest::MakeTarget(&owner, 640, 480);
    root->Draw(target);
    EXPECT_EQ(target->PGet(1, 1), paneltest::Colour(1, 1, 3));
    EXPECT_EQ(target->PGet(2 * GlyphW + 1, 1), GlyphPixel(0, 1, 1));

    // One cell exactly the size of a glyph and of its parent, with no digit drawn.
    root->SetSizeX(GlyphW);
    root->SetSizeY(GlyphH);
    num->SetSizeX(GlyphW);
    num->SetColumn(0);
    target->Cls();
    root->Draw(target);
    EXPECT_EQ(target->PGet(1, 1), paneltest::Colour(1, 1, 3));
}

TEST(NumberPanel, ShortImagesAndMaskModes)
{
    TNumberScreen s;
    // A strip under 10 rows leaves the panel to the default image drawing.
    auto* tiny = new TVeRGBBits(&s.Owner);
    tiny->Resize(4, 9);
    tiny->Create();
    s.Num->SetImage(tiny);
    EXPECT_FALSE(s.Num->CallOnDraw(s.Target, 0, 0, 0, 0, 10, 10));
    s.Num->SetImage(nullptr);
    EXPECT_FALSE(s.Num->CallOnDraw(s.Target, 0, 0, 0, 0, 10, 10));

    s.Num->SetImage(MakeStrip(&s.Owner));
    s.Num->SetNumber(1);
    s.Num->SetMaskMode(mmColorKey);
    s.Num->SetColorKey(VeRGB(GlyphPixel(1, 0, 0)));
    s.Target->BoxFill(0, 0, 63, 15, Background);
    s.Root->Draw(s.Target);
    const int left = 4 + 4 * GlyphW;
    EXPECT_EQ(s.Target->PGet(left, 2), Background);
    EXPECT_EQ(s.Target->PGet(left + 1, 2), GlyphPixel(1, 1, 0));

    for (TMaskMode mode : {mmNoImage, mmAlphaMask}) {  // no Alpha: nothing drawn
        s.Num->SetMaskMode(mode);
        EXPECT_EQ(s.Shown(), ".....");
    }
    // The plane is read where the glyph lies in the strip: opaque only over digit 1.
    auto* alpha = new TVeAlpha(&s.Owner);
    alpha->Resize(GlyphW, GlyphH * 10);
    alpha->Create();
    alpha->BoxFill(0, GlyphH, GlyphW - 1, 2 * GlyphH - 1, 255);
    s.Num->SetAlpha(alpha);
    EXPECT_EQ(s.Shown(), "....1");
    s.Num->SetNumber(2);
    EXPECT_EQ(s.Shown(), ".....");
}

TEST(NumberPanel, ChangesMarkTheShownPanelOnly)
{
    TNumberScreen s;
    s.Root->Draw(s.Target);
    s.Num->SetNumber(5);
    EXPECT_TRUE(s.Num->GetModified());
    s.Root->Draw(s.Target);
    s.Num->SetImage(nullptr);
    s.Root->Draw(s.Target);
    s.Num->SetNumber(6);
    EXPECT_FALSE(s.Num->GetModified());

    TComponent owner(nullptr);
    auto* alone = new TVeRGBNum(&owner);
    EXPECT_EQ(alone->SizeX(), 98);
    EXPECT_EQ(alone->SizeY(), 31);
    EXPECT_FALSE(alone->AutoSize());
    EXPECT_EQ(alone->NumBlock(), 1);
    EXPECT_EQ(alone->Column(), 1);
}
