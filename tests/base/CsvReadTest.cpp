#include <gtest/gtest.h>

#include <string>

#include "base/Vecsvread.h"

namespace {

TMemoryStream Text(const std::string& text)
{
    TMemoryStream stream;
    stream.Write(text.data(), static_cast<int64_t>(text.size()));
    stream.SetPosition(0);
    return stream;
}

}  // namespace

TEST(VeCsvRead, ReadsRowsOfIntegers)
{
    // A mark table: the start score, then time, x, y per row; Windows line ends.
    TMemoryStream s = Text("500\r\n1200,320,240\r\n-5, +7 ,\t9\r\n");
    TVeCsvRead csv;
    ASSERT_TRUE(csv.Read(&s));
    EXPECT_EQ(csv.GetSizeY(), 3);
    EXPECT_EQ(csv.GetSizeX(), 3);
    EXPECT_EQ(csv.GetValue(0, 0), 500);
    EXPECT_EQ(csv.GetValue(1, 0), 0);  // short row
    EXPECT_EQ(csv.GetValue(2, 1), 240);
    EXPECT_EQ(csv.GetValue(0, 2), -5);
    EXPECT_EQ(csv.GetValue(1, 2), 7);
    EXPECT_EQ(csv.GetValue(2, 2), 9);
    EXPECT_EQ(csv.GetValue(3, 0), 0);
    EXPECT_EQ(csv.GetValue(-1, 0), 0);
    EXPECT_EQ(csv.GetValue(0, 3), 0);
    EXPECT_EQ(csv.GetValue(0, -1), 0);
}

TEST(VeCsvRead, CellsThatAreNotNumbersReadAsZero)
{
    TMemoryStream s = Text("\xEF\xBB\xBF" "1,,abc,12x,-,2147483647,-2147483648,2147483648,"
                           "99999999999999999999,3\n\n   \nlast");
    TVeCsvRead csv;
    ASSERT_TRUE(csv.Read(&s));
    EXPECT_EQ(csv.GetSizeY(), 2);  // blank lines are no rows
    EXPECT_EQ(csv.GetSizeX(), 10);
    EXPECT_EQ(csv.GetValue(0, 0), 1);  // the byte-order mark is not part of the cell
    EXPECT_EQ(csv.GetValue(1, 0), 0);
    EXPECT_EQ(csv.GetValue(2, 0), 0);
    EXPECT_EQ(csv.GetValue(3, 0), 0);
    EXPECT_EQ(csv.GetValue(4, 0), 0);
    EXPECT_EQ(csv.GetValue(5, 0), 2147483647);
    EXPECT_EQ(csv.GetValue(6, 0), INT32_MIN);
    EXPECT_EQ(csv.GetValue(7, 0), 0);  // overflow
    EXPECT_EQ(csv.GetValue(8, 0), 0);
    EXPECT_EQ(csv.GetValue(9, 0), 3);
    EXPECT_EQ(csv.GetValue(0, 1), 0);  // "last", without a final line feed
}

TEST(VeCsvRead, EmptyBinaryHugeAndMissingInput)
{
    TVeCsvRead csv;
    TMemoryStream empty;
    EXPECT_TRUE(csv.Read(&empty));  // an empty table is no error
    EXPECT_EQ(csv.GetSizeY(), 0);
    EXPECT_EQ(csv.GetSizeX(), 0);

    TMemoryStream good = Text("1,2\n");
    ASSERT_TRUE(csv.Read(&good));
    EXPECT_EQ(csv.GetSizeY(), 1);

    // A failed read leaves nothing of the previous table.
    EXPECT_FALSE(csv.Read(nullptr));
    EXPECT_EQ(csv.GetSizeY(), 0);

    TMemoryStream binary = Text(std::string("1,2\n\0\x01\xff", 7));
    EXPECT_FALSE(csv.Read(&binary));
    EXPECT_EQ(csv.GetSizeY(), 0);

    TMemoryStream huge;
    huge.SetSize(TVeCsvRead::MaxBytes + 1);
    std::fill(huge.Memory(), huge.Memory() + huge.GetSize(), '\n');
    EXPECT_FALSE(csv.Read(&huge));

    // Within the byte limit but too many cells.
    std::string commas(static_cast<size_t>(TVeCsvRead::MaxCells), ',');
    TMemoryStream many = Text(commas);
    EXPECT_FALSE(csv.Read(&many));
    EXPECT_EQ(csv.GetSizeX(), 0);
    EXPECT_EQ(csv.GetValue(0, 0), 0);
}

TEST(VeCsvRead, ReadsFromTheCurrentPosition)
{
    TMemoryStream s = Text("skipped\n4,5\n");
    s.SetPosition(8);
    TVeCsvRead csv;
    ASSERT_TRUE(csv.Read(&s));
    EXPECT_EQ(csv.GetSizeY(), 1);
    EXPECT_EQ(csv.GetValue(1, 0), 5);
}
