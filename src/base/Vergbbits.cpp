#include "base/Vergbbits.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "base/Vealpha.h"
#include "base/Vergbrow.h"
#include "platform/Winapi.h"

namespace {

// Holds a nested lock for a scope; ok is false when the lock was refused.
class TBitsLock {
public:
    explicit TBitsLock(TVeRGBBits* bits) : FBits(bits), FOk(bits->Lock()) {}
    ~TBitsLock()
    {
        if (FOk)
            FBits->Unlock();
    }
    TBitsLock(const TBitsLock&) = delete;
    TBitsLock& operator=(const TBitsLock&) = delete;
    bool Ok() const { return FOk; }

private:
    TVeRGBBits* FBits;
    bool FOk;
};

uint8_t* PixelAt(const TVeRGBBits* b, int x, int y)
{
    return b->Bits() + static_cast<ptrdiff_t>(y) * b->Pitch() +
           static_cast<ptrdiff_t>(x) * BytesPerPixel(b->BitDepth());
}

bool IsWorkingDepth(const TVeRGBBits* b)
{
    return b->BitDepth() == bd24 || b->BitDepth() == bd32;
}

// Whether pixels of the two formats can be copied byte for byte: the same format, or the two
// 32-bit formats, whose colour bytes lie alike.
bool SameLayout(const TVeRGBBits* a, const TVeRGBBits* b)
{
    return a->PixFormat() == b->PixFormat() || (a->BitDepth() == bd32 && b->BitDepth() == bd32);
}

// A blend's sources and destination must share a working depth.
bool CanBlend(const TVeRGBBits* dst, const TVeRGBBits* src)
{
    return src->Created() && IsWorkingDepth(dst) && dst->BitDepth() == src->BitDepth();
}

// The inclusive corners of a rectangle, in either order, as a half-open rectangle clipped to
// the buffer.
bool CornersToRect(int x1, int y1, int x2, int y2, int width, int height, TVeRect& r)
{
    const int64_t left = std::max<int64_t>(std::min(x1, x2), 0);
    const int64_t top = std::max<int64_t>(std::min(y1, y2), 0);
    const int64_t right = std::min<int64_t>(int64_t(std::max(x1, x2)) + 1, width);
    const int64_t bottom = std::min<int64_t>(int64_t(std::max(y1, y2)) + 1, height);
    if (right <= left || bottom <= top)
        return false;
    r = VeRect(int(left), int(top), int(right), int(bottom));
    return true;
}

enum TRectOp { roFill, roTone, roSepia, roMonochrome, roNegative };

}  // namespace

TVeRGBBits::TVeRGBBits(TComponent* owner) : TComponent(owner) {}

TVeRGBBits::~TVeRGBBits()
{
    TVeRGBBits::Release();
}

void TVeRGBBits::SetBitDepth(TBitDepth depth)
{
    if (FCreated)
        return;
    FBitDepth = depth;
    if (!ChkDepthAndFormat(depth, FPixFormat)) {
        switch (depth) {
        case bd16: FPixFormat = pf16_565; break;
        case bd24: FPixFormat = pf24_888; break;
        case bd32: FPixFormat = pf32_888; break;
        default: FPixFormat = pfNone; break;
        }
    }
}

void TVeRGBBits::SetPixFormat(TPixFormat format)
{
    if (FCreated || format == pfNone || DepthOfFormat(format) == bdNone)
        return;
    FPixFormat = format;
    FBitDepth = DepthOfFormat(format);
}

bool TVeRGBBits::Resize(int width, int height)
{
    if (width < 1 || height < 1)
        return false;
    // Created, the buffer needs storage of its own that no one holds locked; new storage is
    // had before the old is let go, so a failed allocation leaves the buffer as it was.
    if (FCreated && (!FOwnStorage || FLockCount > 0 ||
                     !ReplacePixelStorage(FBits, FPitch, int64_t(width) * BytesPerPixel(FBitDepth), height)))
        return false;
    FWidth = width;
    FHeight = height;
    return true;
}

bool TVeRGBBits::Create()
{
    if (FCreated || FWidth < 1 || FHeight < 1 || !ChkDepthAndFormat(FBitDepth, FPixFormat))
        return false;
    const int64_t rowBytes = int64_t(FWidth) * BytesPerPixel(FBitDepth);
    uint8_t* bits = NewPixelStorage(rowBytes, FHeight);
    if (!bits)
        return false;
    FBits = bits;
    FPitch = static_cast<int>(rowBytes);
    FOwnStorage = true;
    FCreated = true;
    FLockCount = 0;
    return true;
}

void TVeRGBBits::Release()
{
    if (FOwnStorage)
        GlobalFreeBlock(FBits);
    FOwnStorage = false;
    FBits = nullptr;
    FPitch = 0;
    FCreated = false;
    FLockCount = 0;
}

bool TVeRGBBits::Lock()
{
    if (!FCreated)
        return false;
    ++FLockCount;
    return true;
}

void TVeRGBBits::Unlock()
{
    if (FLockCount > 0)
        --FLockCount;
}

bool TVeRGBBits::GetDC(HDC& dc)
{
    dc = nullptr;
    return false;
}

void TVeRGBBits::ReleaseDC(HDC) {}

bool TVeRGBBits::Cls()
{
    TBitsLock lock(this);
    if (!lock.Ok())
        return false;
    const size_t rowBytes = static_cast<size_t>(FWidth) * BytesPerPixel(FBitDepth);
    for (int y = 0; y < FHeight; ++y)
        std::memset(PixelAt(this, 0, y), 0, rowBytes);
    MarkModified(VeRect(0, 0, FWidth, FHeight));
    return true;
}

bool TVeRGBBits::BoxFill(int x1, int y1, int x2, int y2, uint32_t colour)
{
    return RectOp(x1, y1, x2, y2, roFill, colour);
}

bool TVeRGBBits::ToneChange(int x1, int y1, int x2, int y2, uint32_t tone)
{
    return RectOp(x1, y1, x2, y2, roTone, tone);
}

bool TVeRGBBits::Sepia(int x1, int y1, int x2, int y2)
{
    return RectOp(x1, y1, x2, y2, roSepia, 0);
}

bool TVeRGBBits::Monochrome(int x1, int y1, int x2, int y2)
{
    return RectOp(x1, y1, x2, y2, roMonochrome, 0);
}

bool TVeRGBBits::Negative(int x1, int y1, int x2, int y2)
{
    return RectOp(x1, y1, x2, y2, roNegative, 0);
}

bool TVeRGBBits::RectOp(int x1, int y1, int x2, int y2, int op, uint32_t value)
{
    if (!FCreated)
        return false;
    // The colour effects work on blue, green, red bytes only.
    if (op != roFill && !IsWorkingDepth(this))
        return false;
    TBitsLock lock(this);
    if (!lock.Ok())
        return false;
    TVeRect r;
    if (!CornersToRect(x1, y1, x2, y2, FWidth, FHeight, r))
        return true;
    const int bpp = BytesPerPixel(FBitDepth);
    const int w = r.Width();
    uint8_t pixel[4] = {0, 0, 0, 0};
    if (op == roFill)
        EncodePixel(FPixFormat, 0xFF000000u | (value & 0xFFFFFF), pixel);
    const uint16_t k[4] = {uint16_t(value & 0xFF), uint16_t((value >> 8) & 0xFF),
                           uint16_t((value >> 16) & 0xFF), 128};
    for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* row = PixelAt(this, r.left, y);
        switch (op) {
        case roFill:
            if (bpp == 4) {
                for (int i = 0; i < w; ++i)
                    std::memcpy(row + 4 * i, pixel, 4);
            } else if (bpp == 3) {
                for (int i = 0; i < w; ++i) {
                    row[3 * i] = pixel[0];
                    row[3 * i + 1] = pixel[1];
                    row[3 * i + 2] = pixel[2];
                }
            } else {
                for (int i = 0; i < w; ++i)
                    std::memcpy(row + static_cast<ptrdiff_t>(i) * bpp, pixel, static_cast<size_t>(bpp));
            }
            break;
        case roTone:
            if (bpp == 3)
                RowTone24(row, w, k);
            else
                RowTone32(row, w, k);
            break;
        case roSepia: RowSepia(row, w, bpp); break;
        case roMonochrome: RowMonochrome(row, w, bpp); break;
        case roNegative: RowNegative(row, w, bpp); break;
        }
    }
    MarkModified(r);
    return true;
}

bool TVeRGBBits::BlitChecks(TVeRGBBits* src, int sx, int sy, int w, int h) const
{
    return FCreated && src && src->Created() && sx >= 0 && sy >= 0 && int64_t(sx) + w <= src->Width() &&
           int64_t(sy) + h <= src->Height();
}

// What a blend reads: a pixel buffer or an alpha plane, from (X, Y).
struct TVeRGBBits::TBlendSource {
    TVeRGBBits* Bits;
    TVeAlpha* Alpha;
    int X;
    int Y;
    bool InPlace = false;
};

template <class TRow>
bool TVeRGBBits::BlendRows(int x, int y, std::initializer_list<TBlendSource> sources, int w, int h, TRow&& row)
{
    if (w <= 0 || h <= 0)
        return true;
    constexpr int maxPlanes = TBlitRows::MaxPlanes;
    const int count = std::min(1 + static_cast<int>(sources.size()), maxPlanes);
    const TBlendSource* source = sources.begin();  // source[k - 1] goes with plane k
    TClipPart parts[maxPlanes] = {{x, y, FWidth, FHeight}};
    for (int k = 1; k < count; ++k) {
        const TBlendSource& s = source[k - 1];
        parts[k] = {s.X, s.Y, s.Bits ? s.Bits->Width() : s.Alpha->Width(),
                    s.Bits ? s.Bits->Height() : s.Alpha->Height()};
    }
    if (!ClipBlit(parts, count, w, h))
        return true;
    // A buffer's pixels can be reached only while it is locked: the sources first, then this one.
    std::optional<TBitsLock> locks[maxPlanes];
    TBlitPlane planes[maxPlanes];
    for (int k = 1; k < count; ++k) {
        const TBlendSource& s = source[k - 1];
        if (!s.Bits) {
            planes[k] = {s.Alpha->Bits(), s.Alpha->Pitch(), 1};
            continue;
        }
        if (!locks[k].emplace(s.Bits).Ok())
            return false;
        planes[k] = {s.Bits->Bits(), s.Bits->Pitch(), BytesPerPixel(s.Bits->BitDepth()), s.InPlace};
    }
    if (!locks[0].emplace(this).Ok())
        return false;
    planes[0] = {FBits, FPitch, BytesPerPixel(FBitDepth)};
    TBlitRows(parts, planes, count, w, h).Walk(row);
    MarkModified(VeRect(parts[0].X, parts[0].Y, parts[0].X + w, parts[0].Y + h));
    return true;
}

bool TVeRGBBits::CopyRows(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h, bool convert)
{
    const int bpp = BytesPerPixel(FBitDepth);
    if (!convert || FPixFormat == src->PixFormat())
        return BlendRows(dx, dy, {{src, nullptr, sx, sy}}, w, h, [&](uint8_t* to, const uint8_t* const* from, int n) {
            std::memcpy(to, from[0], static_cast<size_t>(n) * bpp);
        });
    std::vector<uint32_t> argb;
    return BlendRows(dx, dy, {{src, nullptr, sx, sy}}, w, h, [&](uint8_t* to, const uint8_t* const* from, int n) {
        if (FPixFormat == pf32_888 && src->PixFormat() == pf24_888) {
            Row24To32(to, from[0], n);
        } else if (FPixFormat == pf24_888 && src->BitDepth() == bd32) {
            Row32To24(to, from[0], n);
        } else {
            argb.resize(static_cast<size_t>(n));
            DecodeRow(src->PixFormat(), from[0], argb.data(), n);
            EncodeRow(FPixFormat, argb.data(), to, n);
        }
    });
}

bool TVeRGBBits::Draw(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h)
{
    if (!BlitChecks(src, sx, sy, w, h) || !SameLayout(this, src))
        return false;
    return CopyRows(dx, dy, src, sx, sy, w, h, false);
}

bool TVeRGBBits::Draw(TVeRGBBits* dest)
{
    if (!dest)
        return false;
    return dest->Draw(0, 0, this, 0, 0, FWidth, FHeight);
}

bool TVeRGBBits::ClipDraw(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h)
{
    if (!FCreated || !src || !src->Created() || !SameLayout(this, src))
        return false;
    return CopyRows(dx, dy, src, sx, sy, w, h, false);
}

bool TVeRGBBits::ConvertCopy(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h)
{
    if (!BlitChecks(src, sx, sy, w, h) || DepthOfFormat(FPixFormat) == bdNone ||
        DepthOfFormat(src->PixFormat()) == bdNone)
        return false;
    return CopyRows(dx, dy, src, sx, sy, w, h, true);
}

bool TVeRGBBits::DrawKey(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h, TVeRGB key)
{
    if (!BlitChecks(src, sx, sy, w, h) || !CanBlend(this, src))
        return false;
    const uint32_t colour = key.ToDWORD();
    return BlendRows(dx, dy, {{src, nullptr, sx, sy}}, w, h, [&](uint8_t* to, const uint8_t* const* from, int n) {
        if (FBitDepth == bd24)
            RowKey24(to, from[0], n, colour);
        else
            RowKey32(to, from[0], n, colour);
    });
}

bool TVeRGBBits::DrawAlphaMask(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h, TVeAlpha* alpha)
{
    return DrawDoubleAlphaMask(dx, dy, src, sx, sy, w, h, alpha, 128);
}

bool TVeRGBBits::DrawDoubleAlphaMask(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h,
                                     TVeAlpha* alpha, int level)
{
    if (!FCreated || !src || !alpha || !alpha->Created() || !CanBlend(this, src) || level < 0 || level > 128)
        return false;
    std::vector<uint8_t> scaled;
    return BlendRows(dx, dy, {{src, nullptr, sx, sy}, {nullptr, alpha, sx, sy}}, w, h,
                     [&](uint8_t* to, const uint8_t* const* from, int n) {
                         const uint8_t* mask = from[1];
                         if (level < 128) {
                             scaled.resize(static_cast<size_t>(n));
                             uint8_t* __restrict out = scaled.data();
                             const uint8_t* __restrict in = mask;
                             const int scale = level;  // read through the capture, it would not vectorise
                             for (int i = 0; i < n; ++i)
                                 out[i] = static_cast<uint8_t>((in[i] * scale) >> 7);
                             mask = out;
                         }
                         if (FBitDepth == bd24)
                             RowMask24(to, from[0], mask, n);
                         else
                             RowMask32(to, from[0], mask, n);
                     });
}

bool TVeRGBBits::DrawAlphaMask(int x, int y, TVeRGBBits* src1, int sx1, int sy1, TVeRGBBits* src2, int sx2,
                               int sy2, int w, int h, TVeAlpha* alpha)
{
    if (!FCreated || !src1 || !src2 || !alpha || !alpha->Created() || !CanBlend(this, src1) ||
        !CanBlend(this, src2))
        return false;
    return BlendRows(x, y, {{src1, nullptr, sx1, sy1}, {src2, nullptr, sx2, sy2}, {nullptr, alpha, x, y}}, w, h,
                     [&](uint8_t* to, const uint8_t* const* from, int n) {
                         if (FBitDepth == bd24)
                             RowMask2_24(to, from[0], from[1], from[2], n);
                         else
                             RowMask2_32(to, from[0], from[1], from[2], n);
                     });
}

bool TVeRGBBits::AlphaBlend(int x, int y, TVeRGBBits* src1, int sx1, int sy1, TVeRGBBits* src2, int sx2,
                            int sy2, int w, int h, int level)
{
    if (!FCreated || !src1 || !src2 || !CanBlend(this, src1) || !CanBlend(this, src2) || level < 0 ||
        level > 128)
        return false;
    const int bpp = BytesPerPixel(FBitDepth);
    return BlendRows(x, y, {{src1, nullptr, sx1, sy1, true}, {src2, nullptr, sx2, sy2}}, w, h,
                     [&](uint8_t* to, const uint8_t* const* from, int n) {
                         if (from[0] == to)
                             RowBlendLevelInPlace(to, from[1], n * bpp, level);
                         else
                             RowBlendLevel(to, from[0], from[1], n * bpp, level);
                     });
}

bool TVeRGBBits::AlphaBlend(int x, int y, TVeRGBBits* src, int sx, int sy, int w, int h, int level)
{
    return AlphaBlend(x, y, this, x, y, src, sx, sy, w, h, level);
}

bool TVeRGBBits::SaturationAdd(int x, int y, TVeRGBBits* src, int sx, int sy, int w, int h)
{
    if (!FCreated || !src || !CanBlend(this, src))
        return false;
    const int bpp = BytesPerPixel(FBitDepth);
    return BlendRows(x, y, {{src, nullptr, sx, sy}}, w, h, [&](uint8_t* to, const uint8_t* const* from, int n) {
        RowSaturationAdd(to, from[0], n * bpp);
    });
}

bool TVeRGBBits::GetPat(int x, int y, int w, int h, void* dst)
{
    if (!FCreated || !dst || x < 0 || y < 0 || w < 0 || h < 0 || int64_t(x) + w > FWidth ||
        int64_t(y) + h > FHeight)
        return false;
    TBitsLock lock(this);
    if (!lock.Ok())
        return false;
    const size_t rowBytes = static_cast<size_t>(w) * BytesPerPixel(FBitDepth);
    auto* out = static_cast<uint8_t*>(dst);
    for (int j = 0; j < h; ++j)
        std::memcpy(out + rowBytes * j, PixelAt(this, x, y + j), rowBytes);
    return true;
}

uint32_t TVeRGBBits::PGet(int x, int y)
{
    if (!FCreated || x < 0 || y < 0 || x >= FWidth || y >= FHeight || DepthOfFormat(FPixFormat) == bdNone)
        return 0;
    TBitsLock lock(this);
    if (!lock.Ok())
        return 0;
    uint32_t argb = 0;
    DecodeRow(FPixFormat, PixelAt(this, x, y), &argb, 1);
    return argb & 0xFFFFFF;
}

bool TVeRGBBits::DrawPicture(const uint8_t* bgr, int width, int height, int x, int y)
{
    if (!bgr || width < 1 || height < 1)
        return false;
    if (!FCreated && (!Resize(width, height) || !Create()))
        return false;
    if (DepthOfFormat(FPixFormat) == bdNone)
        return false;
    int w = width, h = height;
    TClipPart parts[2] = {{x, y, FWidth, FHeight}, {0, 0, width, height}};
    if (!ClipBlit(parts, 2, w, h))
        return true;
    TBitsLock lock(this);
    if (!lock.Ok())
        return false;
    std::vector<uint32_t> argb(static_cast<size_t>(w));
    for (int j = 0; j < h; ++j) {
        const uint8_t* from = bgr + (static_cast<size_t>(parts[1].Y + j) * width + parts[1].X) * 3;
        DecodeRow(pf24_888, from, argb.data(), w);
        EncodeRow(FPixFormat, argb.data(), PixelAt(this, parts[0].X, parts[0].Y + j), w);
    }
    MarkModified(VeRect(parts[0].X, parts[0].Y, parts[0].X + w, parts[0].Y + h));
    return true;
}
