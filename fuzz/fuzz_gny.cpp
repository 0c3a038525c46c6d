#include <cstdint>

#include "base/Vepicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t key[256];
    for (int i = 0; i < 256; ++i)
        key[i] = static_cast<uint8_t>(i * 37 + 11);
    TMemoryStream stream;
    stream.Write(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TDecodedPicture picture;
    if (DecodeGny(&stream, key, picture)) {
        // What was read must write back to the same bytes.
        TMemoryStream again;
        if (!EncodeGny(&again, key, picture))
            __builtin_trap();
        TDecodedPicture second;
        again.SetPosition(0);
        if (!DecodeGny(&again, key, second) || second.Pixels != picture.Pixels || second.Alpha != picture.Alpha)
            __builtin_trap();
    }
    return 0;
}
