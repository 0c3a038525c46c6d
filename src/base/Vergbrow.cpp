#include "base/Vergbrow.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Winapi.h"

bool ClipBlit(TClipPart* parts, int count, int& w, int& h)
{
    // 64-bit so that huge sizes or far-away origins cannot overflow.
    int64_t cw = w;
    int64_t ch = h;
    int64_t cutX = 0;
    int64_t cutY = 0;
    for (int i = 0; i < count; ++i) {
        cutX = std::max<int64_t>(cutX, -static_cast<int64_t>(parts[i].X));
        cutY = std::max<int64_t>(cutY, -static_cast<int64_t>(parts[i].Y));
    }
    cw -= cutX;
    ch -= cutY;
    for (int i = 0; i < count; ++i) {
        cw = std::min<int64_t>(cw, parts[i].Width - (parts[i].X + cutX));
        ch = std::min<int64_t>(ch, parts[i].Height - (parts[i].Y + cutY));
    }
    if (cw <= 0 || ch <= 0)
        return false;
    for (int i = 0; i < count; ++i) {
        parts[i].X = static_cast<int>(parts[i].X + cutX);
        parts[i].Y = static_cast<int>(parts[i].Y + cutY);
    }
    w = static_cast<int>(cw);
    h = static_cast<int>(ch);
    return true;
}

uint8_t* NewPixelStorage(int64_t rowBytes, int64_t rows)
{
    if (rowBytes < 1 || rows < 1 || rowBytes > INT_MAX || rows > int64_t(SIZE_MAX / 2) / rowBytes)
        return nullptr;
    return static_cast<uint8_t*>(GlobalAllocZeroed(static_cast<size_t>(rowBytes * rows)));
}

bool ReplacePixelStorage(uint8_t*& bits, int& pitch, int64_t rowBytes, int64_t rows)
{
    uint8_t* fresh = NewPixelStorage(rowBytes, rows);
    if (!fresh)
        return false;
    GlobalFreeBlock(bits);
    bits = fresh;
    pitch = static_cast<int>(rowBytes);
    return true;
}

TBlitRows::TBlitRows(const TClipPart* parts, const TBlitPlane* planes, int count, int w, int h)
    : FCount(std::min(count, MaxPlanes)), FWidth(w), FHeight(h)
{
    // The first source that shares the storage from another row sets the direction: walking
    // away from it reads each of its rows before the destination reaches it.
    int direction = 0;
    for (int k = 0; k < FCount; ++k) {
        FFirst[k] = planes[k].Bits + static_cast<ptrdiff_t>(parts[k].Y) * planes[k].Pitch +
                    static_cast<ptrdiff_t>(parts[k].X) * planes[k].PixelBytes;
        FPitch[k] = planes[k].Pitch;
        FPixelBytes[k] = planes[k].PixelBytes;
        FRead[k] = rdDirect;
        if (k == 0 || planes[k].Bits != planes[0].Bits)
            continue;
        const int offset = parts[k].Y - parts[0].Y;
        if (offset == 0) {
            if (!planes[k].InPlace || parts[k].X != parts[0].X)
                FRead[k] = rdRowCopy;
        } else if (direction == 0 || (offset < 0) == (direction < 0)) {
            direction = offset;
        } else {
            FRead[k] = rdWholeCopy;
        }
    }
    FUpward = direction < 0;
    for (int k = 1; k < FCount; ++k) {
        const size_t rowBytes = static_cast<size_t>(w) * FPixelBytes[k];
        if (FRead[k] == rdRowCopy) {
            FCopy[k].resize(rowBytes);
        } else if (FRead[k] == rdWholeCopy) {
            FCopy[k].resize(rowBytes * h);
            for (int j = 0; j < h; ++j)
                std::memcpy(FCopy[k].data() + rowBytes * j, Row(k, j), rowBytes);
        }
    }
}

const uint8_t* TBlitRows::CopiedRow(int k, int j)
{
    const size_t rowBytes = static_cast<size_t>(FWidth) * FPixelBytes[k];
    if (FRead[k] == rdWholeCopy)
        return FCopy[k].data() + rowBytes * j;
    std::memcpy(FCopy[k].data(), Row(k, j), rowBytes);
    return FCopy[k].data();
}

void RowBlendLevel(uint8_t* __restrict dst, const uint8_t* __restrict a, const uint8_t* __restrict b,
                   int bytes, int level)
{
    const uint16_t l = static_cast<uint16_t>(level);
    const uint16_t k = static_cast<uint16_t>(128 - level);
    for (int i = 0; i < bytes; ++i)
        dst[i] = static_cast<uint8_t>((a[i] * k + b[i] * l) >> 7);
}

void RowBlendLevelInPlace(uint8_t* __restrict dst, const uint8_t* __restrict b, int bytes, int level)
{
    const uint16_t l = static_cast<uint16_t>(level);
    const uint16_t k = static_cast<uint16_t>(128 - level);
    for (int i = 0; i < bytes; ++i)
        dst[i] = static_cast<uint8_t>((dst[i] * k + b[i] * l) >> 7);
}

void RowSaturationAdd(uint8_t* __restrict dst, const uint8_t* __restrict src, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        const unsigned sum = dst[i] + src[i];
        dst[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
    }
}

// The mask rows are widened to one weight per byte in chunks, so that the blends below are plain
// byte loops the compiler vectorises with 16-bit lanes (every sum stays below 65536).
namespace {

constexpr int ChunkPixels = 256;

// wide must have room for one byte more than Bpp x pixels: each weight is stored as four
// bytes, the fourth overwritten by the next pixel.
template <int Bpp>
void WidenMask(uint8_t* __restrict wide, const uint8_t* __restrict mask, int pixels)
{
    for (int i = 0; i < pixels; ++i) {
        const uint32_t m = mask[i] * 0x01010101u;
        std::memcpy(wide + Bpp * i, &m, 4);
    }
}

void BlendBytes(uint8_t* __restrict dst, const uint8_t* __restrict s1, const uint8_t* __restrict s2,
                const uint8_t* __restrict m, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        const uint16_t x = static_cast<uint16_t>(s1[i] * (255 - m[i]) + s2[i] * m[i]);
        dst[i] = static_cast<uint8_t>(static_cast<uint16_t>(x + 1 + (x >> 8)) >> 8);
    }
}

void BlendBytesInPlace(uint8_t* __restrict dst, const uint8_t* __restrict src, const uint8_t* __restrict m,
                       int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        const uint16_t x = static_cast<uint16_t>(dst[i] * (255 - m[i]) + src[i] * m[i]);
        dst[i] = static_cast<uint8_t>(static_cast<uint16_t>(x + 1 + (x >> 8)) >> 8);
    }
}

template <int Bpp>
void MaskRow(uint8_t* __restrict dst, const uint8_t* __restrict s1, const uint8_t* __restrict s2,
             const uint8_t* __restrict mask, int pixels)
{
    uint8_t wide[ChunkPixels * Bpp + 1];
    for (int done = 0; done < pixels; done += ChunkPixels) {
        const int n = pixels - done < ChunkPixels ? pixels - done : ChunkPixels;
        WidenMask<Bpp>(wide, mask + done, n);
        const ptrdiff_t at = static_cast<ptrdiff_t>(done) * Bpp;
        if (s1)
            BlendBytes(dst + at, s1 + at, s2 + at, wide, n * Bpp);
        else
            BlendBytesInPlace(dst + at, s2 + at, wide, n * Bpp);
    }
}

}  // namespace

void RowMask24(uint8_t* __restrict dst, const uint8_t* __restrict src, const uint8_t* __restrict mask,
               int pixels)
{
    MaskRow<3>(dst, nullptr, src, mask, pixels);
}

void RowMask32(uint8_t* __restrict dst, const uint8_t* __restrict src, const uint8_t* __restrict mask,
               int pixels)
{
    MaskRow<4>(dst, nullptr, src, mask, pixels);
}

void RowMask2_24(uint8_t* __restrict dst, const uint8_t* __restrict s1, const uint8_t* __restrict s2,
                 const uint8_t* __restrict mask, int pixels)
{
    MaskRow<3>(dst, s1, s2, mask, pixels);
}

void RowMask2_32(uint8_t* __restrict dst, const uint8_t* __restrict s1, const uint8_t* __restrict s2,
                 const uint8_t* __restrict mask, int pixels)
{
    MaskRow<4>(dst, s1, s2, mask, pixels);
}

void RowKey24(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels, uint32_t key)
{
    const uint8_t kb = static_cast<uint8_t>(key);
    const uint8_t kg = static_cast<uint8_t>(key >> 8);
    const uint8_t kr = static_cast<uint8_t>(key >> 16);
    for (int i = 0; i < pixels; ++i) {
        const uint8_t b = src[3 * i];
        const uint8_t g = src[3 * i + 1];
        const uint8_t r = src[3 * i + 2];
        if (b != kb || g != kg || r != kr) {
            dst[3 * i] = b;
            dst[3 * i + 1] = g;
            dst[3 * i + 2] = r;
        }
    }
}

void RowKey32(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels, uint32_t key)
{
    key &= 0xFFFFFF;
    for (int i = 0; i < pixels; ++i) {
        uint32_t p;
        std::memcpy(&p, src + 4 * i, 4);
        if ((p & 0xFFFFFF) != key)
            std::memcpy(dst + 4 * i, &p, 4);
    }
}

namespace {

// The factors repeat per pixel; widened like the masks so that the loop runs over bytes.
template <int Bpp>
void ToneRow(uint8_t* __restrict dst, int pixels, const uint16_t* k)
{
    uint16_t wide[ChunkPixels * Bpp];
    for (int i = 0; i < ChunkPixels; ++i)
        for (int c = 0; c < Bpp; ++c)
            wide[Bpp * i + c] = k[c];
    for (int done = 0; done < pixels; done += ChunkPixels) {
        const int n = (pixels - done < ChunkPixels ? pixels - done : ChunkPixels) * Bpp;
        uint8_t* __restrict row = dst + static_cast<ptrdiff_t>(done) * Bpp;
        for (int i = 0; i < n; ++i) {
            const uint16_t v = static_cast<uint16_t>(static_cast<uint16_t>(row[i] * wide[i]) >> 7);
            row[i] = static_cast<uint8_t>(v < 255 ? v : 255);
        }
    }
}

}  // namespace

void RowTone24(uint8_t* __restrict dst, int pixels, const uint16_t k[3])
{
    ToneRow<3>(dst, pixels, k);
}

void RowTone32(uint8_t* __restrict dst, int pixels, const uint16_t k[4])
{
    ToneRow<4>(dst, pixels, k);
}

// Grey is the luma with weights 77, 151, 28 (sum 256, so white stays 255).
static inline unsigned Luma(const uint8_t* p)
{
    return (p[2] * 77u + p[1] * 151u + p[0] * 28u) >> 8;
}

// Sepia tints the grey with red x 284/256 (clamped), green x 232/256 and blue x 172/256.
void RowSepia(uint8_t* __restrict dst, int pixels, int bytesPerPixel)
{
    for (int i = 0; i < pixels; ++i) {
        uint8_t* p = dst + static_cast<ptrdiff_t>(i) * bytesPerPixel;
        const unsigned y = Luma(p);
        const unsigned r = (y * 284) >> 8;
        p[2] = static_cast<uint8_t>(r > 255 ? 255 : r);
        p[1] = static_cast<uint8_t>((y * 232) >> 8);
        p[0] = static_cast<uint8_t>((y * 172) >> 8);
    }
}

void RowMonochrome(uint8_t* __restrict dst, int pixels, int bytesPerPixel)
{
    for (int i = 0; i < pixels; ++i) {
        uint8_t* p = dst + static_cast<ptrdiff_t>(i) * bytesPerPixel;
        const uint8_t y = static_cast<uint8_t>(Luma(p));
        p[0] = p[1] = p[2] = y;
    }
}

void RowNegative(uint8_t* __restrict dst, int pixels, int bytesPerPixel)
{
    for (int i = 0; i < pixels; ++i) {
        uint8_t* p = dst + static_cast<ptrdiff_t>(i) * bytesPerPixel;
        p[0] = static_cast<uint8_t>(255 - p[0]);
        p[1] = static_cast<uint8_t>(255 - p[1]);
        p[2] = static_cast<uint8_t>(255 - p[2]);
    }
}

// Widening an n-bit channel repeats its top bits, so that the largest value becomes 255.
static inline uint32_t Expand5(uint32_t v)
{
    return (v << 3) | (v >> 2);
}
static inline uint32_t Expand6(uint32_t v)
{
    return (v << 2) | (v >> 4);
}
static inline uint32_t Expand4(uint32_t v)
{
    return (v << 4) | v;
}

void DecodeRow(TPixFormat format, const uint8_t* __restrict src, uint32_t* __restrict argb, int pixels)
{
    switch (format) {
    case pf24_888:
        for (int i = 0; i < pixels; ++i)
            argb[i] = 0xFF000000u | (uint32_t(src[3 * i + 2]) << 16) | (uint32_t(src[3 * i + 1]) << 8) |
                      src[3 * i];
        break;
    case pf32_888:
    case pf32_8888:
        for (int i = 0; i < pixels; ++i) {
            uint32_t p = uint32_t(src[4 * i]) | (uint32_t(src[4 * i + 1]) << 8) |
                         (uint32_t(src[4 * i + 2]) << 16) | (uint32_t(src[4 * i + 3]) << 24);
            argb[i] = format == pf32_888 ? (p | 0xFF000000u) : p;
        }
        break;
    case pf16_565:
    case pf16_555:
    case pf16_5551:
    case pf16_4444:
        for (int i = 0; i < pixels; ++i) {
            const uint32_t v = uint32_t(src[2 * i]) | (uint32_t(src[2 * i + 1]) << 8);
            uint32_t a = 255, r, g, b;
            if (format == pf16_565) {
                r = Expand5(v >> 11);
                g = Expand6((v >> 5) & 0x3F);
                b = Expand5(v & 0x1F);
            } else if (format == pf16_4444) {
                a = Expand4(v >> 12);
                r = Expand4((v >> 8) & 0xF);
                g = Expand4((v >> 4) & 0xF);
                b = Expand4(v & 0xF);
            } else {
                if (format == pf16_5551)
                    a = (v & 0x8000) ? 255 : 0;
                r = Expand5((v >> 10) & 0x1F);
                g = Expand5((v >> 5) & 0x1F);
                b = Expand5(v & 0x1F);
            }
            argb[i] = (a << 24) | (r << 16) | (g << 8) | b;
        }
        break;
    default:
        for (int i = 0; i < pixels; ++i)
            argb[i] = 0;
        break;
    }
}

bool EncodePixel(TPixFormat format, uint32_t argb, uint8_t out[4])
{
    const uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    uint32_t v = 0;
    switch (format) {
    case pf24_888:
        out[0] = uint8_t(b);
        out[1] = uint8_t(g);
        out[2] = uint8_t(r);
        return true;
    case pf32_888:
    case pf32_8888:
        out[0] = uint8_t(b);
        out[1] = uint8_t(g);
        out[2] = uint8_t(r);
        out[3] = format == pf32_8888 ? uint8_t(a) : 0;
        return true;
    case pf16_565:
        v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        break;
    case pf16_555:
        v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        break;
    case pf16_5551:
        v = ((a >> 7) << 15) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        break;
    case pf16_4444:
        v = ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4);
        break;
    default:
        return false;
    }
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    return true;
}

void EncodeRow(TPixFormat format, const uint32_t* __restrict argb, uint8_t* __restrict dst, int pixels)
{
    switch (format) {
    case pf24_888:
        for (int i = 0; i < pixels; ++i) {
            dst[3 * i] = uint8_t(argb[i]);
            dst[3 * i + 1] = uint8_t(argb[i] >> 8);
            dst[3 * i + 2] = uint8_t(argb[i] >> 16);
        }
        break;
    case pf32_888:
        for (int i = 0; i < pixels; ++i) {
            const uint32_t p = argb[i] & 0xFFFFFF;
            std::memcpy(dst + 4 * i, &p, 4);
        }
        break;
    default: {
        const int bytes = BytesPerPixel(DepthOfFormat(format));
        uint8_t out[4];
        for (int i = 0; i < pixels; ++i) {
            if (!EncodePixel(format, argb[i], out))
                return;
            std::memcpy(dst + static_cast<ptrdiff_t>(i) * bytes, out, static_cast<size_t>(bytes));
        }
        break;
    }
    }
}

// Whole 32-bit loads and stores, the last pixel of a row byte by byte so that nothing outside
// the row is read or written.
void Row24To32(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels)
{
    for (int i = 0; i + 1 < pixels; ++i) {
        uint32_t p;
        std::memcpy(&p, src + 3 * i, 4);
        p &= 0xFFFFFF;
        std::memcpy(dst + 4 * i, &p, 4);
    }
    if (pixels > 0) {
        const int i = pixels - 1;
        dst[4 * i] = src[3 * i];
        dst[4 * i + 1] = src[3 * i + 1];
        dst[4 * i + 2] = src[3 * i + 2];
        dst[4 * i + 3] = 0;
    }
}

void Row32To24(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels)
{
    for (int i = 0; i + 1 < pixels; ++i)
        std::memcpy(dst + 3 * i, src + 4 * i, 4);  // the fourth byte is overwritten by the next pixel
    if (pixels > 0) {
        const int i = pixels - 1;
        dst[3 * i] = src[4 * i];
        dst[3 * i + 1] = src[4 * i + 1];
        dst[3 * i + 2] = src[4 * i + 2];
    }
}
