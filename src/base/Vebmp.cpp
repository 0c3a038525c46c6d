// Windows bitmap reader.
//
// Layout: a 14-byte file header ("BM", uint32 file size, 4 reserved bytes, uint32 offset of
// the pixels from the start of the file), then an info header whose first uint32 is its own
// size: 12 (the old core header: int16 width, int16 height, uint16 planes, uint16 bit count,
// palette entries of 3 bytes) or 40 and above (int32 width, int32 height, uint16 planes,
// uint16 bit count, uint32 compression, uint32 image size, 2 x int32 resolution, uint32 colours
// used, uint32 important colours; from 52 bytes on the red, green and blue masks follow, and
// palette entries are 4 bytes). A positive height stores the rows bottom-up, a negative one
// top-down. Rows are padded to 4 bytes. Depths 1, 4 and 8 index the palette; 16 is 5-5-5 or
// bit fields (5-6-5 and others); 24 is blue, green, red; 32 is blue, green, red and an unused
// byte, or bit fields. Run-length compressed bitmaps are refused: no caller's data uses them.
#include <cstring>

#include "base/Vepicture.h"

namespace {

constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiBitFields = 3;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// One channel described by a bit mask, widened to 8 bits.
struct TMaskChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    void Set(uint32_t mask)
    {
        Mask = mask;
        Shift = 0;
        Bits = 0;
        if (mask == 0)
            return;
        while (!((mask >> Shift) & 1))
            ++Shift;
        while (Shift + Bits < 32 && ((mask >> (Shift + Bits)) & 1))
            ++Bits;
    }
    uint8_t Get(uint32_t value) const
    {
        if (Bits == 0)
            return 0;
        uint32_t v = (value & Mask) >> Shift;
        if (Bits >= 8)
            return static_cast<uint8_t>(v >> (Bits - 8));
        // Replicate the high bits so that full scale becomes 255.
        uint32_t max = (1u << Bits) - 1;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

}  // namespace

bool DecodeBmp(TStream* stream, TDecodedPicture& picture)
{
    if (!stream)
        return false;
    const int64_t start = stream->GetPosition();
    uint8_t header[14 + 124];
    if (stream->Read(header, 18) != 18 || header[0] != 'B' || header[1] != 'M')
        return false;
    const uint32_t pixelOffset = Le32(header + 10);
    const uint32_t infoSize = Le32(header + 14);
    if (infoSize != 12 && (infoSize < 40 || infoSize > 124))
        return false;
    if (stream->Read(header + 18, infoSize - 4) != static_cast<int64_t>(infoSize - 4))
        return false;
    const uint8_t* info = header + 14;

    int64_t width, height;
    int bitCount;
    uint32_t compression = BiRgb, coloursUsed = 0;
    int paletteEntrySize = 4;
    if (infoSize == 12) {
        width = static_cast<int16_t>(Le16(info + 4));
        height = static_cast<int16_t>(Le16(info + 6));
        bitCount = Le16(info + 10);
        paletteEntrySize = 3;
    } else {
        width = static_cast<int32_t>(Le32(info + 4));
        height = static_cast<int32_t>(Le32(info + 8));
        bitCount = Le16(info + 14);
        compression = Le32(info + 16);
        coloursUsed = Le32(info + 32);
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (PictureBytes(width, height, 3) < 0)
        return false;

    TMaskChannel red, green, blue;
    int64_t headersEnd = 14 + infoSize;
    if (compression == BiBitFields && (bitCount == 16 || bitCount == 32)) {
        uint8_t masks[12];
        if (infoSize >= 52) {
            std::memcpy(masks, info + 40, 12);
        } else {
            // The masks follow a 40-byte header as three extra words.
            if (stream->Read(masks, 12) != 12)
                return false;
            headersEnd += 12;
        }
        red.Set(Le32(masks));
        green.Set(Le32(masks + 4));
        blue.Set(Le32(masks + 8));
    } else if (compression != BiRgb) {
        return false;
    } else if (bitCount == 16) {
        red.Set(0x7C00);
        green.Set(0x03E0);
        blue.Set(0x001F);
    } else if (bitCount == 32) {
        red.Set(0x00FF0000);
        green.Set(0x0000FF00);
        blue.Set(0x000000FF);
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return false;

    uint8_t palette[256][3] = {};
    if (bitCount <= 8) {
        const uint32_t maxColours = 1u << bitCount;
        uint32_t count = (coloursUsed == 0 || coloursUsed > maxColours) ? maxColours : coloursUsed;
        std::vector<uint8_t> entries(static_cast<size_t>(count) * paletteEntrySize);
        if (stream->Read(entries.data(), static_cast<int64_t>(entries.size())) !=
            static_cast<int64_t>(entries.size()))
            return false;
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(palette[i], &entries[static_cast<size_t>(i) * paletteEntrySize], 3);
        headersEnd += static_cast<int64_t>(entries.size());
    }

    // Some writers leave the offset 0; the pixels then follow the palette.
    int64_t dataStart = pixelOffset == 0 ? headersEnd : static_cast<int64_t>(pixelOffset);
    if (dataStart < headersEnd)
        return false;
    const int64_t rowBytes = ((width * bitCount + 31) / 32) * 4;
    const int64_t available = stream->GetSize() - (start + dataStart);
    if (available < 0 || rowBytes * height > available)
        return false;
    if (stream->Seek(start + dataStart, soBeginning) != start + dataStart)
        return false;

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    std::vector<uint8_t> pixels(static_cast<size_t>(PictureBytes(w, h, 3)));
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int y = 0; y < h; ++y) {
        if (stream->Read(row.data(), rowBytes) != rowBytes)
            return false;
        uint8_t* __restrict out = &pixels[static_cast<size_t>(topDown ? y : h - 1 - y) * w * 3];
        const uint8_t* __restrict in = row.data();
        switch (bitCount) {
        case 1:
        case 4:
        case 8: {
            const int perByte = 8 / bitCount;
            const int mask = (1 << bitCount) - 1;
            for (int x = 0; x < w; ++x) {
                int shift = (perByte - 1 - x % perByte) * bitCount;
                int index = (in[x / perByte] >> shift) & mask;
                std::memcpy(out + x * 3, palette[index], 3);
            }
            break;
        }
        case 24:
            std::memcpy(out, in, static_cast<size_t>(w) * 3);
            break;
        case 16:
        case 32:
            for (int x = 0; x < w; ++x) {
                const uint32_t v = bitCount == 16 ? Le16(in + x * 2) : Le32(in + x * 4);
                out[x * 3] = blue.Get(v);
                out[x * 3 + 1] = green.Get(v);
                out[x * 3 + 2] = red.Get(v);
            }
            break;
        }
    }
    picture.Width = w;
    picture.Height = h;
    picture.Pixels = std::move(pixels);
    picture.Alpha.clear();
    return true;
}
