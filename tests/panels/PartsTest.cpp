#include <gtest/gtest.h>

#include "PanelTestKit.h"
#include "panels/Vergbparts.h"

using paneltest::Colour;
using paneltest::MakeImage;

namespace {

const TVePartsData End{-1, -1, -1, -1, -1};

}  // namespace

TEST(Parts, CutsEachRecordIntoAStripOfBlocks)
{
    TComponent owner(nullptr);
    TVeRGBBits* sheet = MakeImage(&owner, 100, 60, 5);
    TVeAlpha* alpha = paneltest::MakeAlpha(&owner, 100, 60);
    const TVePartsData table[] = {{10, 20, 30, 10, 3}, {0, 0, 100, 60, 1}, End};
    TVeRGBParts parts(nullptr);
    ASSERT_TRUE(parts.SetParts(sheet, alpha, table));
    EXPECT_EQ(parts.GetSize(), 2);
    TVeRGBBits* first = parts.GetImage(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Width(), 30);
    EXPECT_EQ(first->Height(), 30);
    EXPECT_EQ(first->PixFormat(), pf24_888);
    EXPECT_EQ(first->PGet(4, 25), Colour(14, 45, 5));
    EXPECT_EQ(parts.GetPattern(0), 3);
    ASSERT_NE(parts.GetAlpha(0), nullptr);
    EXPECT_EQ(parts.GetAlpha(0)->PGet(4, 25), alpha->PGet(14, 45));
    EXPECT_EQ(parts.GetPattern(1), 1);

    // Parts can be panel images directly.
    TVeRGBPanel panel(nullptr);
    panel.SetNumBlock(parts.GetPattern(0));
    panel.SetImage(parts.GetImage(0));
    EXPECT_EQ(panel.SizeY(), 10);
}

TEST(Parts, RecordsOutsideTheSheetLeaveTheirPartEmpty)
{
    TComponent owner(nullptr);
    TVeRGBBits* sheet = MakeImage(&owner, 100, 60, 5);
    const TVePartsData table[] = {
        {71, 0, 30, 10, 1},          // one column too wide
        {0, 51, 10, 10, 1},          // one row too low
        {0, 0, 10, 20, 3},           // three blocks reach row 60: fits
        {0, 0, 10, 0x40000000, 4},   // a block count whose product overflows 32 bits
        {-0, -1, 5, 5, 1},
        {0, 0, 5, 5, 0},
        End};
    TVeRGBParts parts(nullptr);
    ASSERT_TRUE(parts.SetParts(sheet, table));
    EXPECT_EQ(parts.GetSize(), 6);
    EXPECT_EQ(parts.GetImage(0), nullptr);
    EXPECT_EQ(parts.GetImage(1), nullptr);
    EXPECT_NE(parts.GetImage(2), nullptr);
    EXPECT_EQ(parts.GetImage(3), nullptr);
    EXPECT_EQ(parts.GetImage(4), nullptr);
    EXPECT_EQ(parts.GetPattern(5), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(parts.GetAlpha(i), nullptr);  // no plane given
    EXPECT_EQ(parts.GetImage(6), nullptr);
    EXPECT_EQ(parts.GetImage(-1), nullptr);
    EXPECT_EQ(parts.GetAlpha(-1), nullptr);
    EXPECT_EQ(parts.GetPattern(-1), 0);
}

TEST(Parts, RefusesAnEmptyTableOrAMissingSheetAndKeepsWhatItHolds)
{
    TComponent owner(nullptr);
    TVeRGBBits* sheet = MakeImage(&owner, 20, 20, 1);
    TVeAlpha notCreated(nullptr);
    const TVePartsData one[] = {{0, 0, 4, 4, 1}, End};
    const TVePartsData none[] = {End};
    TVeRGBParts parts(nullptr);
    ASSERT_TRUE(parts.SetParts(sheet, &notCreated, one));
    EXPECT_EQ(parts.GetAlpha(0), nullptr);
    TVeRGBBits* kept = parts.GetImage(0);
    EXPECT_FALSE(parts.SetParts(sheet, none));
    TVeRGBBits blank(nullptr);
    EXPECT_FALSE(parts.SetParts(&blank, one));
    EXPECT_FALSE(parts.SetParts(nullptr, one));
    EXPECT_FALSE(parts.SetParts(sheet, nullptr, one, 0));
    EXPECT_EQ(parts.GetImage(0), kept);
    parts.FreeParts();
    EXPECT_EQ(parts.GetSize(), 0);
    EXPECT_EQ(parts.GetImage(0), nullptr);
}

TEST(Parts, DepthAndFormatFollowEachOtherAndFreezeWhilePartsAreHeld)
{
    TVeRGBParts parts(nullptr);
    EXPECT_EQ(parts.BitDepth(), bd24);
    EXPECT_EQ(parts.PixFormat(), pf24_888);
    parts.SetBitDepth(bd32);
    EXPECT_EQ(parts.PixFormat(), pf32_888);
    parts.SetPixFormat(pf32_8888);
    EXPECT_EQ(parts.BitDepth(), bd32);
    parts.SetPixFormat(pf16_555);
    EXPECT_EQ(parts.BitDepth(), bd16);
    parts.SetBitDepth(bd8);
    EXPECT_EQ(parts.PixFormat(), pfNone);

    parts.SetBitDepth(bd32);
    TComponent owner(nullptr);
    TVeRGBBits* sheet = MakeImage(&owner, 20, 20, 1, bd32);
    const TVePartsData one[] = {{0, 0, 4, 4, 1}, End};
    ASSERT_TRUE(parts.SetParts(sheet, one));
    EXPECT_EQ(parts.GetImage(0)->PixFormat(), pf32_888);
    EXPECT_EQ(parts.GetImage(0)->PGet(1, 2), Colour(1, 2, 1));
    parts.SetBitDepth(bd24);
    parts.SetPixFormat(pf16_565);
    EXPECT_EQ(parts.BitDepth(), bd32);
    EXPECT_EQ(parts.PixFormat(), pf32_888);
}
