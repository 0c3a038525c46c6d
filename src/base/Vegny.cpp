// The scrambled raw picture format.
//
// Layout, all integers little-endian:
//   offset 0   4 bytes   magic "GNY1"
//   offset 4   uint32    width  (1..MaxPictureSide)
//   offset 8   uint32    height (1..MaxPictureSide; width x height at most MaxPicturePixels)
//   offset 12  uint16    bits per pixel: 24 (blue, green, red) or 32 (blue, green, red, alpha)
//   offset 14  uint16    0 (reserved)
//   offset 16  pixels    height rows top-down, width x bits / 8 bytes each, no padding
// Pixel byte i (counted from offset 16) is stored as raw ^ key[(i + (i >> 8)) & 255], with key
// the 256-byte table shared by the archive tools and the game. Adding i >> 8 shifts the table
// by one each 256 bytes, so that a plain area does not show the table as a repeating stripe.
// Bytes after the pixels are ignored.
#include <cstring>

#include "base/Vepicture.h"

namespace {

constexpr uint8_t GnyMagic[4] = {'G', 'N', 'Y', '1'};
constexpr int GnyHeaderSize = 16;

uint8_t KeyByte(const uint8_t* keyTable, uint64_t i)
{
    return keyTable[(i + (i >> 8)) & 255];
}

}  // namespace

bool DecodeGny(TStream* stream, const uint8_t* keyTable, TDecodedPicture& picture)
{
    if (!stream || !keyTable)
        return false;
    uint8_t header[GnyHeaderSize];
    if (stream->Read(header, GnyHeaderSize) != GnyHeaderSize || std::memcmp(header, GnyMagic, 4) != 0)
        return false;
    auto le32 = [&](int at) {
        return static_cast<int64_t>(header[at] | (header[at + 1] << 8) | (header[at + 2] << 16) |
                                    (static_cast<uint32_t>(header[at + 3]) << 24));
    };
    const int64_t width = le32(4), height = le32(8);
    const int bits = header[12] | (header[13] << 8);
    if (bits != 24 && bits != 32)
        return false;
    const int bytesPerPixel = bits / 8;
    const int64_t total = PictureBytes(width, height, bytesPerPixel);
    if (total < 0 || total > stream->GetSize() - stream->GetPosition())
        return false;

    std::vector<uint8_t> raw(static_cast<size_t>(total));
    if (stream->Read(raw.data(), total) != total)
        return false;
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] ^= KeyByte(keyTable, i);

    const size_t count = static_cast<size_t>(width * height);
    if (bytesPerPixel == 3) {
        picture.Pixels = std::move(raw);
        picture.Alpha.clear();
    } else {
        std::vector<uint8_t> pixels(count * 3), alpha(count);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(&pixels[i * 3], &raw[i * 4], 3);
            alpha[i] = raw[i * 4 + 3];
        }
        picture.Pixels = std::move(pixels);
        picture.Alpha = std::move(alpha);
    }
    picture.Width = static_cast<int>(width);
    picture.Height = static_cast<int>(height);
    return true;
}

bool EncodeGny(TStream* stream, const uint8_t* keyTable, const TDecodedPicture& picture)
{
    const int64_t bytes = PictureBytes(picture.Width, picture.Height, 3);
    if (!stream || !keyTable || bytes < 0 || picture.Pixels.size() != static_cast<size_t>(bytes) ||
        (!picture.Alpha.empty() && picture.Alpha.size() != static_cast<size_t>(bytes / 3)))
        return false;
    const bool alpha = !picture.Alpha.empty();
    const int bytesPerPixel = alpha ? 4 : 3;
    uint8_t header[GnyHeaderSize] = {};
    std::memcpy(header, GnyMagic, 4);
    for (int k = 0; k < 4; ++k) {
        header[4 + k] = static_cast<uint8_t>(static_cast<uint32_t>(picture.Width) >> (8 * k));
        header[8 + k] = static_cast<uint8_t>(static_cast<uint32_t>(picture.Height) >> (8 * k));
    }
    header[12] = static_cast<uint8_t>(bytesPerPixel * 8);

    const size_t count = static_cast<size_t>(picture.Width) * picture.Height;
    std::vector<uint8_t> data(count * bytesPerPixel);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&data[i * bytesPerPixel], &picture.Pixels[i * 3], 3);
        if (alpha)
            data[i * 4 + 3] = picture.Alpha[i];
    }
    for (size_t i = 0; i < data.size(); ++i)
        data[i] ^= KeyByte(keyTable, i);
    return stream->Write(header, GnyHeaderSize) == GnyHeaderSize &&
           stream->Write(data.data(), static_cast<int64_t>(data.size())) == static_cast<int64_t>(data.size());
}
