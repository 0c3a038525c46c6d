#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/Verect.h"
#include "base/Verectset.h"

TEST(VeRect, IntersectAndUnionFollowEmptyRules)
{
    TVeRect r = VeRect(1, 2, 3, 4);
    EXPECT_FALSE(r.IntersectRect(VeRect(0, 0, 10, 10), VeRect(5, 5, 5, 9)));
    EXPECT_EQ(r, VeRect(0, 0, 0, 0));
    EXPECT_FALSE(r.IntersectRect(VeRect(0, 0, 10, 10), VeRect(10, 0, 20, 10)));  // touching only
    EXPECT_TRUE(r.IntersectRect(VeRect(0, 0, 10, 10), VeRect(5, -5, 20, 5)));
    EXPECT_EQ(r, VeRect(5, 0, 10, 5));

    EXPECT_TRUE(r.UnionRect(VeRect(3, 3, 3, 9), VeRect(1, 1, 2, 2)));
    EXPECT_EQ(r, VeRect(1, 1, 2, 2));
    EXPECT_FALSE(r.UnionRect(VeRect(3, 3, 3, 9), VeRect(4, 4, 1, 1)));
    EXPECT_EQ(r, VeRect(0, 0, 0, 0));
    EXPECT_TRUE(r.UnionRect(VeRect(0, 0, 2, 2), VeRect(5, 6, 7, 8)));
    EXPECT_EQ(r, VeRect(0, 0, 7, 8));
    EXPECT_EQ(VeRect(5, 5, 1, 1).left, 5);  // no normalisation
}

TEST(VeRect, SubtractRectFollowsItsBandRules)
{
    const TVeRect a = VeRect(10, 10, 20, 20);
    TVeRect r;
    r.SubtractRect(a, VeRect(0, 0, 30, 15));  // spans horizontally, covers the top
    EXPECT_EQ(r, VeRect(10, 15, 20, 20));
    r.SubtractRect(a, VeRect(10, 0, 20, 20));  // covers all
    EXPECT_EQ(r, VeRect(0, 0, 0, 0));
    r.SubtractRect(a, VeRect(5, 12, 25, 30));  // covers the bottom
    EXPECT_EQ(r, VeRect(10, 10, 20, 12));
    r.SubtractRect(a, VeRect(5, 12, 25, 18));  // a band through the middle: not a rectangle
    EXPECT_EQ(r, a);
    r.SubtractRect(a, VeRect(0, 10, 14, 20));  // spans vertically, covers the left
    EXPECT_EQ(r, VeRect(14, 10, 20, 20));
    r.SubtractRect(a, VeRect(16, 0, 40, 40));  // covers the right
    EXPECT_EQ(r, VeRect(10, 10, 16, 20));
    r.SubtractRect(a, VeRect(0, 0, 30, 30));  // spans both ways: empty through the top rule
    EXPECT_EQ(r, VeRect(0, 0, 0, 0));
    r.SubtractRect(a, VeRect(12, 12, 14, 14));  // a hole
    EXPECT_EQ(r, a);
    r.SubtractRect(a, VeRect(0, 20, 30, 30));  // touching below: nothing removed
    EXPECT_EQ(r, a);
}

namespace {

constexpr int GridSize = 48;

struct Grid {
    std::vector<char> cells = std::vector<char>(GridSize * GridSize, 0);
    void Set(const TVeRect& r, char value)
    {
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, GridSize); ++y)
            for (int x = std::max(r.left, 0); x < std::min(r.right, GridSize); ++x)
                cells[y * GridSize + x] = value;
    }
    void KeepInside(const TVeRect& r)
    {
        for (int y = 0; y < GridSize; ++y)
            for (int x = 0; x < GridSize; ++x)
                if (!r.PtInRect(x, y))
                    cells[y * GridSize + x] = 0;
    }
};

TVeRect RandomRect(std::mt19937& rng)
{
    std::uniform_int_distribution<int> pos(-4, GridSize + 4);
    return VeRect(pos(rng), pos(rng), pos(rng), pos(rng));  // often empty or inverted on purpose
}

}  // namespace

TEST(VeRectSet, StaysDisjointAndCoversExactlyTheModelArea)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        TVeRectSet set;
        Grid model;
        for (int step = 0; step < 30; ++step) {
            TVeRect r = RandomRect(rng);
            int op = static_cast<int>(rng() % 10);
            if (op < 6) {
                set.UnionRect(r);
                if (!r.IsRectEmpty())
                    model.Set(r, 1);
            } else if (op < 9) {
                set.SubtractRect(r);
                if (!r.IsRectEmpty())
                    model.Set(r, 0);
            } else {
                set.IntersectRect(r);
                if (r.IsRectEmpty())
                    model.cells.assign(model.cells.size(), 0);
                else
                    model.KeepInside(r);
            }
            Grid covered;
            for (const TVeRect& piece : set) {
                ASSERT_FALSE(piece.IsRectEmpty());
                for (int y = piece.top; y < piece.bottom; ++y)
                    for (int x = piece.left; x < piece.right; ++x) {
                        ASSERT_TRUE(x >= -4 && y >= -4);
                        if (x < 0 || y < 0 || x >= GridSize || y >= GridSize)
                            continue;
                        ASSERT_EQ(covered.cells[y * GridSize + x], 0) << "overlap at " << x << "," << y;
                        covered.cells[y * GridSize + x] = 1;
                    }
            }
            // Area outside the grid is possible (rectangles reach -4); compare inside it.
            ASSERT_EQ(covered.cells, model.cells) << "round " << round << " step " << step;
        }
    }
}

TEST(VeRectSet, UnionOfSetsOffsetAndBounds)
{
    TVeRectSet a, b;
    a.UnionRect(VeRect(0, 0, 10, 10));
    b.UnionRect(VeRect(5, 5, 15, 15));
    b.UnionRect(VeRect(0, 0, 10, 10));
    a.UnionRectSet(b);
    EXPECT_EQ(a.Area(), 100 + 100 - 25);
    EXPECT_EQ(a.Bounds(), VeRect(0, 0, 15, 15));
    EXPECT_EQ(a[0], VeRect(0, 0, 10, 10));  // existing area keeps its place in the order
    a.OffsetRect(3, -2);
    EXPECT_EQ(static_cast<TVeRect>(a), VeRect(3, -2, 18, 13));
    a.UnionRect(VeRect(4, 4, 4, 20));
    EXPECT_EQ(a.Area(), 175);
    a.SetRectEmpty();
    EXPECT_TRUE(a.IsRectEmpty());
    EXPECT_TRUE(a.Bounds().IsRectEmpty());
}
