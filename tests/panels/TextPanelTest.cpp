#include <gtest/gtest.h>

#include <climits>

#include "PanelTestKit.h"
#include "panels/Vergbtext.h"

namespace {

struct TTextScreen {
    TComponent Owner{nullptr};
    TVeRGBText* Text;
    TTextScreen(bool antiAliase = false)
    {
        Text = new TVeRGBText(&Owner);
        Text->SetAntiAliase(antiAliase);
        Text->MakeBuffer(pf32_888);
    }
    // The columns [first, last] holding pixels other than the key colour (or a non-zero alpha);
    // {-1, -1} when there are none.
    std::pair<int, int> InkColumns() const
    {
        int first = -1, last = -1;
        for (int x = 0; x < Text->SizeX(); ++x)
            for (int y = 0; y < Text->SizeY(); ++y)
                if (Inked(x, y)) {
                    if (first < 0)
                        first = x;
                    last = x;
                }
        return {first, last};
    }
    bool Inked(int x, int y) const
    {
        if (Text->AntiAliase())
            return Text->AlphaPlane()->PGet(x, y) != 0;
        return Text->ColorBuffer()->PGet(x, y) != Text->KeyColor();
    }
};

}  // namespace

TEST(TextPanel, PlainModeDrawsTheTextColourOverTheKeyColourOnly)
{
    TTextScreen s;
    EXPECT_EQ(s.Text->SizeX(), 160);
    EXPECT_EQ(s.Text->SizeY(), 24);
    ASSERT_TRUE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->Image(), s.Text->ColorBuffer());
    EXPECT_EQ(s.Text->Alpha(), nullptr);
    EXPECT_EQ(s.Text->MaskMode(), mmColorKey);
    EXPECT_EQ(s.Text->ColorBuffer()->PixFormat(), pf32_888);
    EXPECT_EQ(s.InkColumns(), std::make_pair(-1, -1));  // empty text: key colour only
    ASSERT_NE(s.Text->FontHandle(), nullptr);
    EXPECT_NE(GetFontFamily(s.Text->FontHandle()).find("JP"), std::string::npos);

    s.Text->SetTextColor(0xFF8000);
    EXPECT_EQ(s.Text->KeyColor(), 0x007FFFu);
    EXPECT_EQ(s.Text->ColorKey(), VeRGB(0x007FFF));
    s.Text->SetText("AB");
    int ink = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 160; ++x) {
            const uint32_t c = s.Text->ColorBuffer()->PGet(x, y);
            ASSERT_TRUE(c == 0xFF8000 || c == 0x007FFF) << x << "," << y << ": " << std::hex << c;
            ink += c == 0xFF8000;
        }
    EXPECT_GT(ink, 20);
    const auto cols = s.InkColumns();
    EXPECT_GE(cols.first, 0);
    EXPECT_LT(cols.second, 24);  // two half-width cells of 12

    // Through the tree the key colour lets the panels beneath show.
    auto* target = new TVeRGBBits(&s.Owner);
    target->SetPixFormat(pf32_888);  // blits need the same format on both sides
    target->Resize(160, 24);
    target->Create();
    target->BoxFill(0, 0, 159, 23, 0x000011);
    s.Text->AllCreate();
    s.Text->Draw(target);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 160; ++x)
            EXPECT_EQ(target->PGet(x, y), s.Inked(x, y) ? 0xFF8000u : 0x000011u) << x << "," << y;
}

TEST(TextPanel, CenteringCountsHalfWidthCellsAndClipsBothEnds)
{
    TTextScreen s;
    s.Text->SetCentering(true);
    s.Text->SetText("WWWW");  // starts at (160 - 4 x 12) / 2 = 56
    auto cols = s.InkColumns();
    EXPECT_GE(cols.first, 56);
    EXPECT_LE(cols.first, 58);
    EXPECT_LT(cols.second, 104);
    EXPECT_GE(cols.second, 100);

    // 20 x 12 = 240 pixels: the origin is -40 and both ends are cut at the buffer's edges.
    s.Text->SetText(std::string(20, 'W'));
    cols = s.InkColumns();
    EXPECT_EQ(cols.first, 0);
    EXPECT_EQ(cols.second, 159);
    // A long text: its origin lies far left of the buffer.
    s.Text->SetText(std::string(2000, 'W'));
    EXPECT_EQ(s.InkColumns().first, 0);
}

TEST(TextPanel, AntiAliasedModeAveragesTheDoubledPlane)
{
    TTextScreen s(true);
    ASSERT_TRUE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->MaskMode(), mmAlphaMask);
    EXPECT_EQ(s.Text->Alpha(), s.Text->AlphaPlane());
    EXPECT_EQ(s.Text->DoubledPlane()->Width(), 320);
    EXPECT_EQ(s.Text->DoubledPlane()->Height(), 48);
    EXPECT_EQ(s.InkColumns(), std::make_pair(-1, -1));

    s.Text->SetText("\x82\xa0" "a");  // a double-byte character and a single-byte one
    TVeAlphaDib* d = s.Text->DoubledPlane();
    bool partial = false;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_TRUE(d->PGet(x, y) == 0 || d->PGet(x, y) == 255) << x << "," << y;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 160; ++x) {
            const int sum = d->PGet(2 * x, 2 * y) + d->PGet(2 * x + 1, 2 * y) + d->PGet(2 * x, 2 * y + 1) +
                            d->PGet(2 * x + 1, 2 * y + 1);
            ASSERT_EQ(s.Text->AlphaPlane()->PGet(x, y), sum / 4) << x << "," << y;
            partial = partial || (sum != 0 && sum != 4 * 255);
        }
    EXPECT_TRUE(partial);  // smoothed edges
    EXPECT_LT(s.InkColumns().second, 36);

    // A colour change only refills the solid colour behind the mask.
    s.Text->SetTextColorRed(300);
    EXPECT_EQ(s.Text->GetTextColor(), 0x2CFFFFu);
    EXPECT_EQ(s.Text->GetTextColorRed(), 44);
    EXPECT_EQ(s.Text->ColorBuffer()->PGet(159, 23), 0x2CFFFFu);
    s.Text->SetTextColorBlue(0x110);
    EXPECT_EQ(s.Text->GetTextColor(), 0x2CFF10u);

    // Off again: plain buffers, colour key, no alpha, the text redrawn.
    s.Text->SetAntiAliase(false);
    EXPECT_EQ(s.Text->MaskMode(), mmColorKey);
    EXPECT_EQ(s.Text->Alpha(), nullptr);
    EXPECT_EQ(s.Text->AlphaPlane(), nullptr);
    EXPECT_GE(s.InkColumns().first, 0);
}

TEST(TextPanel, NoFontOrNoBufferDrawsNothingAndRecovers)
{
    TTextScreen s;
    s.Text->SetText("AB");
    s.Text->SetFontSize(0);
    EXPECT_EQ(s.Text->FontHandle(), nullptr);
    EXPECT_EQ(s.InkColumns(), std::make_pair(-1, -1));
    s.Text->SetFontSize(-5);
    s.Text->SetFontSize(INT_MAX);
    s.Text->SetCentering(true);
    s.Text->SetText("ABC");
    EXPECT_EQ(s.InkColumns(), std::make_pair(-1, -1));
    s.Text->SetAntiAliase(true);  // twice INT_MAX would wrap
    EXPECT_EQ(s.Text->FontHandle(), nullptr);
    s.Text->SetAntiAliase(false);
    s.Text->SetFontSize(12);
    ASSERT_NE(s.Text->FontHandle(), nullptr);
    EXPECT_GE(s.InkColumns().first, 0);

    // A panel size the buffers cannot take leaves the panel without buffers.
    s.Text->SetSizeX(0);
    EXPECT_FALSE(s.Text->CreateBuffer());
    EXPECT_FALSE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->Image(), nullptr);
    EXPECT_EQ(s.Text->ColorBuffer(), nullptr);
    s.Text->SetText("still safe");
    s.Text->DrawText();
    s.Text->SetSizeX(40);
    s.Text->SetAntiAliase(true);
    EXPECT_FALSE(s.Text->BuffersMade());  // the setters only store while not made
    s.Text->MakeBuffer(pf24_888);
    ASSERT_TRUE(s.Text->BuffersMade());
    EXPECT_EQ(s.Text->ColorBuffer()->Width(), 40);
    EXPECT_EQ(s.Text->MaskMode(), mmAlphaMask);

    // Released: Image and Alpha cleared before the buffers go.
    s.Text->ReleaseBuffer();
    EXPECT_EQ(s.Text->Image(), nullptr);
    EXPECT_EQ(s.Text->Alpha(), nullptr);
    EXPECT_EQ(s.Text->FontHandle(), nullptr);
}

TEST(TextPanel, FontCopiesKeepTheirFaceButNotTheirHeight)
{
    TTextScreen s;
    TFont chinese;
    chinese.Name = "SimSun";
    chinese.Charset = GB2312_CHARSET;
    chinese.Height = -40;
    chinese.Pitch = fpVariable;
    s.Text->SetFont(&chinese);
    EXPECT_EQ(s.Text->Font()->Height, -24);
    EXPECT_EQ(s.Text->Font()->Pitch, fpFixed);
    EXPECT_EQ(s.Text->Font()->Charset, GB2312_CHARSET);
    ASSERT_NE(s.Text->FontHandle(), nullptr);
    s.Text->SetFont(nullptr);  // ignored
    EXPECT_EQ(s.Text->Font()->Charset, GB2312_CHARSET);
    s.Text->SetText("\xb0\xa1");  // one GB2312 character, 24 pixels wide
    const auto cols = s.InkColumns();
    EXPECT_GE(cols.first, 0);
    EXPECT_LT(cols.second, 24);
}
