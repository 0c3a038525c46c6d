// The effect resources: what loads, what is refused with which log line, and that a missing,
// short, oversized or undersized resource never makes an effect read outside its data.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbeffect.h"
#include "game/Zbeffectdata.h"
#include "support/ArchiveFixtures.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

std::unique_ptr<TVeRGBBits> Filled(uint32_t colour, TBitDepth depth = bd24, int w = W, int h = H)
{
    auto b = std::make_unique<TVeRGBBits>(nullptr);
    b->SetBitDepth(depth);
    b->Resize(w, h);
    b->Create();
    b->BoxFill(0, 0, w - 1, h - 1, colour);
    return b;
}

// Pixel (x, y) encodes its own position, so a displaced read names where it came from.
std::unique_ptr<TVeRGBBits> Positions()
{
    auto b = Filled(0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = b->Bits() + ptrdiff_t(y) * b->Pitch() + x * 3;
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t((x >> 8) | ((y >> 8) << 4));
        }
    return b;
}

int PosX(TVeRGBBits* b, int x, int y)
{
    const uint8_t* p = b->Bits() + ptrdiff_t(y) * b->Pitch() + x * 3;
    return p[0] | ((p[2] & 15) << 8);
}

int PosY(TVeRGBBits* b, int x, int y)
{
    const uint8_t* p = b->Bits() + ptrdiff_t(y) * b->Pitch() + x * 3;
    return p[1] | ((p[2] >> 4) << 8);
}

std::string LastLog()
{
    return ErrLog->Count() ? ErrLog->Line(ErrLog->Count() - 1) : std::string();
}

class EffectResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZbdataStart();
        ZbeffectStart();
        Files.InitDir(Folder.Path());
    }
    void TearDown() override
    {
        ZbeffectFinish();
        ZbdataFinish();
    }
    void WriteWater(const std::vector<uint8_t>& sin, const std::vector<uint8_t>& multi)
    {
        Folder.Write(WaterDistFileName, MakeWaterDistTable());
        Folder.Write(WaterSinFileName, sin);
        Folder.Write(WaterMultiFileName, multi);
    }

    TScratchFolder Folder;
    TFileMan Files{nullptr};
};

TEST_F(EffectResource, WaterTableLoadsOnceAndFrees)
{
    WriteWater(MakeWaterSinTable(), MakeWaterMultiTable());
    WaterTable->Load(&Files);
    ASSERT_TRUE(WaterTable->Loaded);
    EXPECT_TRUE(std::equal(WaterTable->SinTable, WaterTable->SinTable + 256, MakeWaterSinTable().begin()));
    // A second load while loaded reads nothing, even when the files changed.
    WriteWater(std::vector<uint8_t>(256, 9), std::vector<uint8_t>(8160, 127));
    WaterTable->Load(&Files);
    EXPECT_TRUE(std::equal(WaterTable->SinTable, WaterTable->SinTable + 256, MakeWaterSinTable().begin()));
    WaterTable->Free();
    EXPECT_FALSE(WaterTable->Loaded);
    EXPECT_EQ(WaterTable->DistTable, nullptr);
    WaterTable->Load(&Files);
    EXPECT_EQ(WaterTable->SinTable[0], 9);
}

TEST_F(EffectResource, MissingOrShortWaterFileLeavesTablesUnloaded)
{
    auto dest = Filled(0x102030), old = Filled(0x405060), fresh = Filled(0x708090);
    // No sine table: the water effect must not run on zeros.
    Folder.Write(WaterDistFileName, MakeWaterDistTable());
    Folder.Write(WaterMultiFileName, MakeWaterMultiTable());
    WaterTable->Load(&Files);
    EXPECT_FALSE(WaterTable->Loaded);
    EXPECT_EQ(WaterTable->SinTable, nullptr);
    EXPECT_EQ(LastLog(), "WaterTable Incomplete WaterSinTbl.bin");
    for (int step : {0, 5, 70}) {
        TVeRectSet dirty;
        dest->Cls();
        EXPECT_TRUE(TransWater(dest.get(), &dirty, old.get(), fresh.get(), step)) << step;
        EXPECT_EQ(dest->PGet(100, 100), 0x708090u) << step;
        EXPECT_EQ(TVeRect(dirty), VeRect(0, 0, W, H));
    }
    // One byte short.
    std::vector<uint8_t> dist = MakeWaterDistTable();
    dist.pop_back();
    Folder.Write(WaterDistFileName, dist);
    Folder.Write(WaterSinFileName, MakeWaterSinTable());
    WaterTable->Load(&Files);
    EXPECT_FALSE(WaterTable->Loaded);
    EXPECT_EQ(LastLog(), "WaterTable Incomplete WaterDistTbl.bin");
    // Without a file manager nothing can be read either.
    WaterTable->Load(nullptr);
    EXPECT_FALSE(WaterTable->Loaded);
}

TEST_F(EffectResource, RippleDisplacesBothCoordinatesAndClampsAtTheEdges)
{
    auto src = Positions();
    auto dest = Filled(0);
    // Every amplitude row moves by +50 except row 0, which stays still.
    std::vector<uint8_t> multi(8160, 177);
    std::fill(multi.begin(), multi.begin() + 255, 127);
    WriteWater(MakeWaterSinTable(), multi);
    WaterTable->Load(&Files);
    ASSERT_TRUE(WaterTable->Loaded);
    WaterTable->Ripple24(src->Bits(), W, H, 320, 240, src->Pitch(), dest->Bits(), dest->Pitch(), 0, 0);
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 5)
            ASSERT_TRUE(PosX(dest.get(), x, y) == x && PosY(dest.get(), x, y) == y) << x << "," << y;
    WaterTable->Ripple24(src->Bits(), W, H, 320, 240, src->Pitch(), dest->Bits(), dest->Pitch(), 0, 99);
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 5) {
            ASSERT_EQ(PosX(dest.get(), x, y), std::min(x + 50, W - 1)) << x << "," << y;
            ASSERT_EQ(PosY(dest.get(), x, y), std::min(y + 50, H - 1)) << x << "," << y;
        }
    // A centre that would index past a quadrant of the distance table draws nothing.
    dest->Cls();
    WaterTable->Ripple24(src->Bits(), W, H, 321, 240, src->Pitch(), dest->Bits(), dest->Pitch(), 0, 5);
    WaterTable->Ripple24(src->Bits(), W, H, 320, 239, src->Pitch(), dest->Bits(), dest->Pitch(), 0, 5);
    EXPECT_EQ(dest->PGet(320, 240), 0u);
    // A smaller picture around a centre inside the quadrant limits is fine.
    WaterTable->Ripple24(src->Bits(), 100, 80, 50, 40, src->Pitch(), dest->Bits(), dest->Pitch(), 0, 0);
    EXPECT_EQ(PosX(dest.get(), 99, 79), 99);
}

TEST_F(EffectResource, SineValuesAreClampedToTheLastAmplitudeColumn)
{
    auto src = Positions();
    auto dest = Filled(0);
    // Column 254 of the last row moves by 3; a sine value of 255 would read one past the block.
    std::vector<uint8_t> multi(8160, 127);
    multi[31 * 255 + 254] = 130;
    WriteWater(std::vector<uint8_t>(256, 255), multi);
    WaterTable->Load(&Files);
    ASSERT_TRUE(WaterTable->Loaded);
    EXPECT_EQ(*std::max_element(WaterTable->SinTable, WaterTable->SinTable + 256), 254);
    WaterTable->Ripple24(src->Bits(), W, H, 320, 240, src->Pitch(), dest->Bits(), dest->Pitch(), 8, 31);
    EXPECT_EQ(PosX(dest.get(), 10, 20), 13);
    EXPECT_EQ(PosY(dest.get(), 10, 20), 23);
    // Values written into the table after loading are clamped where they are used.
    WaterTable->SinTable[0] = 255;
    WaterTable->Ripple24(src->Bits(), W, H, 320, 240, src->Pitch(), dest->Bits(), dest->Pitch(), 0, 31);
    EXPECT_EQ(PosX(dest.get(), 10, 20), 13);
}

TEST_F(EffectResource, FadeMaskFailuresLogAndThrow)
{
    // Not there; then not a picture.
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            Folder.Write(FadeMaskFileNames[4], std::string("BM not really a bitmap"));
        const size_t before = ErrLog->Count();
        EXPECT_THROW(FadeAlphaMask->Load(&Files, FadeMaskFileNames[4]), EGameErr);
        EXPECT_EQ(ErrLog->Count(), before + 1);
        EXPECT_EQ(LastLog(), "FadeAlphaMask Not Create");
        EXPECT_FALSE(FadeAlphaMask->Loaded);
        EXPECT_EQ(FadeAlphaMask->Mask, nullptr);
        EXPECT_EQ(FadeAlphaMask->Work, nullptr);
    }
    // Without a mask both wipes show the new screen and end at any level.
    auto dest = Filled(0), old = Filled(0x111111), fresh = Filled(0x222222);
    for (int level : {0, 100, 511}) {
        EXPECT_TRUE(TransMaskAdd(dest.get(), nullptr, old.get(), fresh.get(), level));
        EXPECT_TRUE(TransMaskFade(dest.get(), nullptr, old.get(), fresh.get(), level));
        EXPECT_EQ(dest->PGet(5, 5), 0x222222u);
    }
}

TEST_F(EffectResource, MaskFadeThresholdAndMaskAddMidpoint)
{
    // Left half 232, right half 247.
    std::vector<uint8_t> plane(size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            plane[size_t(y) * W + size_t(x)] = x < W / 2 ? 232 : 247;
    Folder.Write("mask.bmp", MakeGreyBmp(plane, W, H));
    FadeAlphaMask->Load(&Files, "mask.bmp");
    ASSERT_TRUE(FadeAlphaMask->Loaded);
    auto dest = Filled(0), old = Filled(0x203040), fresh = Filled(0xA0B0C0);
    EXPECT_FALSE(TransMaskFade(dest.get(), nullptr, old.get(), fresh.get(), 8));
    EXPECT_EQ(dest->PGet(10, 10), 0x203040u);
    EXPECT_EQ(dest->PGet(600, 10), 0xA0B0C0u);
    EXPECT_FALSE(TransMaskAdd(dest.get(), nullptr, old.get(), fresh.get(), 256));
    EXPECT_TRUE(std::equal(FadeAlphaMask->Work->Bits(), FadeAlphaMask->Work->Bits() + W * H,
                           FadeAlphaMask->Mask->Bits()));
    // A later load replaces the mask.
    Folder.Write("flat.bmp", MakeGreyBmp(std::vector<uint8_t>(size_t(W) * H, 7), W, H));
    FadeAlphaMask->Load(&Files, "flat.bmp");
    EXPECT_EQ(FadeAlphaMask->Mask->PGet(600, 10), 7);
}

TEST_F(EffectResource, SmallMaskWipesOnlyItsOwnArea)
{
    Folder.Write("small.bmp", MakeGreyBmp(std::vector<uint8_t>(320 * 240, 255), 320, 240));
    FadeAlphaMask->Load(&Files, "small.bmp");
    ASSERT_TRUE(FadeAlphaMask->Loaded);
    ASSERT_EQ(FadeAlphaMask->Work->Width(), 320);
    auto dest = Filled(0x010101), old = Filled(0x202020), fresh = Filled(0xF0F0F0);
    EXPECT_FALSE(TransMaskFade(dest.get(), nullptr, old.get(), fresh.get(), 128));
    EXPECT_EQ(dest->PGet(319, 239), 0xF0F0F0u);
    EXPECT_EQ(dest->PGet(320, 239), 0x010101u);
    EXPECT_EQ(dest->PGet(639, 479), 0x010101u);
    EXPECT_FALSE(TransMaskAdd(dest.get(), nullptr, old.get(), fresh.get(), 300));
    EXPECT_TRUE(TransMaskAdd(dest.get(), nullptr, old.get(), fresh.get(), 511));
    EXPECT_EQ(dest->PGet(639, 479), 0xF0F0F0u);
}

TEST_F(EffectResource, HalationSkipsMissingFilesAndRefusesBadOnes)
{
    // Nothing there: loaded, with empty images the effect leaves out.
    HalationImage->Load(&Files, bd24);
    ASSERT_TRUE(HalationImage->Loaded);
    EXPECT_FALSE(HalationImage->HaloBack->Created());
    auto dest = Filled(0), old = Filled(0x808080), fresh = Filled(0x404040);
    EXPECT_FALSE(TransHalation(dest.get(), nullptr, old.get(), nullptr, 1));
    EXPECT_EQ(old->PGet(3, 3), 0x404040u);  // toned to half
    for (int step = 2; step < 37; ++step)
        EXPECT_FALSE(TransHalation(dest.get(), nullptr, old.get(), nullptr, step));
    EXPECT_EQ(dest->PGet(3, 3), 0x404040u);

    // A flare larger than the screen is clipped; one corrupt file fails the whole load.
    TDecodedPicture huge;
    huge.Width = 900;
    huge.Height = 700;
    huge.Pixels.assign(size_t(900) * 700 * 3, 1);
    Folder.Write(HalationFileNames[1], MakeRgbBmp(huge));
    HalationImage->Load(&Files, bd24);
    ASSERT_TRUE(HalationImage->Loaded);
    old = Filled(0x808080);
    for (int step = 0; step <= 36; ++step)
        TransHalation(dest.get(), nullptr, old.get(), fresh.get(), step);
    // Old toned to 0x40 and new 0x40 blend to 0x40; the flare adds 1 even at the far corner.
    EXPECT_EQ(dest->PGet(639, 479), 0x414141u);

    Folder.Write(HalationFileNames[3], std::string("BMxxxx"));
    const size_t before = ErrLog->Count();
    EXPECT_THROW(HalationImage->Load(&Files, bd24), EGameErr);
    EXPECT_EQ(ErrLog->Count(), before + 1);
    EXPECT_EQ(LastLog(), "HalationImage Not Create");
    EXPECT_FALSE(HalationImage->Loaded);
    EXPECT_EQ(HalationImage->HaloBack, nullptr);
    EXPECT_TRUE(TransHalation(dest.get(), nullptr, old.get(), fresh.get(), 3));
    EXPECT_EQ(dest->PGet(1, 1), 0x404040u);
}

TEST_F(EffectResource, UnusablePicturesAreNeverAddressed)
{
    auto dest = Filled(0x010203), old = Filled(0x111111), fresh = Filled(0x222222);
    auto small = Filled(0x333333, bd24, 320, 240);
    auto deep = Filled(0x444444, bd32);
    TVeRGBBits blank(nullptr);
    // An old screen of the wrong size or depth ends the effect with the new screen.
    for (TVeRGBBits* bad : {small.get(), deep.get(), &blank}) {
        dest->Cls();
        EXPECT_TRUE(TransZoomIn(dest.get(), nullptr, bad, fresh.get(), 3));
        EXPECT_EQ(dest->PGet(0, 0), 0x222222u);
        EXPECT_TRUE(TransZoomBlur2(dest.get(), nullptr, bad, nullptr, 3));
    }
    // A new screen that does not fit counts as missing.
    EXPECT_FALSE(TransFade(dest.get(), nullptr, old.get(), small.get(), 64));
    EXPECT_EQ(dest->PGet(0, 0), 0x111111u);
    EXPECT_FALSE(TransZoomIn2(dest.get(), nullptr, old.get(), deep.get(), 4));
    // A screen that is not 640x480 is not drawn into at all.
    EXPECT_TRUE(TransZoomBlur(small.get(), nullptr, old.get(), fresh.get(), 5));
    EXPECT_EQ(small->PGet(0, 0), 0x333333u);
    // Fade at 64 is the average of the two screens.
    EXPECT_FALSE(TransFade(dest.get(), nullptr, old.get(), fresh.get(), 64));
    EXPECT_EQ(dest->PGet(9, 9), 0x191919u);
}

TEST(EffectUnit, StartsAndFinishesOnce)
{
    ZbeffectStart();
    TQJWaterTable* first = WaterTable;
    ZbeffectStart();
    EXPECT_EQ(WaterTable, first);
    ZbeffectFinish();
    EXPECT_EQ(WaterTable, first);
    ZbeffectFinish();
    EXPECT_EQ(WaterTable, nullptr);
    EXPECT_EQ(HalationImage, nullptr);
}

}  // namespace
