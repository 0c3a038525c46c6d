// Every blend against a slow per-pixel reference: the reference decides coverage pixel by
// pixel (a pixel is written only when it and its source and mask positions all exist), so a
// clipping fault shows as a wrong or missing pixel.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "base/Vealpha.h"
#include "base/Vergbbits.h"
#include "base/Vergbrow.h"

namespace {

struct TPlace {
    int X;
    int Y;
};

// Destination positions that cut every edge, including the cursor's x = 630 and negatives.
const TPlace Places[] = {{3, 2}, {-5, -3}, {30, 20}, {36, 25}, {-40, 5}, {5, -40}, {-100, 0}};

void Randomise(TVeRGBBits& b, uint32_t seed)
{
    std::mt19937 rng(seed);
    const int bpp = BytesPerPixel(b.BitDepth());
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width() * bpp; ++x)
            b.Bits()[y * b.Pitch() + x] = static_cast<uint8_t>(rng());
}

void Randomise(TVeAlpha& a, uint32_t seed)
{
    static const uint8_t special[] = {0, 1, 128, 254, 255};
    std::mt19937 rng(seed);
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            a.Bits()[y * a.Pitch() + x] = (rng() & 1) ? special[rng() % 5] : static_cast<uint8_t>(rng());
}

std::vector<uint8_t> Snapshot(const TVeRGBBits& b)
{
    std::vector<uint8_t> out;
    const int row = b.Width() * BytesPerPixel(b.BitDepth());
    for (int y = 0; y < b.Height(); ++y)
        out.insert(out.end(), b.Bits() + y * b.Pitch(), b.Bits() + y * b.Pitch() + row);
    return out;
}

const uint8_t* At(const TVeRGBBits& b, int x, int y)
{
    return b.Bits() + y * b.Pitch() + x * BytesPerPixel(b.BitDepth());
}

bool Inside(int x, int y, int w, int h)
{
    return x >= 0 && y >= 0 && x < w && y < h;
}

TVeRGBBits* Make(TComponent* owner, TBitDepth depth, int w, int h, uint32_t seed)
{
    auto* b = new TVeRGBBits(owner);
    b->SetBitDepth(depth);
    b->Resize(w, h);
    EXPECT_TRUE(b->Create());
    Randomise(*b, seed);
    return b;
}

TVeAlpha* MakeAlpha(TComponent* owner, int w, int h, uint32_t seed)
{
    auto* a = new TVeAlpha(owner);
    a->Resize(w, h);
    EXPECT_TRUE(a->Create());
    Randomise(*a, seed);
    return a;
}

// The expected byte of channel c of destination pixel (x, y), or -1 for "unchanged".
using TRefPixel = std::function<int(int x, int y, int c)>;

void ExpectImage(const TVeRGBBits& dest, const std::vector<uint8_t>& before, const TRefPixel& ref,
                 const char* what)
{
    const int bpp = BytesPerPixel(dest.BitDepth());
    int failures = 0;
    for (int y = 0; y < dest.Height(); ++y)
        for (int x = 0; x < dest.Width(); ++x)
            for (int c = 0; c < bpp; ++c) {
                const int r = ref(x, y, c);
                const int expected = r < 0 ? before[(y * dest.Width() + x) * bpp + c] : r;
                const int got = At(dest, x, y)[c];
                if (got != expected && ++failures < 5)
                    ADD_FAILURE() << what << " at (" << x << "," << y << ") byte " << c << ": " << got
                                  << " != " << expected;
            }
}

class PixelBlend : public ::testing::TestWithParam<TBitDepth> {
protected:
    TComponent Owner{nullptr};
};

}  // namespace

TEST(PixelRounding, Div255IsExactFloorOverTheWholeRange)
{
    for (uint32_t x = 0; x <= 65025; ++x)
        ASSERT_EQ(Div255(x), x / 255) << x;
}

TEST_P(PixelBlend, AlphaBlendOfTwoSourcesMatchesReference)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 40, 30, 1);
    TVeRGBBits* a = Make(&Owner, GetParam(), 25, 20, 2);
    TVeRGBBits* b = Make(&Owner, GetParam(), 30, 18, 3);
    for (int level : {0, 1, 64, 127, 128}) {
        for (const TPlace& p : Places) {
            Randomise(*dest, 7);
            const auto before = Snapshot(*dest);
            const int sx1 = 2, sy1 = -1, sx2 = -3, sy2 = 4, w = 24, h = 17;
            ASSERT_TRUE(dest->AlphaBlend(p.X, p.Y, a, sx1, sy1, b, sx2, sy2, w, h, level));
            ExpectImage(*dest, before, [&](int x, int y, int c) {
                const int i = x - p.X, j = y - p.Y;
                if (!Inside(i, j, w, h) || !Inside(sx1 + i, sy1 + j, a->Width(), a->Height()) ||
                    !Inside(sx2 + i, sy2 + j, b->Width(), b->Height()))
                    return -1;
                const int va = At(*a, sx1 + i, sy1 + j)[c], vb = At(*b, sx2 + i, sy2 + j)[c];
                // Floor of the exact quotient, negative differences included.
                const int d = (vb - va) * level;
                return va + (d >= 0 ? d / 128 : -((-d + 127) / 128));
            }, "AlphaBlend");
        }
    }
}

TEST_P(PixelBlend, AlphaBlendOntoItselfAndArgumentChecks)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 40, 30, 4);
    TVeRGBBits* src = Make(&Owner, GetParam(), 20, 20, 5);
    for (const TPlace& p : Places) {
        Randomise(*dest, 8);
        const auto before = Snapshot(*dest);
        ASSERT_TRUE(dest->AlphaBlend(p.X, p.Y, src, 1, 2, 30, 30, 64));
        ExpectImage(*dest, before, [&](int x, int y, int c) {
            const int i = x - p.X, j = y - p.Y;
            if (!Inside(i, j, 30, 30) || !Inside(1 + i, 2 + j, 20, 20))
                return -1;
            return (before[(y * 40 + x) * BytesPerPixel(GetParam()) + c] + At(*src, 1 + i, 2 + j)[c]) / 2;
        }, "AlphaBlend one source");
    }
    const auto before = Snapshot(*dest);
    EXPECT_FALSE(dest->AlphaBlend(0, 0, src, 0, 0, 10, 10, 129));
    EXPECT_FALSE(dest->AlphaBlend(0, 0, src, 0, 0, 10, 10, -1));
    EXPECT_FALSE(dest->AlphaBlend(0, 0, nullptr, 0, 0, 10, 10, 64));
    TVeRGBBits uncreated(&Owner);
    uncreated.SetBitDepth(GetParam());
    EXPECT_FALSE(dest->AlphaBlend(0, 0, &uncreated, 0, 0, 10, 10, 64));
    EXPECT_FALSE(uncreated.AlphaBlend(0, 0, src, 0, 0, 10, 10, 64));
    TVeRGBBits* other = Make(&Owner, GetParam() == bd24 ? bd32 : bd24, 20, 20, 6);
    EXPECT_FALSE(dest->AlphaBlend(0, 0, other, 0, 0, 10, 10, 64));
    EXPECT_EQ(Snapshot(*dest), before);
}

// A buffer blended onto itself reads what it read before the blend began, whichever way its
// sources lie from the destination: the same blend from a copy taken first is the reference.
TEST_P(PixelBlend, EveryBlendOntoItselfMatchesACopyTakenFirst)
{
    const int w = 24, h = 20;
    TVeRGBBits* self = Make(&Owner, GetParam(), 40, 30, 61);
    TVeRGBBits* twin = Make(&Owner, GetParam(), 40, 30, 61);
    TVeRGBBits* copy = Make(&Owner, GetParam(), 40, 30, 61);
    TVeAlpha& alpha = *MakeAlpha(&Owner, 40, 30, 62);
    const TVeRGB key = VeRGB(0x102030);
    using TOp = std::function<bool(TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace s2)>;
    const std::pair<const char*, TOp> ops[] = {
        {"AlphaBlend", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace) {
             return d->AlphaBlend(p.X, p.Y, src, s1.X, s1.Y, w, h, 40);
         }},
        {"AlphaBlend two sources", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace s2) {
             return d->AlphaBlend(p.X, p.Y, src, s1.X, s1.Y, src, s2.X, s2.Y, w, h, 90);
         }},
        {"SaturationAdd", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace) {
             return d->SaturationAdd(p.X, p.Y, src, s1.X, s1.Y, w, h);
         }},
        {"DrawKey", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace) {
             return d->DrawKey(p.X, p.Y, src, s1.X, s1.Y, w, h, key);
         }},
        {"DrawAlphaMask", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace) {
             return d->DrawAlphaMask(p.X, p.Y, src, s1.X, s1.Y, w, h, &alpha);
         }},
        {"DrawDoubleAlphaMask", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace) {
             return d->DrawDoubleAlphaMask(p.X, p.Y, src, s1.X, s1.Y, w, h, &alpha, 77);
         }},
        {"DrawAlphaMask two sources", [&](TVeRGBBits* d, TVeRGBBits* src, TPlace p, TPlace s1, TPlace s2) {
             return d->DrawAlphaMask(p.X, p.Y, src, s1.X, s1.Y, src, s2.X, s2.Y, w, h, &alpha);
         }},
    };
    // Destination, first and second source: below, above, beside, in place, clipped, and two
    // sources on either side of the destination.
    const TPlace places[][3] = {{{5, 8}, {5, 5}, {5, 2}}, {{5, 2}, {5, 5}, {6, 8}},   {{8, 5}, {5, 5}, {2, 5}},
                                {{2, 5}, {5, 5}, {5, 5}}, {{5, 5}, {5, 5}, {4, 9}},   {{9, 7}, {4, 3}, {9, 7}},
                                {{-3, 12}, {6, 2}, {0, 0}}, {{7, 4}, {2, 9}, {7, 1}}, {{5, 6}, {5, 2}, {5, 9}}};
    for (const auto& [what, op] : ops) {
        for (const auto& place : places) {
            for (TVeRGBBits* b : {self, twin, copy}) {
                Randomise(*b, 63);
                ASSERT_TRUE(b->BoxFill(12, 9, 20, 14, key.ToDWORD()));
            }
            ASSERT_TRUE(op(self, self, place[0], place[1], place[2]));
            ASSERT_TRUE(op(twin, copy, place[0], place[1], place[2]));
            EXPECT_TRUE(Snapshot(*self) == Snapshot(*twin))
                << what << " to (" << place[0].X << "," << place[0].Y << ") from (" << place[1].X << ","
                << place[1].Y << ") and (" << place[2].X << "," << place[2].Y << ")";
        }
    }
}

TEST_P(PixelBlend, DrawAlphaMaskClipsToPlaneSourceAndDestination)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 40, 30, 11);
    TVeRGBBits* src = Make(&Owner, GetParam(), 64, 32, 12);
    TVeAlpha& alpha = *MakeAlpha(&Owner, 50, 28, 13);  // narrower and shorter than the source
    const TPlace sources[] = {{32, 0}, {-4, -6}, {40, 10}};
    for (const TPlace& s : sources) {
        for (const TPlace& p : Places) {
            Randomise(*dest, 14);
            const auto before = Snapshot(*dest);
            const int w = 32, h = 32;
            ASSERT_TRUE(dest->DrawAlphaMask(p.X, p.Y, src, s.X, s.Y, w, h, &alpha));
            ExpectImage(*dest, before, [&](int x, int y, int c) {
                const int i = x - p.X, j = y - p.Y;
                if (!Inside(i, j, w, h) || !Inside(s.X + i, s.Y + j, src->Width(), src->Height()) ||
                    !Inside(s.X + i, s.Y + j, alpha.Width(), alpha.Height()))
                    return -1;
                const int m = alpha.PGet(s.X + i, s.Y + j);
                const int d = before[(y * 40 + x) * BytesPerPixel(GetParam()) + c];
                return (d * (255 - m) + At(*src, s.X + i, s.Y + j)[c] * m) / 255;
            }, "DrawAlphaMask");
        }
    }
    // Nothing left after clipping to the plane is no failure.
    EXPECT_TRUE(dest->DrawAlphaMask(0, 0, src, 55, 0, 8, 8, &alpha));
    TVeAlpha uncreated(&Owner);
    EXPECT_FALSE(dest->DrawAlphaMask(0, 0, src, 0, 0, 8, 8, &uncreated));
    EXPECT_FALSE(dest->DrawAlphaMask(0, 0, src, 0, 0, 8, 8, nullptr));
}

TEST_P(PixelBlend, DrawDoubleAlphaMaskScalesTheMaskByTheLevel)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 30, 20, 21);
    TVeRGBBits* src = Make(&Owner, GetParam(), 30, 20, 22);
    TVeAlpha& alpha = *MakeAlpha(&Owner, 30, 20, 23);
    for (int level : {0, 1, 64, 127, 128}) {
        Randomise(*dest, 24);
        const auto before = Snapshot(*dest);
        ASSERT_TRUE(dest->DrawDoubleAlphaMask(-2, 3, src, 0, 0, 30, 20, &alpha, level));
        ExpectImage(*dest, before, [&](int x, int y, int c) {
            const int i = x + 2, j = y - 3;
            if (!Inside(i, j, 30, 20))
                return -1;
            const int m = alpha.PGet(i, j) * level / 128;
            const int d = before[(y * 30 + x) * BytesPerPixel(GetParam()) + c];
            return (d * (255 - m) + At(*src, i, j)[c] * m) / 255;
        }, "DrawDoubleAlphaMask");
    }
    EXPECT_FALSE(dest->DrawDoubleAlphaMask(0, 0, src, 0, 0, 4, 4, &alpha, 129));
}

TEST_P(PixelBlend, DrawAlphaMaskOfTwoSourcesReadsThePlaneAtTheDestination)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 40, 30, 31);
    TVeRGBBits* s1 = Make(&Owner, GetParam(), 40, 30, 32);
    TVeRGBBits* s2 = Make(&Owner, GetParam(), 35, 30, 33);
    TVeAlpha& alpha = *MakeAlpha(&Owner, 40, 26, 34);
    for (const TPlace& p : Places) {
        Randomise(*dest, 35);
        const auto before = Snapshot(*dest);
        ASSERT_TRUE(dest->DrawAlphaMask(p.X, p.Y, s1, 1, 0, s2, 0, 2, 40, 30, &alpha));
        ExpectImage(*dest, before, [&](int x, int y, int c) {
            const int i = x - p.X, j = y - p.Y;
            if (!Inside(i, j, 40, 30) || !Inside(x, y, alpha.Width(), alpha.Height()) ||
                !Inside(1 + i, j, 40, 30) || !Inside(i, 2 + j, 35, 30))
                return -1;
            const int m = alpha.PGet(x, y);
            return (At(*s1, 1 + i, j)[c] * (255 - m) + At(*s2, i, 2 + j)[c] * m) / 255;
        }, "DrawAlphaMask two sources");
    }
    TVeRGBBits uncreated(&Owner);
    uncreated.SetBitDepth(GetParam());
    EXPECT_FALSE(dest->DrawAlphaMask(0, 0, s1, 0, 0, &uncreated, 0, 0, 4, 4, &alpha));
}

TEST_P(PixelBlend, SaturationAddAndToneChangeClamp)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 40, 30, 41);
    TVeRGBBits* src = Make(&Owner, GetParam(), 16, 16, 42);
    const int bpp = BytesPerPixel(GetParam());
    for (const TPlace& p : Places) {
        Randomise(*dest, 43);
        const auto before = Snapshot(*dest);
        ASSERT_TRUE(dest->SaturationAdd(p.X, p.Y, src, -2, 1, 20, 20));
        ExpectImage(*dest, before, [&](int x, int y, int c) {
            const int i = x - p.X, j = y - p.Y;
            if (!Inside(i, j, 20, 20) || !Inside(i - 2, j + 1, 16, 16))
                return -1;
            return std::min(255, before[(y * 40 + x) * bpp + c] + At(*src, i - 2, j + 1)[c]);
        }, "SaturationAdd");
    }
    for (uint32_t tone : {0x404040u, 0xFF8001u, 0x000000u}) {
        Randomise(*dest, 44);
        const auto before = Snapshot(*dest);
        dest->ClearModifyRect();
        ASSERT_TRUE(dest->ToneChange(50, 20, 3, -7, tone));  // corners in either order, clipped
        ExpectImage(*dest, before, [&](int x, int y, int c) {
            if (x < 3 || y > 20 || c == 3)
                return -1;
            const int k = (tone >> (8 * c)) & 0xFF;
            return std::min(255, before[(y * 40 + x) * bpp + c] * k / 128);
        }, "ToneChange");
        EXPECT_EQ(TVeRect(dest->ModifyRect()), VeRect(3, 0, 40, 21));
    }
}

TEST_P(PixelBlend, ColourEffectsKeepTheirInvariants)
{
    TVeRGBBits* dest = Make(&Owner, GetParam(), 20, 10, 51);
    const auto before = Snapshot(*dest);
    ASSERT_TRUE(dest->Negative(0, 0, 19, 9));
    ASSERT_TRUE(dest->Negative(19, 9, 0, 0));
    EXPECT_EQ(Snapshot(*dest), before);
    ASSERT_TRUE(dest->BoxFill(0, 0, 0, 0, 0x00FF30));
    ASSERT_TRUE(dest->Negative(0, 0, 0, 0));
    EXPECT_EQ(dest->PGet(0, 0), 0xFF00CFu);
    ASSERT_TRUE(dest->BoxFill(0, 0, 0, 0, 0xFFFFFF));
    ASSERT_TRUE(dest->BoxFill(1, 0, 1, 0, 0x000000));
    ASSERT_TRUE(dest->Monochrome(0, 0, 19, 9));
    EXPECT_EQ(dest->PGet(0, 0), 0xFFFFFFu);
    EXPECT_EQ(dest->PGet(1, 0), 0u);
    for (int x = 0; x < 20; ++x) {
        const uint32_t c = dest->PGet(x, 5);
        EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF);
        EXPECT_EQ(c & 0xFF, (c >> 16) & 0xFF);
    }
    ASSERT_TRUE(dest->Sepia(0, 0, 19, 9));
    for (int x = 0; x < 20; ++x) {
        const uint32_t c = dest->PGet(x, 5);
        EXPECT_GE((c >> 16) & 0xFF, (c >> 8) & 0xFF);  // warm: red over green over blue
        EXPECT_GE((c >> 8) & 0xFF, c & 0xFF);
    }
    EXPECT_EQ(dest->PGet(1, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Depths, PixelBlend, ::testing::Values(bd24, bd32),
                         [](const auto& info) { return info.param == bd24 ? "Bits24" : "Bits32"; });
