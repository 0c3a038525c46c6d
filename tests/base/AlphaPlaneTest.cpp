#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/Vealpha.h"

namespace {

void Randomise(TVeAlpha& a, uint32_t seed)
{
    std::mt19937 rng(seed);
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            a.Bits()[y * a.Pitch() + x] = static_cast<uint8_t>(rng());
}

std::vector<uint8_t> Snapshot(const TVeAlpha& a)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            out.push_back(a.PGet(x, y));
    return out;
}

}  // namespace

TEST(VeAlpha, LifecycleFillAndBoxFill)
{
    TComponent owner(nullptr);
    TVeAlpha a(&owner);
    EXPECT_FALSE(a.Created());
    EXPECT_EQ(a.Width(), 640);
    EXPECT_EQ(a.Height(), 480);
    EXPECT_FALSE(a.Fill(1));
    EXPECT_EQ(a.PGet(0, 0), 0);
    ASSERT_TRUE(a.Resize(8, 6));
    EXPECT_FALSE(a.Resize(0, 6));
    ASSERT_TRUE(a.Create());
    EXPECT_FALSE(a.Create());
    ASSERT_TRUE(a.Fill(7));
    ASSERT_TRUE(a.BoxFill(9, 4, 6, 9, 200));  // corners in either order, clipped
    EXPECT_EQ(a.PGet(6, 4), 200);
    EXPECT_EQ(a.PGet(7, 5), 200);
    EXPECT_EQ(a.PGet(5, 4), 7);
    EXPECT_EQ(a.PGet(6, 3), 7);
    EXPECT_EQ(a.PGet(8, 5), 0);  // outside reads 0
    EXPECT_EQ(a.PGet(-1, 0), 0);
    EXPECT_TRUE(a.BoxFill(-9, -9, -1, -1, 1));
    EXPECT_EQ(a.PGet(0, 0), 7);
    ASSERT_TRUE(a.SetHeight(10));
    EXPECT_EQ(a.Height(), 10);
    EXPECT_EQ(a.PGet(6, 4), 0);  // reallocated cleared
}

TEST(VeAlpha, ByteOperationsMatchReferenceWithClipping)
{
    TComponent owner(nullptr);
    TVeAlpha dest(&owner), src(&owner);
    dest.Resize(30, 20);
    src.Resize(16, 12);
    ASSERT_TRUE(dest.Create());
    ASSERT_TRUE(src.Create());
    Randomise(src, 1);
    src.BoxFill(0, 0, 0, 0, 232);
    src.BoxFill(1, 0, 1, 0, 247);
    src.BoxFill(2, 0, 2, 0, 255);
    src.BoxFill(3, 0, 3, 0, 0);
    const int places[][2] = {{0, 0}, {-3, -2}, {25, 15}, {-20, 0}};
    for (int level : {0, 8, 1, 200, 255, 256, -1}) {
        const int l = level & 0xFF;  // the level is an unsigned byte
        for (int op = 0; op < 4; ++op) {
            for (const auto& p : places) {
                Randomise(dest, 2);
                const auto before = Snapshot(dest);
                const int sx = -1, sy = 1, w = 16, h = 12;
                bool ok = false;
                switch (op) {
                case 0: ok = dest.Draw(p[0], p[1], &src, sx, sy, w, h); break;
                case 1: ok = dest.SAdd(p[0], p[1], &src, sx, sy, w, h, level); break;
                case 2: ok = dest.SSub(p[0], p[1], &src, sx, sy, w, h, level); break;
                case 3: ok = dest.Extract(p[0], p[1], &src, sx, sy, w, h, level); break;
                }
                ASSERT_TRUE(ok);
                for (int y = 0; y < 20; ++y)
                    for (int x = 0; x < 30; ++x) {
                        const int i = x - p[0], j = y - p[1];
                        int expected = before[y * 30 + x];
                        if (i >= 0 && j >= 0 && i < w && j < h && sx + i >= 0 && sy + j >= 0 && sx + i < 16 &&
                            sy + j < 12) {
                            const int m = src.PGet(sx + i, sy + j);
                            const int t = std::min(m + l, 255);
                            expected = op == 0 ? m : op == 1 ? t : op == 2 ? std::max(m - l, 0)
                                                                       : (t < 240 ? 0 : (t - 240) * 17);
                        }
                        ASSERT_EQ(dest.PGet(x, y), expected) << "op " << op << " level " << level << " at " << x
                                                             << "," << y << " placed " << p[0] << "," << p[1];
                    }
            }
        }
    }
    // The soft edge at level 8: 232 and below give 0, 247 and above 255.
    ASSERT_TRUE(dest.Extract(0, 0, &src, 0, 0, 4, 1, 8));
    EXPECT_EQ(dest.PGet(0, 0), 0);
    EXPECT_EQ(dest.PGet(1, 0), 255);
    EXPECT_EQ(dest.PGet(2, 0), 255);
    EXPECT_EQ(dest.PGet(3, 0), 0);
    TVeAlpha uncreated(&owner);
    EXPECT_FALSE(dest.Draw(0, 0, &uncreated, 0, 0, 4, 4));
    EXPECT_FALSE(dest.SAdd(0, 0, nullptr, 0, 0, 4, 4, 1));
    EXPECT_FALSE(uncreated.SSub(0, 0, &src, 0, 0, 4, 4, 1));
}

TEST(VeAlpha, AlphaBlendMatchesReferenceAndRefusesBadLevels)
{
    TComponent owner(nullptr);
    TVeAlpha dest(&owner), a(&owner), b(&owner);
    dest.Resize(20, 10);
    a.Resize(20, 10);
    b.Resize(12, 10);
    ASSERT_TRUE(dest.Create() && a.Create() && b.Create());
    Randomise(a, 3);
    Randomise(b, 4);
    for (int level : {0, 1, 64, 72, 127, 128}) {
        Randomise(dest, 5);
        const auto before = Snapshot(dest);
        ASSERT_TRUE(dest.AlphaBlend(-1, 2, &a, 0, 0, &b, 3, -1, 20, 10, level));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) {
                const int i = x + 1, j = y - 2;
                int expected = before[y * 20 + x];
                if (j >= 0 && i < 20 && j < 10 && 3 + i < 12 && j - 1 >= 0) {
                    const int va = a.PGet(i, j), vb = b.PGet(3 + i, j - 1);
                    const int d = (vb - va) * level;
                    expected = va + (d >= 0 ? d / 128 : -((-d + 127) / 128));
                }
                ASSERT_EQ(dest.PGet(x, y), expected) << level << " at " << x << "," << y;
            }
    }
    // The plane blended with itself as the first source (the message text's cross-fade).
    Randomise(dest, 6);
    const auto before = Snapshot(dest);
    ASSERT_TRUE(dest.AlphaBlend(0, 0, &dest, 0, 0, &a, 0, 0, 20, 10, 64));
    EXPECT_EQ(dest.PGet(5, 5), (before[5 * 20 + 5] + a.PGet(5, 5)) / 2);
    // Blended onto itself from rows above, below and beside (and from both sides at once), the
    // plane gives what the same blend from a copy taken first gives.
    const int places[][6] = {{0, 3, 0, 0, 0, 0}, {0, 0, 0, 3, 0, 3}, {2, 1, 0, 1, 2, 1},
                             {1, 4, 1, 1, 1, 7}, {0, 2, 0, 5, 3, 0}, {-2, 5, 1, 0, 0, 2}};
    for (const auto& p : places) {
        TVeAlpha copy(&owner), twin(&owner);
        copy.Resize(20, 10);
        twin.Resize(20, 10);
        ASSERT_TRUE(copy.Create() && twin.Create());
        for (TVeAlpha* plane : {&dest, &copy, &twin})
            Randomise(*plane, 7);
        ASSERT_TRUE(dest.AlphaBlend(p[0], p[1], &dest, p[2], p[3], &dest, p[4], p[5], 16, 6, 40));
        ASSERT_TRUE(twin.AlphaBlend(p[0], p[1], &copy, p[2], p[3], &copy, p[4], p[5], 16, 6, 40));
        EXPECT_EQ(Snapshot(dest), Snapshot(twin)) << p[0] << "," << p[1] << " from " << p[2] << "," << p[3];
    }
    EXPECT_FALSE(dest.AlphaBlend(0, 0, &a, 0, 0, &b, 0, 0, 4, 4, 129));
    EXPECT_FALSE(dest.AlphaBlend(0, 0, &a, 0, 0, &b, 0, 0, 4, 4, -1));
    TVeAlpha uncreated(&owner);
    EXPECT_FALSE(dest.AlphaBlend(0, 0, &a, 0, 0, &uncreated, 0, 0, 4, 4, 64));
}

TEST(VeAlpha, DrawPlaneTakesThePictureSize)
{
    TComponent owner(nullptr);
    TVeAlpha a(&owner);
    std::vector<uint8_t> plane(5 * 3);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = static_cast<uint8_t>(i + 1);
    ASSERT_TRUE(a.DrawPlane(plane.data(), 5, 3, 0, 0));
    EXPECT_TRUE(a.Created());
    EXPECT_EQ(a.Width(), 5);
    EXPECT_EQ(a.Height(), 3);
    EXPECT_EQ(a.PGet(4, 2), 15);
    ASSERT_TRUE(a.DrawPlane(plane.data(), 5, 3, 2, -1));
    EXPECT_EQ(a.PGet(2, 0), 6);
    EXPECT_EQ(a.PGet(4, 1), 13);
    EXPECT_EQ(a.PGet(1, 0), 2);  // left of the placed picture: untouched
    EXPECT_FALSE(a.DrawPlane(nullptr, 5, 3, 0, 0));
    EXPECT_FALSE(a.DrawPlane(plane.data(), 0, 3, 0, 0));
}
