// Decodes arbitrary bytes (which must never read or write outside the buffers) and round-trips
// the same bytes through the encoder.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/Verange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the destination size, so both "too small" and "roomy" are explored.
    size_t destSize = static_cast<size_t>(data[0]) * 64;
    std::vector<uint8_t> dest(destSize);
    TRangeDecode decoder;
    if (!decoder.CreateBuffer())
        std::abort();
    if (decoder.Decode(data + 1, dest.data(), static_cast<int64_t>(size - 1), static_cast<int64_t>(destSize))) {
        if (decoder.OutCount > static_cast<int64_t>(destSize) || decoder.InCount > static_cast<int64_t>(size - 1))
            std::abort();
    }

    TRangeEncode encoder;
    if (!encoder.CreateBuffer())
        std::abort();
    std::vector<uint8_t> coded(size * 2 + 16);
    if (!encoder.Encode(data, coded.data(), static_cast<int64_t>(coded.size()), static_cast<int64_t>(size)))
        std::abort();
    std::vector<uint8_t> back(size);
    if (!decoder.Decode(coded.data(), back.data(), encoder.OutCount, static_cast<int64_t>(size)) ||
        decoder.OutCount != static_cast<int64_t>(size) || std::memcmp(back.data(), data, size) != 0)
        std::abort();
    return 0;
}
