#pragma once
// Row kernels of the pixel buffers and alpha planes, one per pixel layout, written as plain
// indexed loops so that the compiler vectorises them, and the shared blit clipping and row walk.
// Pointers of one call never overlap (TBlitRows copies a source row first when it is the
// destination row).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Vergbcolor.h"

// One rectangle of a blit: its origin in an area of Width x Height.
struct TClipPart {
    int X;
    int Y;
    int Width;
    int Height;
};

// Clips a w x h blit so that it lies inside every part's area, moving every origin by what is
// cut from the left and top. False when nothing remains (w and h are then undefined).
bool ClipBlit(TClipPart* parts, int count, int& w, int& h);

// A plane of a clipped blit, once its storage can be read: row 0, the signed row pitch and the
// bytes per pixel. Planes with the same Bits are the same storage.
struct TBlitPlane {
    uint8_t* Bits;
    int Pitch;
    int PixelBytes;
    // A source that may reach the row function as the destination row itself when it lies at
    // the destination's own position, for kernels that work in place.
    bool InPlace = false;
};

// The rows of a clipped w x h blit from planes 1..count-1 into plane 0 (origins in parts), each
// handed to row(to, from, w) with from[k - 1] the row of plane k. A source that is the
// destination's own storage is read before it is written: rows are walked bottom-up when such a
// source lies above the destination, a row it shares with the destination is copied first,
// and one that lies on the other side of the destination from another is copied whole first.
class TBlitRows {
public:
    static constexpr int MaxPlanes = 4;
    TBlitRows(const TClipPart* parts, const TBlitPlane* planes, int count, int w, int h);

    template <class TRow>
    void Walk(TRow&& row)
    {
        const uint8_t* from[MaxPlanes - 1] = {};
        for (int n = 0; n < FHeight; ++n) {
            const int j = FUpward ? FHeight - 1 - n : n;
            for (int k = 1; k < FCount; ++k)
                from[k - 1] = FRead[k] == rdDirect ? Row(k, j) : CopiedRow(k, j);
            row(Row(0, j), static_cast<const uint8_t* const*>(from), FWidth);
        }
    }

private:
    enum TRead { rdDirect, rdRowCopy, rdWholeCopy };
    uint8_t* Row(int k, int j) const { return FFirst[k] + static_cast<ptrdiff_t>(j) * FPitch[k]; }
    const uint8_t* CopiedRow(int k, int j);

    int FCount;
    int FWidth;
    int FHeight;
    bool FUpward = false;
    uint8_t* FFirst[MaxPlanes];  // the first row of each plane's rectangle
    int FPitch[MaxPlanes];
    int FPixelBytes[MaxPlanes];
    TRead FRead[MaxPlanes];
    std::vector<uint8_t> FCopy[MaxPlanes];
};

// Zeroed storage of rows x rowBytes bytes for a pixel buffer or plane; null when it cannot be
// had (an empty size, a row past INT_MAX bytes, a total past half the address space).
uint8_t* NewPixelStorage(int64_t rowBytes, int64_t rows);
// Puts new zeroed storage of that size in place of bits (freed) and pitch; false, with both
// untouched, when it cannot be had.
bool ReplacePixelStorage(uint8_t*& bits, int& pitch, int64_t rowBytes, int64_t rows);

// Exact floor(x / 255) for 0 <= x <= 65025.
inline uint32_t Div255(uint32_t x)
{
    return (x + 1 + (x >> 8)) >> 8;
}

// dst = (a x (128 - level) + b x level) >> 7 per byte.
void RowBlendLevel(uint8_t* __restrict dst, const uint8_t* __restrict a, const uint8_t* __restrict b,
                   int bytes, int level);
void RowBlendLevelInPlace(uint8_t* __restrict dst, const uint8_t* __restrict b, int bytes, int level);
void RowSaturationAdd(uint8_t* __restrict dst, const uint8_t* __restrict src, int bytes);

// dst = (dst x (255 - m) + src x m) / 255 per channel, m one byte per pixel.
void RowMask24(uint8_t* __restrict dst, const uint8_t* __restrict src, const uint8_t* __restrict mask,
               int pixels);
void RowMask32(uint8_t* __restrict dst, const uint8_t* __restrict src, const uint8_t* __restrict mask,
               int pixels);
// dst = (s1 x (255 - m) + s2 x m) / 255 per channel.
void RowMask2_24(uint8_t* __restrict dst, const uint8_t* __restrict s1, const uint8_t* __restrict s2,
                 const uint8_t* __restrict mask, int pixels);
void RowMask2_32(uint8_t* __restrict dst, const uint8_t* __restrict s1, const uint8_t* __restrict s2,
                 const uint8_t* __restrict mask, int pixels);
// Copies the pixels whose blue, green, red differ from the key's.
void RowKey24(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels, uint32_t key);
void RowKey32(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels, uint32_t key);

// c = min(c x k / 128, 255) with k per byte of the pixel (the fourth factor 128 keeps byte 3).
void RowTone24(uint8_t* __restrict dst, int pixels, const uint16_t k[3]);
void RowTone32(uint8_t* __restrict dst, int pixels, const uint16_t k[4]);
void RowSepia(uint8_t* __restrict dst, int pixels, int bytesPerPixel);
void RowMonochrome(uint8_t* __restrict dst, int pixels, int bytesPerPixel);
void RowNegative(uint8_t* __restrict dst, int pixels, int bytesPerPixel);

// Format conversion through 0xAARRGGBB. Formats without alpha read as opaque (alpha 255).
// pf32_888 writes 0 into its fourth byte.
void DecodeRow(TPixFormat format, const uint8_t* __restrict src, uint32_t* __restrict argb, int pixels);
void EncodeRow(TPixFormat format, const uint32_t* __restrict argb, uint8_t* __restrict dst, int pixels);
// The two working formats into each other directly (pf32_888's fourth byte written 0).
void Row24To32(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels);
void Row32To24(uint8_t* __restrict dst, const uint8_t* __restrict src, int pixels);
// One pixel (0xAARRGGBB) stored in the format; false for pfNone.
bool EncodePixel(TPixFormat format, uint32_t argb, uint8_t out[4]);
