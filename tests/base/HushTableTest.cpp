#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/Vehushtable.h"

namespace {

// Keys that fall into the same bucket, found by trying names.
std::vector<std::string> CollidingKeys(int count)
{
    std::map<unsigned, std::vector<std::string>> byBucket;
    for (int i = 0;; ++i) {
        std::string key = "Func" + std::to_string(i);
        auto& keys = byBucket[TVeHushTable::Hash(key.c_str())];
        keys.push_back(key);
        if (static_cast<int>(keys.size()) == count)
            return keys;
    }
}

}  // namespace

TEST(VeHushTable, FindsEveryKeyAmongCollisions)
{
    TVeHushTable table;
    ASSERT_TRUE(table.Alloc(256));
    const auto keys = CollidingKeys(6);
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(table.AddData(keys[i].c_str(), static_cast<int32_t>(100 + i)), static_cast<int>(i));
    for (size_t i = 0; i < keys.size(); ++i) {
        const int index = table.Search(keys[i].c_str());
        ASSERT_EQ(index, static_cast<int>(i));
        EXPECT_EQ(table.GetParam(index), static_cast<int32_t>(100 + i));
    }
    // Byte for byte: case, a prefix or a longer key are other keys.
    EXPECT_EQ(table.Search("func0"), -1);
    EXPECT_EQ(table.Search(keys[0].substr(0, keys[0].size() - 1).c_str()), -1);
    EXPECT_EQ(table.Search((keys[0] + "x").c_str()), -1);
    EXPECT_EQ(table.Search(""), -1);
    EXPECT_EQ(table.Search(nullptr), -1);
    EXPECT_EQ(table.AddData(nullptr, 1), -1);

    // Multibyte and high bytes are just bytes.
    const int high = table.AddData("\x82\xA0\x82\xA2", -7);
    EXPECT_EQ(table.Search("\x82\xA0\x82\xA2"), high);
    EXPECT_EQ(table.GetParam(high), -7);
}

TEST(VeHushTable, FullTableDuplicatesAndClearing)
{
    TVeHushTable table;
    EXPECT_EQ(table.AddData("a", 1), -1);  // no room before Alloc
    ASSERT_TRUE(table.Alloc(3));
    EXPECT_EQ(table.AddData("dup", 1), 0);
    EXPECT_EQ(table.AddData("dup", 2), 1);  // duplicates are not refused
    EXPECT_EQ(table.AddData("x", 3), 2);
    EXPECT_EQ(table.AddData("y", 4), -1);  // full
    EXPECT_EQ(table.Search("y"), -1);
    EXPECT_EQ(table.GetParam(table.Search("dup")), 1);  // the first one added

    EXPECT_EQ(table.GetParam(-1), 0);
    EXPECT_EQ(table.GetParam(3), 0);

    table.AllClear();
    EXPECT_EQ(table.Search("dup"), -1);
    EXPECT_EQ(table.Search("x"), -1);
    EXPECT_EQ(table.GetCapacity(), 3);
    EXPECT_EQ(table.AddData("y", 5), 0);  // entries fill from the start again
    EXPECT_EQ(table.Search("y"), 0);

    EXPECT_FALSE(table.Alloc(-1));
    EXPECT_EQ(table.AddData("z", 1), -1);
    EXPECT_EQ(table.Search("y"), -1);
    EXPECT_TRUE(table.Alloc(0));
    EXPECT_EQ(table.AddData("z", 1), -1);
}
