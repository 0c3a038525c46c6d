#pragma once
// A table of signed integers read from comma-separated text: one row per line (line feed,
// with an optional carriage return before it), cells separated by commas, every line data (no
// header, no comments). Lines that hold nothing but blanks are skipped, so a trailing line
// feed or blank line adds no row. Rows may differ in length; GetSizeX is the longest.
//
// A cell is an optional sign and decimal digits, blanks around it allowed. An empty cell, a
// cell that is not such a number, or one outside the 32-bit range reads as 0.
//
// Input is text of at most MaxBytes bytes and MaxCells cells; a longer stream, one holding a
// zero byte (not text), or a failing stream makes Read return false with an empty table.

#include <cstdint>
#include <vector>

#include "platform/Streams.h"

class TVeCsvRead {
public:
    static constexpr int64_t MaxBytes = 4 * 1024 * 1024;
    static constexpr int64_t MaxCells = 256 * 1024;

    // Reads from the stream's current position to its end; false leaves the table empty.
    bool Read(TStream* stream);
    int GetSizeX() const { return FSizeX; }
    int GetSizeY() const { return static_cast<int>(FRows.size()); }
    // 0 for a position outside the table or past the end of a short row.
    int32_t GetValue(int column, int row) const;

    // One cell's text as Read takes it.
    static int32_t ParseCell(const char* begin, const char* end);

private:
    bool Parse(const char* text, const char* end);

    std::vector<std::vector<int32_t>> FRows;
    int FSizeX = 0;
};
