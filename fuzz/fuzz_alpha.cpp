#include <cstdint>

#include "base/Vepicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.Write(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    int width = 0, height = 0;
    std::vector<uint8_t> plane;
    if (DecodeAlphaPicture(&stream, width, height, plane) &&
        plane.size() != static_cast<size_t>(width) * height)
        __builtin_trap();
    return 0;
}
