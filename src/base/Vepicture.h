#pragma once
// Picture decoders. Each reads one picture from a stream's current position into a plain
// top-down picture; the pixel buffers convert it into their own format. All return false on
// data they cannot decode, and never read outside the stream or allocate for a picture with a
// side above MaxPictureSide or more than MaxPicturePixels pixels.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Streams.h"

constexpr int MaxPictureSide = 16384;
// Every decoder asks PictureBytes before it allocates, so that a small file claiming a huge
// picture (a few kilobytes of deflate or one bit per pixel) is refused at its header instead of
// costing gigabytes and seconds; the game's pictures are screen-sized.
constexpr int64_t MaxPicturePixels = 16000000;
// Every scan of a progressive JPEG is another pass over all of its coefficients, so a small
// file of thousands of scans costs seconds; encoders write about ten.
constexpr int MaxJpegScans = 32;

struct TDecodedPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels;  // Width x Height x 3 bytes, blue, green, red, rows top-down
    std::vector<uint8_t> Alpha;   // Width x Height bytes when the picture has alpha, else empty
};

bool DecodeBmp(TStream* stream, TDecodedPicture& picture);
// Also refuses a progressive picture of more scans than any encoder writes; failure, when
// given, receives why the picture was refused.
bool DecodeJpeg(TStream* stream, TDecodedPicture& picture, std::string* failure = nullptr);
// whiteMatte: the colours were composed over white; take them back from it using the alpha.
// failure, when given, receives why the picture was refused.
bool DecodePng(TStream* stream, TDecodedPicture& picture, bool whiteMatte, std::string* failure = nullptr);
// The scrambled raw format with a 256-byte key table.
bool DecodeGny(TStream* stream, const uint8_t* keyTable, TDecodedPicture& picture);
// A picture read as an 8-bit plane (8-bit or 24-bit BMP, or PNG): Width x Height bytes into plane.
bool DecodeAlphaPicture(TStream* stream, int& width, int& height, std::vector<uint8_t>& plane);

// The channel count of a PNG stream by its colour type: palette 1, RGB 3, RGBA 4, otherwise 0.
int ChkChannelPng(TStream* stream);

// Writes a 24-bit picture (picture.Pixels; with picture.Alpha when that is present, as RGBA) as
// a PNG at the stream's position. False when the picture is inconsistent or the write fails.
bool EncodePng(TStream* stream, const TDecodedPicture& picture);
bool EncodePng(std::vector<uint8_t>& bytes, const TDecodedPicture& picture);

// Writes a picture in the scrambled raw format (see Vegny.cpp), 32-bit when picture.Alpha is
// present, else 24-bit.
bool EncodeGny(TStream* stream, const uint8_t* keyTable, const TDecodedPicture& picture);

// The number of bytes a picture of this size needs at this many bytes per pixel, or -1 when a
// side is not in 1..MaxPictureSide or the picture has more than MaxPicturePixels pixels.
int64_t PictureBytes(int64_t width, int64_t height, int bytesPerPixel);
// Why PictureBytes refuses a picture of this size, naming the bound it goes over; empty when it
// does not.
std::string PictureSizeFailure(int64_t width, int64_t height);
// Why a picture is refused whose claimed size its remaining bytes could not code.
std::string PictureDataFailure(int64_t width, int64_t height, int64_t bytes);
