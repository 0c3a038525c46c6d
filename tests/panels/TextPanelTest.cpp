#include <gtest/gtest.h>

#include <climits>

#include "PanelTestKit.h"
#include "panels/Vergbtext.h"

namespace {

struct TTextScreen {
    TComponent Owner{nullptr};
    TVeRGBText* Text = new TVeRGBText(&Owner);
    explicit TTextScreen(bool antiAliase = false)
    {
        Text->SetAntiAliase(antiAliase);
        Text->MakeBuffer(pf32_888);
    }
    bool Inked(int x, int y) const
    {
        if (Text->AntiAliase())
            return Text->AlphaPlane()->PGet(x, y) != 0;
        return Text->ColorBuffer()->PGet(x, y) != Text->KeyColor();
    }
    // The first and last columns holding text; {-1, -1} when none does.
    std::pair<int, int> InkColumns() const
    {
        std::pair<int, int> cols{-1, -1};
        for (int x = 0; x < Text->SizeX(); ++x)
            for (int y = 0; y < Text->SizeY(); ++y)
                if (Inked(x, y))
                    cols = {cols.first < 0 ? x : cols.first, x};
        return cols;
    }
};

const std::pair<int, int> NoInk{-1, -1};

}  // namespace

TEST(TextPanel, PlainModeDrawsTheTextColourOverTheKeyColourOnly)
{
    TTextScreen s;
    ASSERT_TRUE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->Image(), s.Text->ColorBuffer());
    EXPECT_EQ(s.Text->MaskMode(), mmColorKey);
    EXPECT_EQ(s.InkColumns(), NoInk);  // empty text
    EXPECT_NE(GetFontFamily(s.Text->FontHandle()).find("JP"), std::string::npos);

    s.Text->SetTextColor(0xFF8000);
    EXPECT_EQ(s.Text->ColorKey(), VeRGB(0x007FFF));
    // Set through the panel type, as code that holds any kind of panel does.
    TVeRGBPanel* panel = s.Text;
    panel->SetText("AB");
    EXPECT_EQ(panel->GetText(), "AB");
    EXPECT_GE(s.InkColumns().first, 0);
    EXPECT_LT(s.InkColumns().second, 24);  // two half-width cells

    // Through the tree only the text colour lands; the key lets what lies beneath show.
    auto* target = new TVeRGBBits(&s.Owner);
    target->SetPixFormat(pf32_888);
    target->Resize(160, 24);
    target->Create();
    target->BoxFill(0, 0, 159, 23, 0x000011);
    s.Text->AllCreate();
    s.Text->Draw(target);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 160; ++x)
            ASSERT_EQ(target->PGet(x, y), s.Inked(x, y) ? 0xFF8000u : 0x000011u) << x << "," << y;
}

TEST(TextPanel, CenteringCountsHalfWidthCellsAndClipsBothEnds)
{
    TTextScreen s;
    s.Text->SetCentering(true);
    s.Text->SetText("WWWW");  // starts at (160 - 4 x 12) / 2 = 56
    auto cols = s.InkColumns();
    EXPECT_GE(cols.first, 56);
    EXPECT_LE(cols.first, 58);
    EXPECT_GE(cols.second, 100);
    EXPECT_LT(cols.second, 104);
    s.Text->SetText(std::string(20, 'W'));  // 240 pixels from -40: cut at both edges
    EXPECT_EQ(s.InkColumns(), std::make_pair(0, 159));
}

TEST(TextPanel, AntiAliasedModeAveragesTheDoubledPlane)
{
    TTextScreen s(true);
    EXPECT_EQ(s.Text->MaskMode(), mmAlphaMask);
    EXPECT_EQ(s.Text->Alpha(), s.Text->AlphaPlane());
    EXPECT_EQ(s.InkColumns(), NoInk);

    s.Text->SetText("\x82\xa0" "a");  // a double-byte and a single-byte character
    TVeAlphaDib* d = s.Text->DoubledPlane();
    ASSERT_EQ(d->Width(), 320);
    bool partial = false;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 160; ++x) {
            int sum = 0;
            for (int k = 0; k < 4; ++k) {
                const uint8_t v = d->PGet(2 * x + k % 2, 2 * y + k / 2);
                ASSERT_TRUE(v == 0 || v == 255);  // glyphs without anti-aliasing
                sum += v;
            }
            ASSERT_EQ(s.Text->AlphaPlane()->PGet(x, y), sum / 4) << x << "," << y;
            partial = partial || (sum != 0 && sum != 4 * 255);
        }
    EXPECT_TRUE(partial);
    EXPECT_LT(s.InkColumns().second, 36);

    s.Text->SetTextColorRed(300);  // 300 mod 256 = 44
    EXPECT_EQ(s.Text->GetTextColor(), 0x2CFFFFu);
    EXPECT_EQ(s.Text->ColorBuffer()->PGet(159, 23), 0x2CFFFFu);

    s.Text->SetAntiAliase(false);
    EXPECT_EQ(s.Text->MaskMode(), mmColorKey);
    EXPECT_EQ(s.Text->Alpha(), nullptr);
    EXPECT_GE(s.InkColumns().first, 0);  // drawn again in the plain mode
}

TEST(TextPanel, NoFontOrNoBufferDrawsNothingAndRecovers)
{
    TTextScreen s;
    s.Text->SetText("AB");
    s.Text->SetFontSize(0);
    EXPECT_EQ(s.Text->FontHandle(), nullptr);
    EXPECT_EQ(s.InkColumns(), NoInk);
    s.Text->SetFontSize(INT_MAX);
    s.Text->SetCentering(true);
    s.Text->SetAntiAliase(true);  // twice INT_MAX would wrap
    EXPECT_EQ(s.Text->FontHandle(), nullptr);
    EXPECT_EQ(s.InkColumns(), NoInk);
    s.Text->SetFontSize(12);
    EXPECT_GT(s.InkColumns().first, 0);

    // A size the buffers cannot take leaves the panel without buffers; setters only store.
    s.Text->SetSizeX(0);
    EXPECT_FALSE(s.Text->CreateBuffer());
    EXPECT_FALSE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->Image(), nullptr);
    EXPECT_EQ(s.Text->Alpha(), nullptr);
    s.Text->SetText("still safe");
    s.Text->SetAntiAliase(false);
    s.Text->SetSizeX(40);
    s.Text->MakeBuffer(pf24_888);
    ASSERT_TRUE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->ColorBuffer()->Width(), 40);
    EXPECT_GE(s.InkColumns().first, 0);
}
