#pragma once
// Builders of small pictures in each format the decoders read, for tests and fuzz seeds.

#include <cstdint>
#include <vector>

#include "base/Vepicture.h"

// A picture whose pixel (x, y) is blue x * 7 + y, green y * 13 + x, red (x ^ y) * 5 (all mod
// 256), so that a swapped channel, a flipped row or a shifted column shows.
TDecodedPicture MakePatternPicture(int width, int height, bool withAlpha = false);

enum class TBmpKind { Pal1, Pal4, Pal8, Rgb555, Rgb565, Rgb24, Rgb32, Bitfields32, Core24 };

// A bitmap of the picture. Palette kinds quantise each pixel to the kind's palette (grey levels
// evenly spaced); QuantiseForBmp gives the picture that decoding should return.
std::vector<uint8_t> MakeBmp(const TDecodedPicture& picture, TBmpKind kind, bool topDown = false);
TDecodedPicture QuantiseForBmp(const TDecodedPicture& picture, TBmpKind kind);

std::vector<uint8_t> MakeJpeg(const TDecodedPicture& picture, int quality = 95, bool grey = false);
// A progressive JPEG of exactly scans scans (at least 10): the usual progression, its last scan
// repeated, which a decoder reads again with a warning.
std::vector<uint8_t> MakeProgressiveJpeg(const TDecodedPicture& picture, int scans);

// PNGs of other colour types through libpng: 8-bit grey, 16-bit RGB, palette with a
// transparency entry, interlaced RGBA.
enum class TPngKind { Grey8, Rgb16, PaletteTrns, InterlacedRgba };
std::vector<uint8_t> MakePng(const TDecodedPicture& picture, TPngKind kind);
// The PNG with the width in its header changed and the header's checksum made right again: a
// whole file that claims another size.
std::vector<uint8_t> WidenPng(std::vector<uint8_t> png, uint32_t width);

// A fixed 256-byte key table for the scrambled format.
const uint8_t* TestGnyKey();
