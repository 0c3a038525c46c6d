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
