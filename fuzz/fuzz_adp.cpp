// Feeds arbitrary bytes to the ADP1 decoder, to the whole-sound loader and to a looping stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/Vedsound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.Write(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    DirectX::TAdpReader reader;
    if (reader.Open(&stream)) {
        std::vector<int16_t> out(2 * 4096);
        uint64_t total = 0;
        while (int n = reader.Read(out.data(), 4096))
            total += static_cast<uint64_t>(n);
        if (total != reader.DeviceFrames())
            __builtin_trap();
        if (reader.Rewind())
            reader.Read(out.data(), 17);
    }

    if (size > 2048)
        return 0;  // the device paths cost a thread and a ring per run; small inputs reach them all
    DirectX::TDSound device(nullptr);
    device.EnableOffline();
    stream.SetPosition(0);
    delete device.CreateBufferFromAdp(&stream, false, false, false);
    stream.SetPosition(0);
    if (DirectX::TDSoundStream* voice = device.CreateStreamFromAdp(&stream, false, false)) {
        voice->Play(true);
        std::vector<int16_t> mix(2 * 1024);
        device.Mix(mix.data(), 1024);
        delete voice;
    }
    return 0;
}
