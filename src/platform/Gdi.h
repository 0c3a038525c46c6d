#pragma once
// Text output in place of GDI: a device context draws text into any pixel buffer or 8-bit plane.

#include <cstdint>

// Pixels a device context draws into: BytesPerPixel 1 is an 8-bit plane (grey index), 3 and 4
// are blue, green, red (and a fourth byte). Pitch may be negative.
struct TPixelTarget {
    uint8_t* Bits = nullptr;
    int Pitch = 0;
    int Width = 0;
    int Height = 0;
    int BytesPerPixel = 0;
};

class TDeviceContext;
using HDC = TDeviceContext*;

// A context drawing into the target's pixels (which must outlive it); null on failure.
HDC CreateTargetDC(const TPixelTarget& target);
void ReleaseTargetDC(HDC dc);
