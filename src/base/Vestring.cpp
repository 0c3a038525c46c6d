#include "base/Vestring.h"

#include <cstring>

#include "platform/Codepage.h"
#include "platform/Filenames.h"

void SeparateString(const std::string& text, std::string* out, int n)
{
    if (out == nullptr || n < 1)
        return;
    size_t start = 0;
    for (int i = 0; i < n; ++i) {
        if (start > text.size()) {
            out[i].clear();
            continue;
        }
        const size_t feed = text.find('\n', start);
        if (feed == std::string::npos) {
            out[i] = text.substr(start);
            start = text.size() + 1;
        } else {
            out[i] = text.substr(start, feed - start);
            start = feed + 1;
        }
    }
}

std::string DivideFront(const std::string& s, int n)
{
    if (n < 1)
        return std::string();
    return s.substr(0, static_cast<size_t>(n));
}

std::string DivideRear(const std::string& s, int n)
{
    const size_t from = n < 1 ? 0 : static_cast<size_t>(n) - 1;
    if (from >= s.size())
        return std::string();
    return s.substr(from);
}

std::string IntToWideStr(int value, int digits)
{
    int64_t magnitude = value;
    const bool negative = magnitude < 0;
    if (negative)
        magnitude = -magnitude;
    std::string narrow = std::to_string(magnitude);
    if (digits > MaxWideDigits)
        digits = MaxWideDigits;
    if (static_cast<int>(narrow.size()) < digits)
        narrow.insert(0, static_cast<size_t>(digits) - narrow.size(), '0');
    std::string wide;
    wide.reserve(narrow.size() * 2 + 2);
    if (negative)
        wide += WideMinus();
    for (char c : narrow)
        wide += WideDigit(c - '0');
    return wide;
}

void VeMemcpy(void* destination, const void* source, int64_t count)
{
    if (destination == nullptr || source == nullptr || count < 1)
        return;
    std::memmove(destination, source, static_cast<size_t>(count));
}

bool FileIsExist(const std::string& path)
{
    if (path.empty())
        return false;
    return PathIsFile(NativePath(path));
}
