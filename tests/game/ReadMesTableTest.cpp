#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "game/Zbdata.h"
#include "game/Zbreadmes.h"

namespace {

using TRanges = std::vector<std::pair<int, int>>;

const uint8_t StampA[8] = {1, 2, 3, 4, 5, 6, 7, 8};
const uint8_t StampB[8] = {1, 2, 3, 4, 5, 6, 7, 9};

uint32_t Id(int scenario, int message)
{
    return (static_cast<uint32_t>(scenario) << 16) | static_cast<uint32_t>(message);
}

uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Reads a scenario's ranges straight from the bytes the save file would store.
TRanges Ranges(const TReadMesTable& table, int scenario)
{
    const uint8_t* data = table.GetData();
    uint32_t count = Get32(data + 4);
    size_t offset = 8;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t listSize = Get32(data + offset);
        if (static_cast<int>(Get32(data + offset + 4)) == scenario) {
            TRanges ranges;
            for (uint32_t r = 0; r < listSize; r += 4) {
                const uint8_t* p = data + offset + 16 + r;
                ranges.emplace_back(p[0] | (p[1] << 8), p[2] | (p[3] << 8));
            }
            return ranges;
        }
        offset += 16 + listSize;
    }
    return {{-1, -1}};
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void Put16(std::vector<uint8_t>& v, size_t at, int value)
{
    v[at] = static_cast<uint8_t>(value);
    v[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A valid table image: one block per entry of lists, each a list of ranges.
std::vector<uint8_t> TableImage(const std::vector<TRanges>& lists)
{
    std::vector<uint8_t> image(8);
    for (size_t b = 0; b < lists.size(); ++b) {
        size_t at = image.size();
        image.resize(at + 16 + lists[b].size() * 4);
        Put32(image, at, static_cast<uint32_t>(lists[b].size() * 4));
        Put32(image, at + 4, static_cast<uint32_t>(b + 1));
        std::memcpy(image.data() + at + 8, StampA, 8);
        for (size_t r = 0; r < lists[b].size(); ++r) {
            Put16(image, at + 16 + r * 4, lists[b][r].first);
            Put16(image, at + 18 + r * 4, lists[b][r].second);
        }
    }
    Put32(image, 0, static_cast<uint32_t>(image.size()));
    Put32(image, 4, static_cast<uint32_t>(lists.size()));
    return image;
}

// Single-message ranges 0, 2, 4 ... : as many disjoint ranges as a scenario can hold.
TRanges EveryOther(int count)
{
    TRanges ranges;
    for (int i = 0; i < count; ++i)
        ranges.emplace_back(2 * i, 2 * i);
    return ranges;
}

// A consistent table of exactly size bytes: a full first scenario (every other message) and a
// second one filled the same way as far as the size asks.
std::vector<uint8_t> TableOfSize(int64_t size)
{
    int second = static_cast<int>((size - 8 - 2 * 16) / 4) - 32768;
    std::vector<uint8_t> image = TableImage({EveryOther(32768), EveryOther(second)});
    EXPECT_EQ(static_cast<int64_t>(image.size()), size);
    return image;
}

class ReadMesTableTest : public ::testing::Test {
protected:
    void SetUp() override { ZbdataStart(); }
    void TearDown() override { ZbdataFinish(); }
    TReadMesTable& Table() { return *ReadMesTable; }
};

}  // namespace

TEST_F(ReadMesTableTest, ExtendsJoinsAndInsertsRanges)
{
    Table().SetScenario(1, StampA);
    Table().SetScenario(2, StampA);
    Table().SetScenario(3, StampA);
    for (int m : {5, 7})
        Table().SetRead(Id(1, m));
    EXPECT_EQ(Ranges(Table(), 1), (TRanges{{5, 5}, {7, 7}}));
    int64_t before = Table().GetSize();
    Table().SetRead(Id(1, 6));
    EXPECT_EQ(Ranges(Table(), 1), (TRanges{{5, 7}}));
    EXPECT_EQ(Table().GetSize(), before - 4);
    Table().SetRead(Id(1, 3));
    EXPECT_EQ(Ranges(Table(), 1), (TRanges{{3, 3}, {5, 7}}));
    Table().SetRead(Id(1, 4));
    EXPECT_EQ(Ranges(Table(), 1), (TRanges{{3, 7}}));

    Table().SetRead(Id(2, 10));
    Table().SetRead(Id(2, 9));
    Table().SetRead(Id(2, 0));
    Table().SetRead(Id(2, 1));
    Table().SetRead(Id(2, 9));
    Table().SetRead(Id(2, 10));
    EXPECT_EQ(Ranges(Table(), 2), (TRanges{{0, 1}, {9, 10}}));

    // The top message never wraps to 0 when extended: 65535 + 1 is not message 0.
    Table().SetRead(Id(3, 65535));
    Table().SetRead(Id(3, 0));
    EXPECT_EQ(Ranges(Table(), 3), (TRanges{{0, 0}, {65535, 65535}}));
    Table().SetRead(Id(3, 65534));
    Table().SetRead(Id(3, 1));
    EXPECT_EQ(Ranges(Table(), 3), (TRanges{{0, 1}, {65534, 65535}}));

    // The earlier blocks moved when later ones grew and shrank, and all still agree.
    EXPECT_EQ(Ranges(Table(), 1), (TRanges{{3, 7}}));
    EXPECT_EQ(Table().GetSize(), 8 + 3 * 16 + 4 * (1 + 2 + 2));
    EXPECT_TRUE(TReadMesTable::IsValidTable(Table().GetData(), Table().GetSize()));
}

TEST_F(ReadMesTableTest, IsReadFollowsTheRangesAndUnknownScenariosRecordNothing)
{
    Table().SetScenario(4, StampA);
    for (int m : {2, 3, 4, 10, 20, 21})
        Table().SetRead(Id(4, m));
    for (int m : {2, 3, 4, 10, 20, 21})
        EXPECT_TRUE(Table().IsRead(Id(4, m))) << m;
    for (int m : {0, 1, 5, 9, 11, 19, 22, 65535})
        EXPECT_FALSE(Table().IsRead(Id(4, m))) << m;
    // Message 1 widens [2, 4] downwards, and then 0 widens it again.
    Table().SetRead(Id(4, 1));
    Table().SetRead(Id(4, 0));
    EXPECT_EQ(Ranges(Table(), 4), (TRanges{{0, 4}, {10, 10}, {20, 21}}));

    int64_t size = Table().GetSize();
    Table().SetRead(Id(5, 1));
    EXPECT_EQ(Table().GetSize(), size);
    EXPECT_FALSE(Table().IsRead(Id(5, 1)));
    // Alternating between scenarios goes through the one-entry cache each time.
    EXPECT_TRUE(Table().IsRead(Id(4, 3)));
}

TEST_F(ReadMesTableTest, ChangedStampEmptiesOnlyItsScenario)
{
    for (int s = 1; s <= 3; ++s) {
        Table().SetScenario(s, StampA);
        Table().SetRead(Id(s, 10 * s));
        Table().SetRead(Id(s, 10 * s + 5));
    }
    Table().SetScenario(2, StampA);
    EXPECT_EQ(Ranges(Table(), 2), (TRanges{{20, 20}, {25, 25}}));
    int64_t size = Table().GetSize();

    Table().SetScenario(2, StampB);
    EXPECT_EQ(Ranges(Table(), 2), TRanges{});
    EXPECT_EQ(Ranges(Table(), 1), (TRanges{{10, 10}, {15, 15}}));
    EXPECT_EQ(Ranges(Table(), 3), (TRanges{{30, 30}, {35, 35}}));
    EXPECT_EQ(Table().GetSize(), size - 8);
    EXPECT_EQ(std::memcmp(Table().GetData() + 8 + 16 + 8 + 8, StampB, 8), 0);
    EXPECT_FALSE(Table().IsRead(Id(2, 20)));
    EXPECT_TRUE(Table().IsRead(Id(3, 35)));
    Table().SetRead(Id(3, 36));
    EXPECT_EQ(Ranges(Table(), 3), (TRanges{{30, 30}, {35, 36}}));
    EXPECT_TRUE(TReadMesTable::IsValidTable(Table().GetData(), Table().GetSize()));
}

TEST_F(ReadMesTableTest, FullTableLogsAndRecordsNothing)
{
    // 16 bytes left: a new scenario's block would reach the end.
    std::vector<uint8_t> tight = TableOfSize(TReadMesTable::BufferSize - 16);
    ASSERT_TRUE(Table().SetData(tight.data(), static_cast<int64_t>(tight.size())));
    size_t before = ErrLog->Count();
    Table().SetScenario(9, StampA);
    EXPECT_EQ(ErrLog->Count(), before + 1);
    EXPECT_EQ(Table().GetSize(), TReadMesTable::BufferSize - 16);

    std::vector<uint8_t> image = TableOfSize(TReadMesTable::BufferSize - 8);
    ASSERT_TRUE(Table().SetData(image.data(), static_cast<int64_t>(image.size())));

    size_t logged = ErrLog->Count();
    Table().SetScenario(9, StampA);  // 16 more bytes would reach the end
    EXPECT_EQ(ErrLog->Count(), logged + 1);
    EXPECT_EQ(ErrLog->Line(ErrLog->Count() - 1), "ReadMesTable Over");
    Table().SetRead(Id(9, 1));
    EXPECT_FALSE(Table().IsRead(Id(9, 1)));

    Table().SetRead(Id(2, 65535));  // one more range fits: used becomes 0x3FFFC
    EXPECT_TRUE(Table().IsRead(Id(2, 65535)));
    Table().SetRead(Id(2, 65533));  // the next would reach 0x40000
    EXPECT_FALSE(Table().IsRead(Id(2, 65533)));
    EXPECT_EQ(ErrLog->Count(), logged + 2);
    Table().SetRead(Id(2, 65534));  // joining needs no room
    EXPECT_TRUE(Table().IsRead(Id(2, 65534)));
    EXPECT_TRUE(TReadMesTable::IsValidTable(Table().GetData(), Table().GetSize()));
}

TEST_F(ReadMesTableTest, SetDataRefusesOversizedOrInconsistentTables)
{
    Table().SetScenario(1, StampA);
    Table().SetRead(Id(1, 4));
    std::vector<uint8_t> current(Table().GetData(), Table().GetData() + Table().GetSize());
    auto unchanged = [&] {
        return Table().GetSize() == static_cast<int64_t>(current.size()) &&
               std::memcmp(Table().GetData(), current.data(), current.size()) == 0;
    };

    // Exactly 0x40000 bytes, otherwise consistent, is one byte too many.
    std::vector<uint8_t> full = TableOfSize(TReadMesTable::BufferSize);
    EXPECT_FALSE(Table().SetData(full.data(), static_cast<int64_t>(full.size())));
    EXPECT_TRUE(unchanged());
    std::vector<uint8_t> nearly = TableOfSize(TReadMesTable::BufferSize - 4);
    EXPECT_TRUE(Table().SetData(nearly.data(), static_cast<int64_t>(nearly.size())));
    ASSERT_TRUE(Table().SetData(current.data(), static_cast<int64_t>(current.size())));

    std::vector<uint8_t> good = TableImage({{{1, 3}, {5, 9}}, {}, {{0, 65535}}});
    struct TCase {
        const char* what;
        size_t at;
        int value;
        bool word;
    };
    const TCase cases[] = {
        {"used count", 0, 7, false},          {"block count too high", 4, 4, false},
        {"block count too low", 4, 2, false}, {"list size not whole ranges", 8, 6, false},
        {"list runs past the end", 8, 64, false}, {"first after last", 24, 4, true},
        {"overlapping", 28, 3, true},         {"adjacent", 28, 4, true},
        {"unsorted", 28, 0, true},
    };
    for (const TCase& c : cases) {
        std::vector<uint8_t> bad = good;
        if (c.word)
            Put16(bad, c.at, c.value);
        else
            Put32(bad, c.at, static_cast<uint32_t>(c.value));
        EXPECT_FALSE(Table().SetData(bad.data(), static_cast<int64_t>(bad.size()))) << c.what;
        EXPECT_TRUE(unchanged()) << c.what;
    }
    EXPECT_FALSE(Table().SetData(good.data(), 4));
    EXPECT_FALSE(Table().SetData(nullptr, 8));
    // A list of a range and a half whose sizes otherwise add up: still not whole ranges.
    std::vector<uint8_t> half = TableImage({{{1, 3}}});
    half.resize(half.size() + 2);
    Put32(half, 0, static_cast<uint32_t>(half.size()));
    Put32(half, 8, 6);
    EXPECT_FALSE(Table().SetData(half.data(), static_cast<int64_t>(half.size())));
    EXPECT_TRUE(unchanged());

    ASSERT_TRUE(Table().SetData(good.data(), static_cast<int64_t>(good.size())));
    // The cache was reset: scenario 1 is now the loaded one.
    EXPECT_FALSE(Table().IsRead(Id(1, 4)));
    EXPECT_TRUE(Table().IsRead(Id(1, 7)));
    EXPECT_TRUE(Table().IsRead(Id(3, 65535)));
    // Scenario 3, just found, lies elsewhere in the next table; a table may end with an empty
    // block, as one does after a scenario was registered.
    std::vector<uint8_t> moved = TableImage({{}, {}, {{7, 7}}, {}});
    ASSERT_TRUE(Table().SetData(moved.data(), static_cast<int64_t>(moved.size())));
    EXPECT_TRUE(Table().IsRead(Id(3, 7)));
    EXPECT_FALSE(Table().IsRead(Id(3, 65535)));
}
