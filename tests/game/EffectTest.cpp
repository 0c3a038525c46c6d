// Every effect's whole sequence against a slow reference that follows the effect rules pixel by
// pixel (blends, stretches with their accumulators, the ripple's table look-ups), at 24 and 32
// bits, comparing the screen and the work buffer after each level.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
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

// A picture as plain bytes, rows W x bpp apart.
struct TImg {
    int Bpp = 3;
    std::vector<uint8_t> P;
    uint8_t* At(int x, int y) { return &P[(size_t(y) * W + size_t(x)) * size_t(Bpp)]; }
    const uint8_t* At(int x, int y) const { return &P[(size_t(y) * W + size_t(x)) * size_t(Bpp)]; }
};

TImg Capture(TVeRGBBits* b)
{
    TImg img;
    img.Bpp = BytesPerPixel(b->BitDepth());
    img.P.resize(size_t(W) * H * size_t(img.Bpp));
    for (int y = 0; y < H; ++y)
        std::copy_n(b->Bits() + ptrdiff_t(y) * b->Pitch(), W * img.Bpp, img.At(0, y));
    return img;
}

// Where two pictures first differ, as "x,y byte c", or empty when they are equal.
std::string FirstDifference(const TImg& a, const TImg& b)
{
    if (a.P == b.P)
        return std::string();
    size_t i = 0;
    while (i < a.P.size() && a.P[i] == b.P[i])
        ++i;
    const size_t pixel = i / size_t(a.Bpp);
    return std::to_string(pixel % W) + "," + std::to_string(pixel / W) + " byte " + std::to_string(i % size_t(a.Bpp));
}

// Smooth areas and noise, so that a shifted pixel or a wrong rounding both show. Made once per
// depth and seed.
const TImg& Pattern(TBitDepth depth, uint32_t seed)
{
    static std::map<std::pair<int, uint32_t>, TImg> made;
    TImg& img = made[{int(depth), seed}];
    if (img.P.empty()) {
        img.Bpp = BytesPerPixel(depth);
        img.P.resize(size_t(W) * H * size_t(img.Bpp));
        std::mt19937 rng(seed);
        uint8_t* p = img.P.data();
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < img.Bpp; ++c)
                    *p++ = uint8_t((x * (c + 1) + y * (3 - c)) / 3 + (rng() & 15));
    }
    return img;
}

std::unique_ptr<TVeRGBBits> Screen(TBitDepth depth, uint32_t seed)
{
    auto b = std::make_unique<TVeRGBBits>(nullptr);
    b->SetBitDepth(depth);
    b->Create();
    const TImg& img = Pattern(depth, seed);
    for (int y = 0; y < H; ++y)
        std::memcpy(b->Bits() + ptrdiff_t(y) * b->Pitch(), img.At(0, y), size_t(W) * size_t(img.Bpp));
    return b;
}

// ---- the reference

void RefDraw(TImg& d, int dx, int dy, const TImg& s, int sx, int sy, int w, int h)
{
    for (int y = 0; y < h; ++y)
        std::memcpy(d.At(dx, dy + y), s.At(sx, sy + y), size_t(w) * size_t(s.Bpp));
}

// out = a + (b - a) x l / 128 per byte, rounded down.
void RefBlend(TImg& out, const TImg& a, const TImg& b, int l)
{
    const uint8_t* pa = a.P.data();
    const uint8_t* pb = b.P.data();
    uint8_t* po = out.P.data();
    for (size_t i = 0, n = out.P.size(); i < n; ++i)
        po[i] = uint8_t((pa[i] * (128 - l) + pb[i] * l) / 128);
}

void RefMask(TImg& out, const TImg& a, const TImg& b, const std::vector<uint8_t>& work, int mw, int mh)
{
    const int bpp = out.Bpp;
    for (int y = 0; y < std::min(H, mh); ++y) {
        uint8_t* o = out.At(0, y);
        const uint8_t* pa = a.At(0, y);
        const uint8_t* pb = b.At(0, y);
        const uint8_t* pm = work.data() + size_t(y) * size_t(mw);
        for (int x = 0; x < std::min(W, mw); ++x)
            for (int c = 0; c < bpp; ++c)
                o[x * bpp + c] = uint8_t((pa[x * bpp + c] * (255 - pm[x]) + pb[x * bpp + c] * pm[x]) / 255);
    }
}

void RefSatAdd(TImg& d, const TImg& s, int sw, int sh, int dx, int dy)
{
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            const int X = dx + x, Y = dy + y;
            if (X < 0 || Y < 0 || X >= W || Y >= H)
                continue;
            for (int c = 0; c < d.Bpp; ++c)
                d.At(X, Y)[c] = uint8_t(std::min(255, d.At(X, Y)[c] + s.P[(size_t(y) * size_t(sw) + size_t(x)) * size_t(s.Bpp) + size_t(c)]));
        }
}

// The stretch rule as written: N steps per row and M rows, with the four accumulators; each
// step writes one pixel (blend: 3 parts destination to 1 of source, byte 3 cleared).
void RefStretch(const TImg& s, int crop, TImg& d, int dcrop, bool blend)
{
    const int sx0 = 4 * crop, sy0 = 3 * crop, sw = W - 8 * crop, sh = H - 6 * crop;
    const int dx0 = 4 * dcrop, dy0 = 3 * dcrop, dw = W - 8 * dcrop, dh = H - 6 * dcrop;
    const int n = std::max(sw, dw), m = std::max(sh, dh);
    int sy = 0, dy = 0, ays = 0, ayd = 0;
    for (int j = 0; j < m; ++j) {
        int sx = 0, dx = 0, axs = 0, axd = 0;
        const uint8_t* fromRow = s.At(0, sy0 + sy);
        uint8_t* toRow = d.At(0, dy0 + dy);
        for (int i = 0; i < n; ++i) {
            const uint8_t* from = fromRow + (sx0 + sx) * s.Bpp;
            uint8_t* to = toRow + (dx0 + dx) * d.Bpp;
            if (!blend) {
                for (int c = 0; c < d.Bpp; ++c)
                    to[c] = from[c];
            } else {
                for (int c = 0; c < 3; ++c)
                    to[c] = uint8_t((3 * to[c] + from[c]) / 4);
                if (d.Bpp == 4)
                    to[3] = 0;
            }
            axs += sw;
            if (axs >= n) {
                axs -= n;
                ++sx;
            }
            axd += dw;
            if (axd >= n) {
                axd -= n;
                ++dx;
            }
        }
        ays += sh;
        if (ays >= m) {
            ays -= m;
            ++sy;
        }
        ayd += dh;
        if (ayd >= m) {
            ayd -= m;
            ++dy;
        }
    }
}

struct TWaterData {
    std::vector<uint8_t> Dist = MakeWaterDistTable();
    std::vector<uint8_t> Sin = MakeWaterSinTable();
    std::vector<uint8_t> Multi = MakeWaterMultiTable();
};

void RefRipple(TImg& d, const TImg& s, const TWaterData& t, int phase, int a)
{
    const uint8_t* dist = t.Dist.data();
    const uint8_t* sine = t.Sin.data();
    const uint8_t* multi = t.Multi.data() + std::clamp(a, 0, 31) * 255;
    const int bpp = d.Bpp;
    for (int y = 0; y < H; ++y) {
        uint8_t* to = d.At(0, y);
        for (int x = 0; x < W; ++x) {
            const int dx = x < 320 ? 319 - x : x - 320;
            const int dy = y < 240 ? 239 - y : y - 240;
            const int at = (dy * 320 + dx) * 2;
            const int distance = dist[at] + 256 * dist[at + 1];
            const int o = multi[sine[(4 * distance + phase) % 256]] - 127;
            const uint8_t* from = s.At(std::clamp(x + o, 0, W - 1), std::clamp(y + o, 0, H - 1));
            for (int c = 0; c < bpp; ++c)
                to[x * bpp + c] = from[c];
        }
    }
}

// One reference effect step: the state is the screen, old and new; returns done.
struct TRefState {
    TImg Dest, Old, New;
    bool HasNew = true;
};

using TEffect = std::function<bool(TVeRGBBits*, TVeRectSet*, TVeRGBBits*, TVeRGBBits*, int)>;
using TRefEffect = std::function<bool(TRefState&, int)>;

// Level 0 and the last level are the same rule for every effect.
bool RefEnds(TRefState& r, int level, int last, bool& done)
{
    if (level <= 0) {
        r.Dest = r.Old;
        done = false;
        return true;
    }
    if (level >= last) {
        if (r.HasNew)
            r.Dest = r.New;
        done = true;
        return true;
    }
    return false;
}

class EffectSequence : public ::testing::TestWithParam<TBitDepth> {
protected:
    void SetUp() override
    {
        ZbdataStart();
        ZbeffectStart();
        ASSERT_TRUE(WriteEffectData(Folder.Path()));
        Files.InitDir(Folder.Path());
    }
    void TearDown() override
    {
        ZbeffectFinish();
        ZbdataFinish();
    }

    // Runs the effect over the levels with fresh pictures, the reference alongside, and
    // compares the screen and the old picture after every level.
    void Run(const char* name, const TEffect& effect, const TRefEffect& ref, const std::vector<int>& levels,
             bool withNew = true)
    {
        auto dest = Screen(GetParam(), 1);
        auto old = Screen(GetParam(), 2);
        auto fresh = Screen(GetParam(), 3);
        TRefState r{Capture(dest.get()), Capture(old.get()), Capture(fresh.get()), withNew};
        TVeRGBBits* nw = withNew ? fresh.get() : nullptr;
        for (int level : levels) {
            TVeRectSet dirty;
            const bool done = effect(dest.get(), &dirty, old.get(), nw, level);
            const bool refDone = ref(r, level);
            ASSERT_EQ(done, refDone) << name << " level " << level;
            ASSERT_EQ(FirstDifference(Capture(dest.get()), r.Dest), "") << name << " screen at level " << level;
            ASSERT_EQ(FirstDifference(Capture(old.get()), r.Old), "") << name << " old at level " << level;
            EXPECT_EQ(TVeRect(dirty), VeRect(0, 0, W, H)) << name << " level " << level;
        }
    }

    static std::vector<int> Range(int from, int to, int by = 1)
    {
        std::vector<int> v;
        for (int i = from; i <= to; i += by)
            v.push_back(i);
        return v;
    }

    TScratchFolder Folder;
    TFileMan Files{nullptr};
};

TEST_P(EffectSequence, FadeAndSlideMatchReference)
{
    Run("fade", TransFade,
        [](TRefState& r, int l) {
            bool done;
            if (RefEnds(r, l, 128, done))
                return done;
            RefBlend(r.Dest, r.Old, r.New, l);
            return false;
        },
        Range(0, 128));
    for (int dir = 0; dir < 4; ++dir) {
        auto effect = [dir](TVeRGBBits* d, TVeRectSet* s, TVeRGBBits* o, TVeRGBBits* n, int l) {
            return TransSlide(d, s, o, n, l, dir);
        };
        auto ref = [dir](TRefState& r, int l) {
            bool done;
            if (RefEnds(r, l, 160, done))
                return done;
            const int v = 3 * l, h = 4 * l;
            if (dir == 0) {
                RefDraw(r.Dest, 0, 0, r.Old, 0, v, W, H - v);
                RefDraw(r.Dest, 0, H - v, r.New, 0, 0, W, v);
            } else if (dir == 1) {
                RefDraw(r.Dest, 0, v, r.Old, 0, 0, W, H - v);
                RefDraw(r.Dest, 0, 0, r.New, 0, H - v, W, v);
            } else if (dir == 2) {
                RefDraw(r.Dest, h, 0, r.Old, 0, 0, W - h, H);
                RefDraw(r.Dest, 0, 0, r.New, W - h, 0, h, H);
            } else {
                RefDraw(r.Dest, 0, 0, r.Old, h, 0, W - h, H);
                RefDraw(r.Dest, W - h, 0, r.New, 0, 0, h, H);
            }
            return false;
        };
        Run("slide", effect, ref, Range(0, 160, 5));
        Run("slide", effect, ref, {1, 79, 80, 159, 160});
    }
}

TEST_P(EffectSequence, ZoomsMatchReference)
{
    for (bool withNew : {true, false}) {
        Run("zoom in", TransZoomIn,
            [](TRefState& r, int s) {
                bool done;
                if (RefEnds(r, s, 36, done))
                    return done;
                RefStretch(r.Old, s, r.Dest, 0, true);
                if (!r.HasNew)
                    r.Old = r.Dest;
                else if (4 * s <= 128)
                    RefBlend(r.Old, r.Dest, r.New, 4 * s);
                return false;
            },
            Range(0, 36), withNew);
        Run("zoom in 2", TransZoomIn2,
            [](TRefState& r, int s) {
                bool done;
                if (RefEnds(r, s, 20, done))
                    return done;
                RefStretch(r.Dest, s, r.Old, 0, true);
                if (r.HasNew)
                    RefStretch(r.New, 0, r.Old, 20 - s, false);
                RefBlend(r.Dest, r.Dest, r.Old, std::max(8 * s - 32, 16));
                return false;
            },
            Range(0, 20), withNew);
        Run("zoom blur", TransZoomBlur,
            [](TRefState& r, int s) {
                bool done;
                if (RefEnds(r, s, 36, done))
                    return done;
                if (r.HasNew)
                    RefBlend(r.Dest, r.Dest, r.New, 32);
                RefStretch(r.Old, 0, r.Dest, s, true);
                r.Old = r.Dest;
                return false;
            },
            Range(0, 36), withNew);
        Run("zoom blur 2", TransZoomBlur2,
            [](TRefState& r, int s) {
                bool done;
                if (RefEnds(r, s, 20, done))
                    return done;
                if (s <= 15) {
                    if (r.HasNew)
                        RefStretch(r.New, 16 - s, r.Old, 0, true);
                    RefBlend(r.Dest, r.Dest, r.Old, 32);
                    r.Old = r.Dest;
                } else if (r.HasNew) {
                    RefBlend(r.Dest, r.Dest, r.New, 32);
                }
                return false;
            },
            Range(0, 20), withNew);
    }
}

TEST_P(EffectSequence, WaterMatchesReference)
{
    WaterTable->Load(&Files);
    ASSERT_TRUE(WaterTable->Loaded);
    const TWaterData data;
    const int approach[7] = {16, 18, 21, 26, 32, 43, 64};
    Run("water", TransWater,
        [&](TRefState& r, int s) {
            bool done;
            if (RefEnds(r, s, 70, done))
                return done;
            if (s <= 31) {
                RefRipple(r.Dest, r.Old, data, 8 * s, s);
            } else if (s <= 38) {
                RefBlend(r.Old, r.Old, r.New, approach[s - 32]);
                RefRipple(r.Dest, r.Old, data, 8 * s, 31);
            } else {
                RefRipple(r.Dest, r.New, data, 8 * s, 70 - s);
            }
            return false;
        },
        Range(0, 70));
}

TEST_P(EffectSequence, MaskWipesMatchReference)
{
    const int mask = 7;
    FadeAlphaMask->Load(&Files, FadeMaskFileNames[mask]);
    ASSERT_TRUE(FadeAlphaMask->Loaded);
    const std::vector<uint8_t> plane = MakeFadeMaskPlane(mask);
    std::vector<int> addLevels = Range(0, 511, 16);
    addLevels.insert(addLevels.end(), {1, 254, 255, 256, 257, 510, 511});
    Run("mask add", TransMaskAdd,
        [&](TRefState& r, int l) {
            bool done;
            if (RefEnds(r, l, 511, done))
                return done;
            std::vector<uint8_t> work(plane.size());
            for (size_t i = 0; i < plane.size(); ++i)
                work[i] = uint8_t(l <= 255 ? std::max(plane[i] - (255 - l), 0) : std::min(plane[i] + l - 256, 255));
            RefMask(r.Dest, r.Old, r.New, work, W, H);
            return false;
        },
        addLevels);
    std::vector<int> fadeLevels = Range(0, 255, 8);
    fadeLevels.insert(fadeLevels.end(), {1, 239, 254, 255});
    Run("mask fade", TransMaskFade,
        [&](TRefState& r, int l) {
            bool done;
            if (RefEnds(r, l, 255, done))
                return done;
            std::vector<uint8_t> work(plane.size());
            for (size_t i = 0; i < plane.size(); ++i) {
                const int t = std::min(plane[i] + l, 255);
                work[i] = uint8_t(t < 240 ? 0 : (t - 240) * 17);
            }
            RefMask(r.Dest, r.Old, r.New, work, W, H);
            return false;
        },
        fadeLevels);
}

TEST_P(EffectSequence, HalationMatchesReference)
{
    HalationImage->Load(&Files, GetParam());
    ASSERT_TRUE(HalationImage->Loaded);
    std::vector<TImg> pictures;
    std::vector<int> sides;
    for (TVeRGBBits* b : {HalationImage->HaloBack, HalationImage->Flares[0], HalationImage->Flares[1],
                          HalationImage->Flares[2], HalationImage->Flares[3], HalationImage->Flares[4]}) {
        ASSERT_TRUE(b->Created());
        TImg img;
        img.Bpp = BytesPerPixel(b->BitDepth());
        for (int y = 0; y < b->Height(); ++y)
            img.P.insert(img.P.end(), b->Bits() + ptrdiff_t(y) * b->Pitch(),
                         b->Bits() + ptrdiff_t(y) * b->Pitch() + b->Width() * img.Bpp);
        pictures.push_back(img);
        sides.push_back(b->Width());
    }
    const int approach[5] = {0, 32, 43, 64, 128};
    const int targets[5] = {240, 84, 366, 160, 292};
    for (bool withNew : {true, false})
        Run("halation", TransHalation,
            [&](TRefState& r, int s) {
                bool done;
                if (RefEnds(r, s, 37, done))
                    return done;
                if (s == 1) {
                    for (size_t i = 0; i < r.Old.P.size(); ++i)
                        if (r.Old.Bpp == 3 || i % 4 != 3)
                            r.Old.P[i] = uint8_t(r.Old.P[i] * 64 / 128);
                    RefSatAdd(r.Old, pictures[0], W, H, 0, 0);
                }
                if (s <= 4) {
                    RefBlend(r.Dest, r.Dest, r.Old, approach[s]);
                    return false;
                }
                if (r.HasNew)
                    RefBlend(r.Dest, r.Old, r.New, 4 * s - 20);
                else
                    r.Dest = r.Old;
                for (int i = 0; i < 5; ++i) {
                    const int k = targets[i] * (s - 5) / 32;
                    RefSatAdd(r.Dest, pictures[size_t(i) + 1], sides[size_t(i) + 1], sides[size_t(i) + 1],
                              4 * k / 3 - sides[size_t(i) + 1] / 2, k - sides[size_t(i) + 1] / 2);
                }
                return false;
            },
            Range(0, 38), withNew);
}

INSTANTIATE_TEST_SUITE_P(Depths, EffectSequence, ::testing::Values(bd24, bd32),
                         [](const auto& info) { return info.param == bd24 ? "Bits24" : "Bits32"; });

}  // namespace
