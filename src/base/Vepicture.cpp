#include <algorithm>

#include "base/Vepicture.h"

int64_t PictureBytes(int64_t width, int64_t height, int bytesPerPixel)
{
    if (!PictureSizeFailure(width, height).empty() || bytesPerPixel < 1 || bytesPerPixel > 4)
        return -1;
    return width * height * bytesPerPixel;
}

namespace {

std::string SizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

}  // namespace

std::string PictureSizeFailure(int64_t width, int64_t height)
{
    if (width < 1 || height < 1)
        return SizeText(width, height) + ", no picture";
    if (width > MaxPictureSide || height > MaxPictureSide)
        return SizeText(width, height) + ", a side over the " + std::to_string(MaxPictureSide) + " a picture may have";
    if (width * height > MaxPicturePixels)
        return SizeText(width, height) + ", more than the " + std::to_string(MaxPicturePixels) +
               " a picture may have";
    return "";
}

std::string PictureDataFailure(int64_t width, int64_t height, int64_t bytes)
{
    return SizeText(width, height) + ", more than its " + std::to_string(bytes) + " bytes can hold";
}

// The plane is the picture's grey: masks are drawn as grey pictures (an 8-bit bitmap with a grey
// palette, or a grey 24-bit one), whose three channels are equal. A colour picture gives its
// luma (0.299 R + 0.587 G + 0.114 B in eighths of 256, exact for greys). A PNG that carries alpha
// gives its alpha instead, since that is what such a picture means as a mask.
bool DecodeAlphaPicture(TStream* stream, int& width, int& height, std::vector<uint8_t>& plane)
{
    if (!stream)
        return false;
    const int64_t start = stream->GetPosition();
    uint8_t magic[8] = {};
    const int64_t got = stream->Read(magic, 8);
    stream->SetPosition(start);
    static const uint8_t pngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

    TDecodedPicture picture;
    bool ok;
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M')
        ok = DecodeBmp(stream, picture);
    else if (got == 8 && std::equal(magic, magic + 8, pngMagic))
        ok = DecodePng(stream, picture, false);
    else
        ok = false;
    if (!ok)
        return false;

    const size_t count = static_cast<size_t>(picture.Width) * picture.Height;
    if (picture.Alpha.size() == count) {
        plane = std::move(picture.Alpha);
    } else {
        plane.resize(count);
        const uint8_t* __restrict in = picture.Pixels.data();
        uint8_t* __restrict out = plane.data();
        for (size_t i = 0; i < count; ++i)
            out[i] = static_cast<uint8_t>((in[i * 3] * 29 + in[i * 3 + 1] * 150 + in[i * 3 + 2] * 77) >> 8);
    }
    width = picture.Width;
    height = picture.Height;
    return true;
}
