#include "platform/Sysutils.h"

#include <cstdio>

std::string UpperCase(const std::string& s)
{
    std::string result = s;
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

std::string LowerCase(const std::string& s)
{
    std::string result = s;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

std::string Trim(const std::string& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ')
        --last;
    return s.substr(first, last - first);
}

std::string IntToStr(int64_t value)
{
    return std::to_string(value);
}

std::string IntToHex(int64_t value, int digits)
{
    uint64_t bits = value < 0 && value >= INT32_MIN ? static_cast<uint32_t>(value) : static_cast<uint64_t>(value);
    static const char hex[] = "0123456789ABCDEF";
    std::string result;
    do {
        result.insert(result.begin(), hex[bits & 15]);
        bits >>= 4;
    } while (bits != 0);
    if (digits > 16)
        digits = 16;
    if (static_cast<int>(result.size()) < digits)
        result.insert(0, static_cast<size_t>(digits) - result.size(), '0');
    return result;
}

bool TryStrToInt(const std::string& text, int32_t& value)
{
    std::string s = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return false;
    int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFll)
            return false;
    }
    int64_t result = negative ? -magnitude : magnitude;
    if (base == 16 && !negative && magnitude > INT32_MAX) {
        // Eight hexadecimal digits name the 32-bit pattern, as the class library reads them.
        value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
        return true;
    }
    if (result < INT32_MIN || result > INT32_MAX)
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

int32_t StrToIntDef(const std::string& s, int32_t defaultValue)
{
    int32_t value;
    return TryStrToInt(s, value) ? value : defaultValue;
}
