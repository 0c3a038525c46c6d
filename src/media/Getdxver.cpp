#include "media/Getdxver.h"

#include "platform/Display.h"

namespace DirectX {

int GetDXVersion()
{
    // The display side only: a sound device that cannot start is the sound device's own
    // failure, reported when it is enabled.
    return Display::VideoAvailable() ? 0x700 : 0;
}

}  // namespace DirectX
