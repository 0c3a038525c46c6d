// Decoder glue: each decoder fills a plain picture, which the buffer then takes as DrawPicture
// does. Nothing is drawn when decoding fails.

#include "base/Vealpha.h"
#include "base/Vepicture.h"
#include "base/Vergbbits.h"

// A decoder's picture is trusted only when its pixel count matches its sides.
static bool Whole(const TDecodedPicture& p)
{
    return p.Width > 0 && p.Height > 0 && int64_t(p.Width) * p.Height * 3 == int64_t(p.Pixels.size()) &&
           (p.Alpha.empty() || int64_t(p.Width) * p.Height == int64_t(p.Alpha.size()));
}

bool TVeRGBBits::DrawBmpStream(TStream* stream, int x, int y)
{
    TDecodedPicture picture;
    if (!stream || !DecodeBmp(stream, picture) || !Whole(picture))
        return false;
    return DrawPicture(picture.Pixels.data(), picture.Width, picture.Height, x, y);
}

bool TVeRGBBits::DrawJpegStream(TStream* stream, int x, int y, std::string* failure)
{
    TDecodedPicture picture;
    if (!stream || !DecodeJpeg(stream, picture, failure) || !Whole(picture))
        return false;
    return DrawPicture(picture.Pixels.data(), picture.Width, picture.Height, x, y);
}

static bool DrawPng(TVeRGBBits* bits, TStream* stream, int x, int y, TVeAlpha* alpha, bool whiteMatte,
                    std::string* failure)
{
    TDecodedPicture picture;
    if (!stream || !DecodePng(stream, picture, whiteMatte, failure) || !Whole(picture))
        return false;
    if (!bits->DrawPicture(picture.Pixels.data(), picture.Width, picture.Height, x, y))
        return false;
    if (alpha && !picture.Alpha.empty())
        return alpha->DrawPlane(picture.Alpha.data(), picture.Width, picture.Height, 0, 0);
    return true;
}

bool TVeRGBBits::DrawPngStream(TStream* stream, int x, int y, TVeAlpha* alpha, std::string* failure)
{
    return DrawPng(this, stream, x, y, alpha, false, failure);
}

bool TVeRGBBits::DrawPngWMStream(TStream* stream, int x, int y, TVeAlpha* alpha, std::string* failure)
{
    return DrawPng(this, stream, x, y, alpha, true, failure);
}

bool TVeRGBBits::DrawGnyStream(TStream* stream, int x, int y, const uint8_t* keyTable)
{
    TDecodedPicture picture;
    if (!stream || !keyTable || !DecodeGny(stream, keyTable, picture) || !Whole(picture))
        return false;
    return DrawPicture(picture.Pixels.data(), picture.Width, picture.Height, x, y);
}

bool TVeAlpha::LoadAlphaStream(TStream* stream, int x, int y)
{
    int width = 0, height = 0;
    std::vector<uint8_t> plane;
    if (!stream || !DecodeAlphaPicture(stream, width, height, plane))
        return false;
    if (width < 1 || height < 1 || int64_t(width) * height != int64_t(plane.size()))
        return false;
    return DrawPlane(plane.data(), width, height, x, y);
}
