#include "base/Vealpha.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "base/Vergbrow.h"
#include "platform/Winapi.h"

TVeAlpha::TVeAlpha(TComponent* owner) : TComponent(owner) {}

TVeAlpha::~TVeAlpha()
{
    TVeAlpha::Release();
}

bool TVeAlpha::Resize(int width, int height)
{
    // New storage is had before the old is let go, so a failed allocation leaves the plane as it was.
    if (width < 1 || height < 1 || (FCreated && !ReplacePixelStorage(FBits, FPitch, width, height)))
        return false;
    FWidth = width;
    FHeight = height;
    return true;
}

bool TVeAlpha::Create()
{
    if (FCreated || !ReplacePixelStorage(FBits, FPitch, FWidth, FHeight))
        return false;
    FCreated = true;
    return true;
}

void TVeAlpha::Release()
{
    GlobalFreeBlock(FBits);
    FBits = nullptr;
    FPitch = 0;
    FCreated = false;
}

bool TVeAlpha::GetDC(HDC& dc)
{
    dc = nullptr;
    return false;
}

void TVeAlpha::ReleaseDC(HDC) {}

bool TVeAlpha::Fill(uint8_t value)
{
    if (!FCreated)
        return false;
    for (int y = 0; y < FHeight; ++y)
        std::memset(FBits + static_cast<ptrdiff_t>(y) * FPitch, value, static_cast<size_t>(FWidth));
    return true;
}

bool TVeAlpha::BoxFill(int x1, int y1, int x2, int y2, uint8_t value)
{
    if (!FCreated)
        return false;
    const int64_t left = std::max<int64_t>(std::min(x1, x2), 0);
    const int64_t top = std::max<int64_t>(std::min(y1, y2), 0);
    const int64_t right = std::min<int64_t>(int64_t(std::max(x1, x2)) + 1, FWidth);
    const int64_t bottom = std::min<int64_t>(int64_t(std::max(y1, y2)) + 1, FHeight);
    for (int64_t y = top; y < bottom; ++y)
        std::memset(FBits + y * FPitch + left, value, static_cast<size_t>(std::max<int64_t>(right - left, 0)));
    return true;
}

bool TVeAlpha::Draw(int dx, int dy, TVeAlpha* src, int sx, int sy, int w, int h)
{
    return ByteOp(dx, dy, src, sx, sy, w, h, boCopy, 0);
}

bool TVeAlpha::SAdd(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, int level)
{
    return ByteOp(x, y, src, sx, sy, w, h, boAdd, static_cast<uint8_t>(level));
}

bool TVeAlpha::SSub(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, int level)
{
    return ByteOp(x, y, src, sx, sy, w, h, boSub, static_cast<uint8_t>(level));
}

bool TVeAlpha::Extract(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, int level)
{
    return ByteOp(x, y, src, sx, sy, w, h, boExtract, static_cast<uint8_t>(level));
}

namespace {

void RowAdd(uint8_t* __restrict dst, const uint8_t* __restrict src, int n, uint8_t level)
{
    for (int i = 0; i < n; ++i) {
        const unsigned t = src[i] + level;
        dst[i] = static_cast<uint8_t>(t > 255 ? 255 : t);
    }
}

void RowSub(uint8_t* __restrict dst, const uint8_t* __restrict src, int n, uint8_t level)
{
    for (int i = 0; i < n; ++i)
        dst[i] = static_cast<uint8_t>(src[i] > level ? src[i] - level : 0);
}

void RowExtract(uint8_t* __restrict dst, const uint8_t* __restrict src, int n, uint8_t level)
{
    for (int i = 0; i < n; ++i) {
        unsigned t = src[i] + level;
        t = t > 255 ? 255 : t;
        dst[i] = static_cast<uint8_t>(t < 240 ? 0 : (t - 240) * 17);
    }
}

// A plane a byte blit reads, from (X, Y); InPlace as in TBlitPlane.
struct TByteSource {
    TVeAlpha* Plane;
    int X;
    int Y;
    bool InPlace = false;
};

// Clips a w x h blit at (x, y) to dest and every source and hands each row to row(to, from, w)
// in a safe order (see TBlitRows).
template <class TRow>
bool ByteRows(TVeAlpha* dest, int x, int y, std::initializer_list<TByteSource> sources, int w, int h, TRow&& row)
{
    if (w <= 0 || h <= 0)
        return true;
    TClipPart parts[TBlitRows::MaxPlanes] = {{x, y, dest->Width(), dest->Height()}};
    TBlitPlane planes[TBlitRows::MaxPlanes] = {{dest->Bits(), dest->Pitch(), 1}};
    int count = 1;
    for (const TByteSource& s : sources) {
        if (count == TBlitRows::MaxPlanes)
            break;
        parts[count] = {s.X, s.Y, s.Plane->Width(), s.Plane->Height()};
        planes[count] = {s.Plane->Bits(), s.Plane->Pitch(), 1, s.InPlace};
        ++count;
    }
    if (!ClipBlit(parts, count, w, h))
        return true;
    TBlitRows(parts, planes, count, w, h).Walk(row);
    return true;
}

}  // namespace

bool TVeAlpha::ByteOp(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, TByteOp op, uint8_t level)
{
    if (!FCreated || !src || !src->Created())
        return false;
    return ByteRows(this, x, y, {{src, sx, sy}}, w, h, [&](uint8_t* to, const uint8_t* const* from, int n) {
        switch (op) {
        case boCopy: std::memcpy(to, from[0], static_cast<size_t>(n)); break;
        case boAdd: RowAdd(to, from[0], n, level); break;
        case boSub: RowSub(to, from[0], n, level); break;
        case boExtract: RowExtract(to, from[0], n, level); break;
        }
    });
}

bool TVeAlpha::AlphaBlend(int x, int y, TVeAlpha* a, int ax, int ay, TVeAlpha* b, int bx, int by, int w, int h,
                          int alpha)
{
    if (!FCreated || !a || !a->Created() || !b || !b->Created() || alpha < 0 || alpha > 128)
        return false;
    return ByteRows(this, x, y, {{a, ax, ay, true}, {b, bx, by}}, w, h, [&](uint8_t* to, const uint8_t* const* from, int n) {
        if (from[0] == to)
            RowBlendLevelInPlace(to, from[1], n, alpha);
        else
            RowBlendLevel(to, from[0], from[1], n, alpha);
    });
}

uint8_t TVeAlpha::PGet(int x, int y) const
{
    if (!FCreated || x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return 0;
    return FBits[static_cast<ptrdiff_t>(y) * FPitch + x];
}

bool TVeAlpha::DrawPlane(const uint8_t* plane, int width, int height, int x, int y)
{
    if (!plane || width < 1 || height < 1)
        return false;
    if (FCreated) {
        if ((width != FWidth || height != FHeight) && !Resize(width, height))
            return false;
    } else if (!Resize(width, height) || !Create()) {
        return false;
    }
    int w = width, h = height;
    TClipPart parts[2] = {{x, y, FWidth, FHeight}, {0, 0, width, height}};
    if (!ClipBlit(parts, 2, w, h))
        return true;
    for (int j = 0; j < h; ++j)
        std::memcpy(FBits + static_cast<ptrdiff_t>(parts[0].Y + j) * FPitch + parts[0].X,
                    plane + static_cast<size_t>(parts[1].Y + j) * width + parts[1].X, static_cast<size_t>(w));
    return true;
}
