// Lines, stretches and the volume rule of the game's picture helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "base/Vergbbits.h"
#include "game/Zbfunc.h"

namespace {

std::unique_ptr<TVeRGBBits> Buffer(TBitDepth depth, int w = 640, int h = 480)
{
    auto b = std::make_unique<TVeRGBBits>(nullptr);
    b->SetBitDepth(depth);
    b->Resize(w, h);
    b->Create();
    return b;
}

std::vector<uint8_t> Bytes(TVeRGBBits* b)
{
    std::vector<uint8_t> v;
    const int row = b->Width() * BytesPerPixel(b->BitDepth());
    for (int y = 0; y < b->Height(); ++y)
        v.insert(v.end(), b->Bits() + ptrdiff_t(y) * b->Pitch(), b->Bits() + ptrdiff_t(y) * b->Pitch() + row);
    return v;
}

// The walk as described, over every step from the first end point, plotting what lies in the
// clip: the closed-form skip must give exactly this.
void ReferenceLine(std::vector<uint8_t>& px, int w, int h, int bpp, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                   TVeRect clip, uint8_t add)
{
    TVeRect r;
    if (!r.IntersectRect(clip, VeRect(0, 0, w, h)))
        return;
    auto c = [](int64_t v) { return std::clamp<int64_t>(v, -32768, 32768); };
    x1 = c(x1), y1 = c(y1), x2 = c(x2), y2 = c(y2);
    if (y2 < y1) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int64_t step = x2 >= x1 ? 1 : -1;
    const int64_t dx = std::llabs(x2 - x1) + 1, dy = y2 - y1 + 1;
    int64_t x = x1, y = y1, e = 0;
    for (int64_t i = 0; i < std::max(dx, dy); ++i) {
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            for (int k = 0; k < 3; ++k) {
                uint8_t& p = px[size_t((y * w + x) * bpp + k)];
                p = uint8_t(std::min(255, p + add));
            }
        if (dx > dy) {
            x += step;
            if ((e += dy) >= dx) {
                e -= dx;
                ++y;
            }
        } else {
            ++y;
            if ((e += dx) >= dy) {
                e -= dy;
                x += step;
            }
        }
    }
}

TEST(GameVolume, AttenuationFromVolume)
{
    EXPECT_EQ(VolumeToAttenuation(-5), -10000);
    EXPECT_EQ(VolumeToAttenuation(0), -10000);
    EXPECT_EQ(VolumeToAttenuation(1), -3960);
    EXPECT_EQ(VolumeToAttenuation(50), -2000);
    EXPECT_EQ(VolumeToAttenuation(99), -40);
    EXPECT_EQ(VolumeToAttenuation(100), 0);
    EXPECT_EQ(VolumeToAttenuation(150), 0);
}

TEST(GameLine, LeftwardLineAcrossTheBufferDrawsEveryColumnOfItsRow)
{
    auto b = Buffer(bd24);
    EXPECT_TRUE(DrawAddLine(b.get(), 700, 10, -50, 10, 0x010203, VeRect(0, 0, 640, 480)));
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(b->PGet(x, y), y == 10 ? 0x010203u : 0u) << x << "," << y;
    // Wholly above, wholly right, or an empty clip: nothing drawn, still true.
    const std::vector<uint8_t> before = Bytes(b.get());
    EXPECT_TRUE(DrawAddLine(b.get(), 0, -20, 600, -1, 0xFFFFFF, VeRect(0, 0, 640, 480)));
    EXPECT_TRUE(DrawAddLine(b.get(), 640, 0, 900, 400, 0xFFFFFF, VeRect(0, 0, 640, 480)));
    EXPECT_TRUE(DrawAddLine(b.get(), 0, 0, 600, 400, 0xFFFFFF, VeRect(100, 100, 100, 300)));
    EXPECT_TRUE(DrawAddLine(b.get(), 0, 0, 600, 400, 0xFFFFFF, VeRect(700, 0, 900, 480)));
    EXPECT_EQ(Bytes(b.get()), before);
}

TEST(GameLine, MatchesTheStepByStepWalkIncludingFarCoordinates)
{
    std::mt19937 rng(7);
    auto coord = [&](int spread) { return int(rng() % uint32_t(2 * spread + 1)) - spread; };
    for (TBitDepth depth : {bd24, bd32}) {
        const int bpp = BytesPerPixel(depth);
        auto b = Buffer(depth, 200, 150);
        std::vector<uint8_t> ref = Bytes(b.get());
        struct TCase {
            int x1, y1, x2, y2;
            TVeRect clip;
        };
        std::vector<TCase> cases = {
            {-32768, -32768, 32768, 32768, VeRect(0, 0, 200, 150)},
            {-40000, 40000, 40000, -40000, VeRect(0, 0, 200, 150)},
            {32768, 5, -32768, 6, VeRect(10, 0, 190, 150)},
            {100, -32768, 101, 32768, VeRect(0, 20, 200, 100)},
            {-32768, 140, 32767, 20, VeRect(-50, -50, 500, 500)},
            {5, 5, 5, 5, VeRect(0, 0, 200, 150)},
            {199, 149, 0, 0, VeRect(50, 40, 120, 90)},
        };
        for (int i = 0; i < 400; ++i) {
            const int spread = i % 3 == 0 ? 40000 : 300;
            const int l = coord(120) + 40, t = coord(100) + 30;
            cases.push_back({coord(spread), coord(spread), coord(spread), coord(spread),
                             VeRect(l, t, l + int(rng() % 180), t + int(rng() % 140))});
        }
        for (const TCase& c : cases) {
            ASSERT_TRUE(DrawAddLine(b.get(), c.x1, c.y1, c.x2, c.y2, 0x030303, c.clip));
            ReferenceLine(ref, 200, 150, bpp, c.x1, c.y1, c.x2, c.y2, c.clip, 3);
            ASSERT_EQ(Bytes(b.get()), ref) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        }
    }
}

TEST(GameLine, SaturatesPerChannelAndLeavesTheFourthByte)
{
    auto b = Buffer(bd32, 4, 4);
    for (int i = 0; i < 16; ++i) {
        uint8_t* p = b->Bits() + (i / 4) * b->Pitch() + (i % 4) * 4;
        p[0] = 100;
        p[1] = 50;
        p[2] = 200;
        p[3] = 77;
    }
    EXPECT_TRUE(DrawAddLine(b.get(), 0, 0, 3, 0, 0xFF0000, VeRect(0, 0, 4, 4)));
    EXPECT_TRUE(DrawSubLine(b.get(), 0, 1, 3, 1, 0x000080, VeRect(0, 0, 4, 4)));
    const uint8_t* added = b->Bits();
    const uint8_t* subtracted = b->Bits() + b->Pitch();
    EXPECT_EQ(added[0], 100);
    EXPECT_EQ(added[2], 255);
    EXPECT_EQ(added[3], 77);
    EXPECT_EQ(subtracted[0], 0);
    EXPECT_EQ(subtracted[1], 50);
    EXPECT_EQ(subtracted[2], 200);
    EXPECT_EQ(subtracted[3], 77);

    TVeRGBBits uncreated(nullptr);
    EXPECT_FALSE(DrawAddLine(&uncreated, 0, 0, 3, 3, 1, VeRect(0, 0, 4, 4)));
    auto shallow = Buffer(bd16, 4, 4);
    EXPECT_FALSE(DrawSubLine(shallow.get(), 0, 0, 3, 3, 1, VeRect(0, 0, 4, 4)));
    EXPECT_FALSE(DrawAddLine(nullptr, 0, 0, 3, 3, 1, VeRect(0, 0, 4, 4)));
    EXPECT_EQ(b->LockCount(), 0);
}

TEST(GameStretch, EnlargesByRepeatingAndReducesWithTheLastPixelWinning)
{
    // 2x2 to 4x4, 24-bit: each pixel doubled both ways.
    const uint8_t small[2 * 6] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    uint8_t big[4 * 12] = {};
    StretchCopy24(small, 2, 2, 6, big, 4, 4, 12);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(big[y * 12 + x * 3 + c], small[(y / 2) * 6 + (x / 2) * 3 + c]);
    // 4x4 to 2x2, 32-bit: pixel (2x + 1, 2y + 1) wins.
    uint8_t src[4 * 16];
    for (int i = 0; i < 64; ++i)
        src[i] = uint8_t(i);
    uint8_t dst[2 * 8] = {};
    StretchCopy32(src, 4, 4, 16, dst, 2, 2, 8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(dst[y * 8 + x * 4 + c], src[(2 * y + 1) * 16 + (2 * x + 1) * 4 + c]);
    // A bottom-up destination (negative pitch) is walked the other way round.
    uint8_t flipped[4 * 12] = {};
    StretchCopy24(small, 2, 2, 6, flipped + 3 * 12, 4, 4, -12);
    EXPECT_EQ(flipped[3 * 12], small[0]);
    EXPECT_EQ(flipped[0], small[6]);
}

TEST(GameStretch, BlendsThreeQuartersDestinationAndIgnoresEmptySizes)
{
    const uint8_t src[4] = {200, 100, 0, 99};
    uint8_t d24[3] = {0, 100, 255};
    StretchBlend24(src, 1, 1, 3, d24, 1, 1, 3);
    EXPECT_EQ(d24[0], 50);
    EXPECT_EQ(d24[1], 100);
    EXPECT_EQ(d24[2], 191);
    uint8_t d32[4] = {0, 100, 255, 55};
    StretchBlend32(src, 1, 1, 4, d32, 1, 1, 4);
    EXPECT_EQ(d32[2], 191);
    EXPECT_EQ(d32[3], 0);

    uint8_t guard[16];
    std::fill(guard, guard + 16, 0xEE);
    for (int bad : {0, -1, -640}) {
        StretchCopy24(src, bad, 1, 3, guard, 1, 1, 3);
        StretchCopy32(src, 1, bad, 4, guard, 1, 1, 4);
        StretchBlend24(src, 1, 1, 3, guard, bad, 1, 3);
        StretchBlend32(src, 1, 1, 4, guard, 1, bad, 4);
    }
    EXPECT_TRUE(std::all_of(guard, guard + 16, [](uint8_t v) { return v == 0xEE; }));
}

}  // namespace
