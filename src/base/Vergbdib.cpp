#include "base/Vergbdib.h"

bool TVeRGBDib::GetDC(HDC& dc)
{
    dc = nullptr;
    if (!Created() || (BitDepth() != bd24 && BitDepth() != bd32) || !Lock())
        return false;
    TPixelTarget target;
    target.Bits = Bits();
    target.Pitch = Pitch();
    target.Width = Width();
    target.Height = Height();
    target.BytesPerPixel = BytesPerPixel(BitDepth());
    dc = CreateTargetDC(target);
    if (!dc) {
        Unlock();
        return false;
    }
    // The text drawn through the context may land anywhere in the buffer.
    MarkModified(VeRect(0, 0, Width(), Height()));
    return true;
}

void TVeRGBDib::ReleaseDC(HDC dc)
{
    if (!dc)
        return;
    ReleaseTargetDC(dc);
    Unlock();
}

bool TVeAlphaDib::GetDC(HDC& dc)
{
    dc = nullptr;
    if (!Created())
        return false;
    TPixelTarget target;
    target.Bits = Bits();
    target.Pitch = Pitch();
    target.Width = Width();
    target.Height = Height();
    target.BytesPerPixel = 1;
    dc = CreateTargetDC(target);
    return dc != nullptr;
}

void TVeAlphaDib::ReleaseDC(HDC dc)
{
    if (dc)
        ReleaseTargetDC(dc);
}
