#include "base/Vergbdib.h"

bool TVeRGBBits::OpenPixelDC(HDC& dc)
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

void TVeRGBBits::ReleasePixelDC(HDC dc)
{
    if (!dc)
        return;
    ReleaseTargetDC(dc);
    Unlock();
}

bool TVeRGBDib::GetDC(HDC& dc)
{
    return OpenPixelDC(dc);
}

void TVeRGBDib::ReleaseDC(HDC dc)
{
    ReleasePixelDC(dc);
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
