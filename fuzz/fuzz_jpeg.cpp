#include <cstdint>

#include "base/Vepicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.Write(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TDecodedPicture picture;
    if (DecodeJpeg(&stream, picture) &&
        picture.Pixels.size() != static_cast<size_t>(picture.Width) * picture.Height * 3)
        __builtin_trap();
    return 0;
}
