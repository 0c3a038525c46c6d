#include "media/Getdxver.h"

#include "platform/Audio.h"

namespace DirectX {

int GetDXVersion()
{
    if (!Audio::VideoDriverAvailable() || !Audio::DriverAvailable())
        return 0;
    return 0x700;
}

}  // namespace DirectX
