#include "base/Vergbcolor.h"

const TRGBBitMask RGBBitMask[PixFormatCount] = {
    {0, 0, 0, 0},                                // pfNone
    {0xF800, 0x07E0, 0x001F, 0},                 // pf16_565
    {0x7C00, 0x03E0, 0x001F, 0},                 // pf16_555
    {0x7C00, 0x03E0, 0x001F, 0x8000},            // pf16_5551
    {0x0F00, 0x00F0, 0x000F, 0xF000},            // pf16_4444
    {0xFF0000, 0xFF00, 0xFF, 0},                 // pf24_888
    {0xFF0000, 0xFF00, 0xFF, 0},                 // pf32_888
    {0xFF0000, 0xFF00, 0xFF, 0xFF000000u},       // pf32_8888
};

TBitDepth DepthOfFormat(TPixFormat format)
{
    switch (format) {
    case pf16_565:
    case pf16_555:
    case pf16_5551:
    case pf16_4444:
        return bd16;
    case pf24_888:
        return bd24;
    case pf32_888:
    case pf32_8888:
        return bd32;
    default:
        return bdNone;
    }
}

bool ChkDepthAndFormat(TBitDepth depth, TPixFormat format)
{
    return format != pfNone && DepthOfFormat(format) == depth;
}
