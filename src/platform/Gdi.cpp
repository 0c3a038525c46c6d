#include "platform/Gdi.h"

// Placeholder until the text layer lands: no context can be made yet.
HDC CreateTargetDC(const TPixelTarget&)
{
    return nullptr;
}

void ReleaseTargetDC(HDC) {}
