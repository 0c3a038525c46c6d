// Feeds arbitrary text to the script assembler. It must answer with bytes or an error, never
// crash; the bytes it makes must agree with the header it wrote.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scenario/Avgu.h"
#include "scenario/Zbasm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Huge .fill counts are legal; keep the inputs to sizes a script file may have.
    if (size > 4096)
        return 0;
    const std::string source(reinterpret_cast<const char*>(data), size);
    // Directives ignore case: look for the raw-field ones in a lower-case copy.
    std::string lower = source;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower.find(".fill") != std::string::npos || lower.find(".filesize") != std::string::npos)
        return 0;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!AssembleScript(source, bytes, error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    if (bytes.size() < 40)
        std::abort();
    TScriptHeader header;
    ReadScriptHeader(bytes.data(), header);
    if (lower.find(".trigsize") == std::string::npos && lower.find(".trigoffset") == std::string::npos &&
        lower.find(".funcsize") == std::string::npos && lower.find(".funcoffset") == std::string::npos &&
        (uint64_t(header.FuncOffset) + header.FuncSize != bytes.size() ||
         uint64_t(header.TriggerOffset) + header.TriggerSize != header.FuncOffset))
        std::abort();
    return 0;
}
