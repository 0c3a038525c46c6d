#include "media/Getdxver.h"

#include "platform/Audio.h"
#include "platform/Display.h"

namespace DirectX {

int GetDXVersion()
{
    if (!Display::VideoAvailable() || !Audio::DriverAvailable())
        return 0;
    return 0x700;
}

}  // namespace DirectX
