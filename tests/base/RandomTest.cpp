#include <gtest/gtest.h>

#include <vector>

#include "base/Verandom.h"

TEST(Random, SameSequenceEachConstructionAndUniformRanges)
{
    TRandom a, b;
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(a.Rnd(), b.Rnd());

    EXPECT_EQ(a.Random(0), -1);
    EXPECT_EQ(a.Random(-5), -1);
    EXPECT_EQ(a.Random(1), 0);

    // A chi-square-like check: 6 buckets over 60000 draws stay near 10000 each.
    std::vector<int> counts(6);
    for (int i = 0; i < 60000; ++i) {
        int v = a.Random(6);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 6);
        ++counts[v];
    }
    for (int c : counts)
        EXPECT_NEAR(c, 10000, 500);

    // Above 65536 both halves of the range are reached.
    bool low = false, high = false;
    for (int i = 0; i < 2000; ++i) {
        int v = a.Random(1000000);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 1000000);
        (v < 500000 ? low : high) = true;
    }
    EXPECT_TRUE(low && high);
}
