#include "base/Vecsvread.h"

#include <cstring>
#include <new>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

bool TVeCsvRead::Read(TStream* stream)
{
    FRows.clear();
    FSizeX = 0;
    if (stream == nullptr)
        return false;
    try {
        // Read in pieces rather than trusting the stream's size: one byte more than the limit
        // tells a too-long stream apart.
        std::vector<char> text;
        char piece[65536];
        for (;;) {
            const int64_t got = stream->Read(piece, sizeof piece);
            if (got <= 0)
                break;
            if (static_cast<int64_t>(text.size()) + got > MaxBytes)
                return false;
            text.insert(text.end(), piece, piece + got);
        }
        if (text.empty())
            return true;
        if (std::memchr(text.data(), 0, text.size()) != nullptr)
            return false;
        if (!Parse(text.data(), text.data() + text.size())) {
            FRows.clear();
            FSizeX = 0;
            return false;
        }
        return true;
    } catch (const std::exception&) {
        FRows.clear();
        FSizeX = 0;
        return false;
    }
}

bool TVeCsvRead::Parse(const char* text, const char* end)
{
    // A byte-order mark left by an editor is not part of the first cell.
    if (end - text >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        text += 3;
    int64_t cells = 0;
    while (text < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(text, '\n', end - text));
        if (lineEnd == nullptr)
            lineEnd = end;
        const char* p = text;
        while (p < lineEnd && IsBlank(*p))
            ++p;
        if (p < lineEnd) {
            std::vector<int32_t> row;
            const char* cell = text;
            for (;;) {
                const char* comma = static_cast<const char*>(std::memchr(cell, ',', lineEnd - cell));
                const char* cellEnd = comma ? comma : lineEnd;
                if (++cells > MaxCells)
                    return false;
                row.push_back(ParseCell(cell, cellEnd));
                if (comma == nullptr)
                    break;
                cell = comma + 1;
            }
            if (static_cast<int>(row.size()) > FSizeX)
                FSizeX = static_cast<int>(row.size());
            FRows.push_back(std::move(row));
        }
        text = lineEnd < end ? lineEnd + 1 : end;
    }
    return true;
}

int32_t TVeCsvRead::ParseCell(const char* begin, const char* end)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    bool negative = false;
    if (begin < end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end)
        return 0;
    int64_t value = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        value = value * 10 + (*p - '0');
        if (value > int64_t(INT32_MAX) + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return 0;
    return static_cast<int32_t>(value);
}

int32_t TVeCsvRead::GetValue(int column, int row) const
{
    if (row < 0 || row >= GetSizeY() || column < 0)
        return 0;
    const auto& cells = FRows[static_cast<size_t>(row)];
    if (column >= static_cast<int>(cells.size()))
        return 0;
    return cells[static_cast<size_t>(column)];
}
