#pragma once
// Row kernels of the pixel buffers and alpha planes, one per pixel layout, written as plain
// indexed loops so that the compiler vectorises them, and the shared blit clipping. Pointers
// of one call never overlap (callers copy a source row first when it is the destination).

#include <cstdint>

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
