#pragma once
// Colours and pixel formats. Every per-format table is indexed by TPixFormat; a TBitDepth's
// ordinal is its number of bytes per pixel.

#include <cstdint>

enum TPixFormat : uint8_t { pfNone, pf16_565, pf16_555, pf16_5551, pf16_4444, pf24_888, pf32_888, pf32_8888 };
constexpr int PixFormatCount = 8;

enum TBitDepth : uint8_t { bdNone = 0, bd8 = 1, bd16 = 2, bd24 = 3, bd32 = 4 };

inline int BytesPerPixel(TBitDepth depth)
{
    return static_cast<int>(depth);
}

// A colour stored blue, green, red, as in the pixel buffers.
struct TVeRGB {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;

    TVeRGB() = default;
    TVeRGB(uint32_t rgb) { *this = rgb; }  // NOLINT: assignment from 0x00RRGGBB is the point
    TVeRGB& operator=(uint32_t rgb)
    {
        r = static_cast<uint8_t>(rgb >> 16);
        g = static_cast<uint8_t>(rgb >> 8);
        b = static_cast<uint8_t>(rgb);
        return *this;
    }
    uint32_t ToDWORD() const { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }
    bool operator==(const TVeRGB&) const = default;
};

inline TVeRGB VeRGB(uint32_t rgb)
{
    return TVeRGB(rgb);
}

struct TRGBBitMask {
    uint32_t Red;
    uint32_t Green;
    uint32_t Blue;
    uint32_t Alpha;
};

extern const TRGBBitMask RGBBitMask[PixFormatCount];

// True when the format belongs to the depth (pf24_888 to bd24, the 16-bit formats to bd16...).
bool ChkDepthAndFormat(TBitDepth depth, TPixFormat format);
// The depth a format belongs to (bdNone for pfNone).
TBitDepth DepthOfFormat(TPixFormat format);
