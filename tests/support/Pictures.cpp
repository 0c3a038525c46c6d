#include "support/Pictures.h"

#include <png.h>

#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

int PaletteBits(TBmpKind kind)
{
    switch (kind) {
    case TBmpKind::Pal1: return 1;
    case TBmpKind::Pal4: return 4;
    case TBmpKind::Pal8: return 8;
    default: return 0;
    }
}

uint8_t GreyIndex(const uint8_t* bgr, int bits)
{
    const int levels = 1 << bits;
    return static_cast<uint8_t>(bgr[1] * levels / 256);
}

uint8_t GreyLevel(int index, int bits)
{
    return static_cast<uint8_t>(index * 255 / ((1 << bits) - 1));
}

void AppendBytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// Only plain locals here: libpng jumps back on error.
bool WritePngRows(std::vector<uint8_t>* out, int width, int height, int bitDepth, int colorType,
                  int interlace, png_bytepp rows, const png_color* palette, int paletteCount,
                  const png_byte* trns, int trnsCount)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, width, height, bitDepth, colorType, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (palette)
        png_set_PLTE(png, info, palette, paletteCount);
    if (trns)
        png_set_tRNS(png, info, trns, trnsCount, nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

TDecodedPicture MakePatternPicture(int width, int height, bool withAlpha)
{
    TDecodedPicture p;
    p.Width = width;
    p.Height = height;
    p.Pixels.resize(static_cast<size_t>(width) * height * 3);
    if (withAlpha)
        p.Alpha.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.Pixels[(static_cast<size_t>(y) * width + x) * 3];
            px[0] = static_cast<uint8_t>(x * 7 + y);
            px[1] = static_cast<uint8_t>(y * 13 + x);
            px[2] = static_cast<uint8_t>((x ^ y) * 5);
            if (withAlpha)
                p.Alpha[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(x * 31 + y * 17);
        }
    return p;
}

TDecodedPicture QuantiseForBmp(const TDecodedPicture& picture, TBmpKind kind)
{
    TDecodedPicture q = picture;
    q.Alpha.clear();
    const size_t count = static_cast<size_t>(q.Width) * q.Height;
    for (size_t i = 0; i < count; ++i) {
        uint8_t* px = &q.Pixels[i * 3];
        if (int bits = PaletteBits(kind)) {
            uint8_t g = GreyLevel(GreyIndex(px, bits), bits);
            px[0] = px[1] = px[2] = g;
        } else if (kind == TBmpKind::Rgb555 || kind == TBmpKind::Rgb565) {
            for (int c = 0; c < 3; ++c) {
                int bits = (c == 1 && kind == TBmpKind::Rgb565) ? 6 : 5;
                int max = (1 << bits) - 1;
                int v = px[c] >> (8 - bits);
                px[c] = static_cast<uint8_t>((v * 255 + max / 2) / max);
            }
        }
    }
    return q;
}

std::vector<uint8_t> MakeBmp(const TDecodedPicture& picture, TBmpKind kind, bool topDown)
{
    const int w = picture.Width, h = picture.Height;
    const int paletteBits = PaletteBits(kind);
    const bool core = kind == TBmpKind::Core24;
    int bitCount = paletteBits;
    if (kind == TBmpKind::Rgb555 || kind == TBmpKind::Rgb565)
        bitCount = 16;
    else if (kind == TBmpKind::Rgb24 || kind == TBmpKind::Core24)
        bitCount = 24;
    else if (kind == TBmpKind::Rgb32 || kind == TBmpKind::Bitfields32)
        bitCount = 32;
    const bool bitfields = kind == TBmpKind::Rgb565 || kind == TBmpKind::Bitfields32;
    const uint32_t infoSize = core ? 12 : 40;
    const uint32_t paletteSize = paletteBits ? (1u << paletteBits) * 4 : 0;
    const uint32_t offset = 14 + infoSize + (bitfields ? 12 : 0) + paletteSize;
    const uint32_t rowBytes = ((w * bitCount + 31) / 32) * 4;

    std::vector<uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + rowBytes * h);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, infoSize);
    if (core) {
        Put16(b, w);
        Put16(b, topDown ? -h : h);
        Put16(b, 1);
        Put16(b, bitCount);
    } else {
        Put32(b, w);
        Put32(b, static_cast<uint32_t>(topDown ? -h : h));
        Put16(b, 1);
        Put16(b, bitCount);
        Put32(b, bitfields ? 3 : 0);
        Put32(b, rowBytes * h);
        Put32(b, 2835);
        Put32(b, 2835);
        Put32(b, 0);
        Put32(b, 0);
    }
    if (kind == TBmpKind::Rgb565) {
        Put32(b, 0xF800);
        Put32(b, 0x07E0);
        Put32(b, 0x001F);
    } else if (kind == TBmpKind::Bitfields32) {
        // Red in the low byte, blue high: a layout only the masks can describe.
        Put32(b, 0x000000FF);
        Put32(b, 0x0000FF00);
        Put32(b, 0x00FF0000);
    }
    for (int i = 0; paletteBits && i < (1 << paletteBits); ++i) {
        uint8_t g = GreyLevel(i, paletteBits);
        b.insert(b.end(), {g, g, g, 0});
    }
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        std::vector<uint8_t> out(rowBytes);
        for (int x = 0; x < w; ++x) {
            const uint8_t* px = &picture.Pixels[(static_cast<size_t>(y) * w + x) * 3];
            if (paletteBits) {
                int perByte = 8 / paletteBits;
                int shift = (perByte - 1 - x % perByte) * paletteBits;
                out[x / perByte] |= static_cast<uint8_t>(GreyIndex(px, paletteBits) << shift);
            } else if (bitCount == 16) {
                uint32_t v = kind == TBmpKind::Rgb565
                                 ? ((px[2] >> 3) << 11) | ((px[1] >> 2) << 5) | (px[0] >> 3)
                                 : ((px[2] >> 3) << 10) | ((px[1] >> 3) << 5) | (px[0] >> 3);
                out[x * 2] = static_cast<uint8_t>(v);
                out[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
            } else if (bitCount == 24) {
                std::memcpy(&out[x * 3], px, 3);
            } else if (kind == TBmpKind::Rgb32) {
                out[x * 4] = px[0];
                out[x * 4 + 1] = px[1];
                out[x * 4 + 2] = px[2];
                out[x * 4 + 3] = 0x5A;
            } else {
                out[x * 4] = px[2];
                out[x * 4 + 1] = px[1];
                out[x * 4 + 2] = px[0];
                out[x * 4 + 3] = 0xA5;
            }
        }
        b.insert(b.end(), out.begin(), out.end());
    }
    return b;
}

namespace {

std::vector<uint8_t> EncodeJpeg(const TDecodedPicture& picture, int quality, bool grey, bool progressive)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = picture.Width;
    cinfo.image_height = picture.Height;
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(picture.Width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t* src = &picture.Pixels[static_cast<size_t>(cinfo.next_scanline) * picture.Width * 3];
        for (int x = 0; x < picture.Width; ++x) {
            if (grey) {
                row[x] = src[x * 3 + 1];
            } else {
                row[x * 3] = src[x * 3 + 2];
                row[x * 3 + 1] = src[x * 3 + 1];
                row[x * 3 + 2] = src[x * 3];
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

}  // namespace

std::vector<uint8_t> MakeJpeg(const TDecodedPicture& picture, int quality, bool grey)
{
    return EncodeJpeg(picture, quality, grey, false);
}

std::vector<uint8_t> MakeProgressiveJpeg(const TDecodedPicture& picture, int scans)
{
    std::vector<uint8_t> jpeg = EncodeJpeg(picture, 90, false, true);
    // Coded data never holds FF DA, so the last one starts the last scan, which runs to the
    // end-of-image marker.
    size_t last = jpeg.size() - 2;
    while (last > 0 && !(jpeg[last] == 0xFF && jpeg[last + 1] == 0xDA))
        --last;
    const std::vector<uint8_t> scan(jpeg.begin() + static_cast<long>(last), jpeg.end() - 2);
    constexpr int ColourScans = 10;  // what the usual progression writes for three components
    for (int i = ColourScans; i < scans; ++i)
        jpeg.insert(jpeg.end() - 2, scan.begin(), scan.end());
    return jpeg;
}

std::vector<uint8_t> MakePng(const TDecodedPicture& picture, TPngKind kind)
{
    const int w = picture.Width, h = picture.Height;
    std::vector<std::vector<uint8_t>> rows(h);
    std::vector<png_bytep> rowPointers(h);
    png_color palette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    png_byte trns[2] = {0, 128};
    for (int y = 0; y < h; ++y) {
        auto& r = rows[y];
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const uint8_t* px = &picture.Pixels[i * 3];
            switch (kind) {
            case TPngKind::Grey8:
                r.push_back(px[1]);
                break;
            case TPngKind::Rgb16:
                for (int c = 2; c >= 0; --c) {
                    r.push_back(px[c]);
                    r.push_back(static_cast<uint8_t>(px[c] ^ 0x55));  // the dropped low byte
                }
                break;
            case TPngKind::PaletteTrns:
                r.push_back(static_cast<uint8_t>((x + y) % 4));
                break;
            case TPngKind::InterlacedRgba:
                r.insert(r.end(), {px[2], px[1], px[0], picture.Alpha.empty() ? uint8_t(255) : picture.Alpha[i]});
                break;
            }
        }
        rowPointers[y] = r.data();
    }
    std::vector<uint8_t> out;
    switch (kind) {
    case TPngKind::Grey8:
        WritePngRows(&out, w, h, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, rowPointers.data(), nullptr, 0, nullptr, 0);
        break;
    case TPngKind::Rgb16:
        WritePngRows(&out, w, h, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, rowPointers.data(), nullptr, 0, nullptr, 0);
        break;
    case TPngKind::PaletteTrns:
        WritePngRows(&out, w, h, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, rowPointers.data(), palette, 4, trns, 2);
        break;
    case TPngKind::InterlacedRgba:
        WritePngRows(&out, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_ADAM7, rowPointers.data(), nullptr, 0, nullptr, 0);
        break;
    }
    return out;
}

const uint8_t* TestGnyKey()
{
    static const auto key = [] {
        std::vector<uint8_t> k(256);
        uint32_t s = 0x2545F491;
        for (auto& b : k) {
            s = s * 1103515245 + 12345;
            b = static_cast<uint8_t>(s >> 16);
        }
        return k;
    }();
    return key.data();
}

std::vector<uint8_t> WidenPng(std::vector<uint8_t> png, uint32_t width)
{
    if (png.size() < 33)
        return png;
    for (int k = 0; k < 4; ++k)
        png[16 + k] = static_cast<uint8_t>(width >> (24 - 8 * k));
    // CRC-32 of the chunk type and data (bytes 12 to 28), stored big-endian after them.
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc = ~crc;
    for (int k = 0; k < 4; ++k)
        png[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
    return png;
}
