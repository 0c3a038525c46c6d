#include "platform/Codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <vector>

bool Utf8ToCodePage(const std::string& text, const char* codePage, std::string& out)
{
    out.clear();
    iconv_t cd = iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string result;
    std::vector<char> chunk(256);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    bool ok = true;
    while (ok) {
        char* dst = chunk.data();
        size_t dstLeft = chunk.size();
        size_t done = iconv(cd, inLeft ? &in : nullptr, &inLeft, &dst, &dstLeft);
        result.append(chunk.data(), chunk.size() - dstLeft);
        if (done != static_cast<size_t>(-1)) {
            if (inLeft == 0)
                break;
            continue;
        }
        ok = errno == E2BIG;
    }
    iconv_close(cd);
    if (!ok)
        return false;
    out = std::move(result);
    return true;
}

const char* CodePageName(int codePage)
{
    switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 1252: return "CP1252";
    default: return nullptr;
    }
}

bool IsLeadByteIn(int codePage, uint8_t b)
{
    if (codePage == 932)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (codePage == 936)
        return b >= 0x81 && b <= 0xFE;
    return false;
}

namespace {

std::atomic<int> TextCodePage{936};

// The marks of one code page, made from the characters themselves so that both pages hang the
// same closing marks and write the same digits.
struct TTextMarks {
    std::string Digits[10];
    std::string Minus;
    std::vector<std::string> Closing;
};

std::string Encode(const char* utf8, const char* codePage, const char* fallback)
{
    std::string out;
    return Utf8ToCodePage(utf8, codePage, out) ? out : std::string(fallback);
}

TTextMarks MakeMarks(const char* codePage)
{
    static const char* const digits[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    static const char* const closing[] = {"。", "、", "」", "』", "）", "】", "｝"};
    TTextMarks marks;
    for (int d = 0; d < 10; ++d) {
        const char ascii[2] = {static_cast<char>('0' + d), 0};
        marks.Digits[d] = Encode(digits[d], codePage, ascii);
    }
    marks.Minus = Encode("－", codePage, "-");
    for (const char* c : closing) {
        const std::string bytes = Encode(c, codePage, "");
        if (bytes.size() == 2)
            marks.Closing.push_back(bytes);
    }
    return marks;
}

const TTextMarks& Marks()
{
    static const TTextMarks shiftJis = MakeMarks("CP932");
    static const TTextMarks gbk = MakeMarks("CP936");
    return TextCodePage == 932 ? shiftJis : gbk;
}

// Converts the whole text to UTF-8 or fails.
bool ConvertToUtf8(const std::string& text, const char* from, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    // A code-page-932 character of one or two bytes needs at most three in UTF-8.
    std::vector<char> buffer(text.size() * 3 + 4);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    if (ok)
        out.assign(buffer.data(), static_cast<size_t>(outPtr - buffer.data()));
    return ok;
}

}  // namespace

void SetSystemCodePage(int codePage)
{
    if (codePage == 932 || codePage == 936)
        TextCodePage = codePage;
}

int SystemCodePage()
{
    return TextCodePage;
}

bool IsLeadByte(uint8_t b)
{
    return IsLeadByteIn(TextCodePage, b);
}

TMbcsByteType ByteType(const std::string& s, size_t index)
{
    if (index < 1 || index > s.size())
        return mbSingleByte;
    const size_t target = index - 1;
    size_t i = 0;
    while (i < target)
        i += IsLeadByte(static_cast<uint8_t>(s[i])) ? 2 : 1;
    if (i > target)
        return mbTrailByte;
    return IsLeadByte(static_cast<uint8_t>(s[i])) ? mbLeadByte : mbSingleByte;
}

std::string Utf8ToTextCodePage(const std::string& utf8)
{
    std::string out;
    Utf8ToCodePage(utf8, CodePageName(TextCodePage), out);
    return out;
}

const std::string& WideDigit(int d)
{
    return Marks().Digits[d >= 0 && d <= 9 ? d : 0];
}

const std::string& WideMinus()
{
    return Marks().Minus;
}

bool IsClosingMark(const std::string& s, size_t pos)
{
    if (pos >= s.size() || s.size() - pos < 2)
        return false;
    for (const std::string& mark : Marks().Closing)
        if (s.compare(pos, 2, mark) == 0)
            return true;
    return false;
}

std::string ProgramTextToUtf8(const std::string& text)
{
    std::string out;
    if (ConvertToUtf8(text, "UTF-8", out) || ConvertToUtf8(text, "CP932", out))
        return out;
    return text;
}
