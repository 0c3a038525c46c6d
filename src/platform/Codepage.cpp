#include "platform/Codepage.h"

#include <iconv.h>

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

namespace {

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

std::string ProgramTextToUtf8(const std::string& text)
{
    std::string out;
    if (ConvertToUtf8(text, "UTF-8", out) || ConvertToUtf8(text, "CP932", out))
        return out;
    return text;
}
