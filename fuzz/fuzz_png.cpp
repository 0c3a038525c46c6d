#include <cstdint>

#include "base/Vepicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the white-matte decode, so both paths are explored.
    TMemoryStream stream;
    stream.Write(data + 1, static_cast<int64_t>(size - 1));
    stream.SetPosition(0);
    TDecodedPicture picture;
    if (DecodePng(&stream, picture, data[0] & 1)) {
        const size_t count = static_cast<size_t>(picture.Width) * picture.Height;
        if (picture.Pixels.size() != count * 3 || (!picture.Alpha.empty() && picture.Alpha.size() != count))
            __builtin_trap();
    }
    stream.SetPosition(0);
    const int channels = ChkChannelPng(&stream);
    if (channels != 0 && channels != 1 && channels != 3 && channels != 4)
        __builtin_trap();
    return 0;
}
