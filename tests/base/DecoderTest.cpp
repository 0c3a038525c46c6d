#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "base/Vepicture.h"
#include "support/Pictures.h"

namespace {

TMemoryStream StreamOf(const std::vector<uint8_t>& bytes)
{
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

template <typename Decode>
bool DecodeBytes(const std::vector<uint8_t>& bytes, TDecodedPicture& picture, Decode decode)
{
    TMemoryStream s = StreamOf(bytes);
    return decode(&s, picture);
}

bool Bmp(const std::vector<uint8_t>& b, TDecodedPicture& p)
{
    return DecodeBytes(b, p, [](TStream* s, TDecodedPicture& q) { return DecodeBmp(s, q); });
}
bool Jpeg(const std::vector<uint8_t>& b, TDecodedPicture& p)
{
    return DecodeBytes(b, p, [](TStream* s, TDecodedPicture& q) { return DecodeJpeg(s, q); });
}
bool Png(const std::vector<uint8_t>& b, TDecodedPicture& p, bool whiteMatte = false)
{
    return DecodeBytes(b, p, [&](TStream* s, TDecodedPicture& q) { return DecodePng(s, q, whiteMatte); });
}
bool Gny(const std::vector<uint8_t>& b, TDecodedPicture& p, const uint8_t* key = TestGnyKey())
{
    return DecodeBytes(b, p, [&](TStream* s, TDecodedPicture& q) { return DecodeGny(s, key, q); });
}

std::vector<uint8_t> Png(const TDecodedPicture& picture)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodePng(bytes, picture));
    return bytes;
}

std::vector<uint8_t> GnyBytes(const TDecodedPicture& picture)
{
    TMemoryStream s;
    EXPECT_TRUE(EncodeGny(&s, TestGnyKey(), picture));
    return std::vector<uint8_t>(s.Memory(), s.Memory() + s.GetSize());
}

// Every proper prefix of a file (in steps, to keep the run short) must be refused.
template <typename Decode>
void ExpectPrefixesRefused(const std::vector<uint8_t>& bytes, size_t keepAtLeast, Decode decode)
{
    const size_t step = std::max<size_t>(1, bytes.size() / 300);
    for (size_t n = 0; n + keepAtLeast < bytes.size(); n += step) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
        TDecodedPicture p;
        EXPECT_FALSE(decode(cut, p)) << "prefix of " << n << " of " << bytes.size() << " bytes";
    }
}

void PutBe32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int k = 3; k >= 0; --k)
        b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void PutChunk(std::vector<uint8_t>& b, const char* type, const std::vector<uint8_t>& data)
{
    PutBe32(b, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    b.insert(b.end(), body.begin(), body.end());
    PutBe32(b, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// A PNG whose header gives the size, bit depth and colour type, holding the raw (filtered) rows
// compressed as its one image chunk.
std::vector<uint8_t> PngOf(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType,
                           const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    ihdr.insert(ihdr.end(), {bitDepth, colourType, 0, 0, 0});
    PutChunk(b, "IHDR", ihdr);
    std::vector<uint8_t> packed(compressBound(static_cast<uLong>(raw.size())));
    uLongf packedSize = packed.size();
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(packedSize);
    PutChunk(b, "IDAT", packed);
    PutChunk(b, "IEND", {});
    return b;
}

// An RGB PNG whose header claims the given size, with a valid but tiny image stream.
std::vector<uint8_t> HostilePng(uint32_t width, uint32_t height)
{
    return PngOf(width, height, 8, 2, std::vector<uint8_t>(64, 0));
}

// A 1 x 1 RGB PNG cut off inside its one chunk after IHDR, which claims claim bytes.
std::vector<uint8_t> PngClaiming(const char* type, uint32_t claim)
{
    std::vector<uint8_t> b = PngOf(1, 1, 8, 2, {0, 1, 2, 3});
    b.resize(8 + 25);
    PutBe32(b, claim);
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), {'a', 'b', 0, 'c'});
    return b;
}

// A whole, valid grey PNG of one bit per pixel, every pixel black: a large picture in few bytes.
std::vector<uint8_t> OneBitPng(uint32_t width, uint32_t height)
{
    return PngOf(width, height, 1, 0, std::vector<uint8_t>(static_cast<size_t>(height) * (1 + (width + 7) / 8), 0));
}

// The PNG given with count compressed texts put in after its header, each inflating to inflated
// bytes: a small file whose texts would fill hundreds of megabytes once read.
std::vector<uint8_t> PngWithTexts(std::vector<uint8_t> png, int count, size_t inflated)
{
    const std::vector<uint8_t> text(inflated, 'z');
    std::vector<uint8_t> packed(compressBound(static_cast<uLong>(text.size())));
    uLongf packedSize = packed.size();
    compress2(packed.data(), &packedSize, text.data(), static_cast<uLong>(text.size()), 9);
    packed.resize(packedSize);
    std::vector<uint8_t> chunks;
    for (int i = 0; i < count; ++i) {
        const std::string keyword = "Comment" + std::to_string(i);
        std::vector<uint8_t> data(keyword.begin(), keyword.end());
        data.insert(data.end(), {0, 0});  // end of the keyword, deflate
        data.insert(data.end(), packed.begin(), packed.end());
        PutChunk(chunks, "zTXt", data);
    }
    png.insert(png.begin() + 8 + 25, chunks.begin(), chunks.end());  // after IHDR
    return png;
}

// Peak resident memory, in kilobytes, of a child process that decodes bytes as a PNG and ends;
// -1 when the child did not decode them.
long PeakKbOfDecode(const std::vector<uint8_t>& bytes)
{
    const pid_t child = fork();
    if (child == 0) {
        TDecodedPicture picture;
        _exit(Png(bytes, picture) ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

void ExpectSamePicture(const TDecodedPicture& a, const TDecodedPicture& b)
{
    ASSERT_EQ(a.Width, b.Width);
    ASSERT_EQ(a.Height, b.Height);
    EXPECT_TRUE(a.Pixels == b.Pixels);
    EXPECT_TRUE(a.Alpha == b.Alpha);
}

}  // namespace

TEST(DecodeBmp, EveryDepthAndBothOrientations)
{
    const TDecodedPicture source = MakePatternPicture(13, 7);
    for (TBmpKind kind : {TBmpKind::Pal1, TBmpKind::Pal4, TBmpKind::Pal8, TBmpKind::Rgb555, TBmpKind::Rgb565,
                          TBmpKind::Rgb24, TBmpKind::Rgb32, TBmpKind::Bitfields32, TBmpKind::Core24}) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " topDown " << topDown);
            TDecodedPicture decoded;
            ASSERT_TRUE(Bmp(MakeBmp(source, kind, topDown), decoded));
            ExpectSamePicture(decoded, QuantiseForBmp(source, kind));
        }
    }
}

TEST(DecodeBmp, ReadsFromTheStreamPositionAndHonoursThePixelOffset)
{
    const TDecodedPicture source = MakePatternPicture(5, 3);
    std::vector<uint8_t> bmp = MakeBmp(source, TBmpKind::Rgb24);
    // Two gap bytes between the header and the pixels, announced by the offset.
    bmp.insert(bmp.begin() + 54, {0xEE, 0xEE});
    bmp[10] = 56;
    std::vector<uint8_t> file = {1, 2, 3};
    file.insert(file.end(), bmp.begin(), bmp.end());
    TMemoryStream s = StreamOf(file);
    s.SetPosition(3);
    TDecodedPicture decoded;
    ASSERT_TRUE(DecodeBmp(&s, decoded));
    ExpectSamePicture(decoded, source);
}

TEST(DecodeBmp, RefusesTruncatedCompressedAndHostileFiles)
{
    const std::vector<uint8_t> bmp = MakeBmp(MakePatternPicture(9, 6), TBmpKind::Pal8);
    ExpectPrefixesRefused(bmp, 1, Bmp);

    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = bmp;
        std::copy(bytes.begin(), bytes.end(), b.begin() + at);
        TDecodedPicture p;
        return Bmp(b, p);
    };
    EXPECT_FALSE(patched(0, {'B', 'A'}));
    EXPECT_FALSE(patched(30, {1, 0, 0, 0}));                // run-length compressed
    EXPECT_FALSE(patched(28, {7, 0}));                      // no such depth
    EXPECT_FALSE(patched(14, {41, 0, 0, 0}));               // unknown header size
    EXPECT_FALSE(patched(18, {0, 0, 0, 0}));                // zero width
    EXPECT_FALSE(patched(18, {0x01, 0x40, 0, 0}));          // 16385 wide
    EXPECT_FALSE(patched(22, {0x00, 0x00, 0x00, 0x80}));    // height -2^31
    EXPECT_FALSE(patched(18, {0x00, 0x40, 0, 0}));          // 16384 wide: more rows than the file holds
    EXPECT_FALSE(patched(10, {0xF0, 0xFF, 0xFF, 0xFF}));    // pixels past the end
    EXPECT_FALSE(patched(10, {20, 0, 0, 0}));               // pixels inside the header

    // A palette index past the colours used reads as black rather than outside the palette.
    std::vector<uint8_t> b = bmp;
    b[46] = 2;  // two colours used: the pixel data now starts 254 x 4 bytes early, keep offset
    TDecodedPicture p;
    EXPECT_TRUE(Bmp(b, p));
}

// Pictures are bounded by a budget of 16 million pixels before anything is allocated for them,
// whatever their sides and however few bytes hold them.
TEST(PictureBudget, EveryDecoderRefusesPicturesOverSixteenMillionPixels)
{
    EXPECT_EQ(PictureBytes(4000, 4000, 3), 48000000);
    EXPECT_EQ(PictureBytes(16384, 976, 1), 16384 * 976);
    EXPECT_LT(PictureBytes(4000, 4001, 3), 0);
    EXPECT_LT(PictureBytes(16384, 977, 1), 0);

    const std::vector<uint8_t> png = OneBitPng(16384, 16384);
    ASSERT_LT(png.size(), 64u * 1024);
    TDecodedPicture p;
    EXPECT_FALSE(Png(png, p));
    EXPECT_EQ(p.Width, 0);
    TDecodedPicture small;
    ASSERT_TRUE(Png(OneBitPng(64, 48), small));
    EXPECT_EQ(small.Pixels, std::vector<uint8_t>(64 * 48 * 3, 0));

    // A whole one-bit bitmap of 4096 x 4097 is 2 MB of file for 16.8 million pixels.
    std::vector<uint8_t> bmp = MakeBmp(MakePatternPicture(8, 8), TBmpKind::Pal1);
    const uint32_t pixelOffset = bmp[10] | (bmp[11] << 8) | (bmp[12] << 16) | (bmp[13] << 24);
    for (int k = 0; k < 4; ++k) {
        bmp[18 + k] = static_cast<uint8_t>(4096u >> (8 * k));
        bmp[22 + k] = static_cast<uint8_t>(4097u >> (8 * k));
    }
    bmp.resize(pixelOffset + size_t(512) * 4097, 0);
    EXPECT_FALSE(Bmp(bmp, p));
}

TEST(DecodeJpeg, DecodesColourAndGreyTheRightWayUp)
{
    TDecodedPicture source = MakePatternPicture(40, 32);
    // Solid halves, split on a block row, survive compression: top red, bottom blue.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t* px = &source.Pixels[(static_cast<size_t>(y) * 40 + x) * 3];
            px[0] = y < 16 ? 0 : 220;
            px[1] = 30;
            px[2] = y < 16 ? 220 : 0;
        }
    TDecodedPicture decoded;
    ASSERT_TRUE(Jpeg(MakeJpeg(source), decoded));
    ASSERT_EQ(decoded.Width, 40);
    ASSERT_EQ(decoded.Height, 32);
    EXPECT_TRUE(decoded.Alpha.empty());
    // Chroma is smoothed across the seam, so compare away from it.
    for (size_t i = 0; i < source.Pixels.size(); ++i) {
        const size_t y = i / 120;
        if (y >= 12 && y < 20)
            continue;
        ASSERT_NEAR(decoded.Pixels[i], source.Pixels[i], 12) << i;
    }

    ASSERT_TRUE(Jpeg(MakeJpeg(source, 90, true), decoded));
    for (size_t i = 0; i < decoded.Pixels.size(); i += 3) {
        EXPECT_EQ(decoded.Pixels[i], decoded.Pixels[i + 1]);
        EXPECT_EQ(decoded.Pixels[i], decoded.Pixels[i + 2]);
        EXPECT_NEAR(decoded.Pixels[i], 30, 4);
    }
}

TEST(DecodeJpeg, RefusesTruncatedAndHostileData)
{
    const std::vector<uint8_t> jpeg = MakeJpeg(MakePatternPicture(48, 32), 80);
    // The end-of-image marker itself may be missing: everything before it is needed.
    ExpectPrefixesRefused(jpeg, 2, Jpeg);

    std::vector<uint8_t> garbage(500, 0x42);
    TDecodedPicture p;
    EXPECT_FALSE(Jpeg(garbage, p));

    // The frame header claims 16384 x 16384 (and then 0 wide) in a file of a few hundred bytes;
    // a refusal for the claimed size names the bound the picture goes over.
    auto why = [](const std::vector<uint8_t>& b) {
        TMemoryStream s = StreamOf(b);
        TDecodedPicture picture;
        std::string failure;
        EXPECT_FALSE(DecodeJpeg(&s, picture, &failure));
        return failure;
    };
    bool found = false;
    for (size_t i = 0; i + 8 < jpeg.size() && !found; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            found = true;
            std::vector<uint8_t> big = jpeg;
            big[i + 5] = 0x40, big[i + 6] = 0x00, big[i + 7] = 0x40, big[i + 8] = 0x00;
            EXPECT_FALSE(Jpeg(big, p));
            EXPECT_NE(why(big).find(std::to_string(MaxPicturePixels)), std::string::npos) << why(big);
            big[i + 5] = 0x08, big[i + 6] = 0x00, big[i + 7] = 0x08, big[i + 8] = 0x00;  // 2048 x 2048
            EXPECT_NE(why(big).find(std::to_string(big.size()) + " bytes"), std::string::npos) << why(big);
            big[i + 7] = 0x00, big[i + 8] = 0x00;
            EXPECT_FALSE(Jpeg(big, p));
        }
    EXPECT_TRUE(found);

    // Progressive pictures decode up to the scan bound; one scan more is refused, with why.
    const TDecodedPicture source = MakePatternPicture(48, 32);
    TDecodedPicture plain;
    ASSERT_TRUE(Jpeg(MakeJpeg(source, 90), plain));
    ASSERT_TRUE(Jpeg(MakeProgressiveJpeg(source, 10), p));
    ASSERT_EQ(p.Pixels.size(), plain.Pixels.size());
    for (size_t i = 0; i < p.Pixels.size(); ++i)
        ASSERT_NEAR(p.Pixels[i], plain.Pixels[i], 8) << i;
    // The repeated refinement scans change the picture, but it is still decoded.
    ASSERT_TRUE(Jpeg(MakeProgressiveJpeg(source, MaxJpegScans), p));
    EXPECT_EQ(p.Width, 48);
    EXPECT_EQ(p.Height, 32);
    const std::vector<uint8_t> many = MakeProgressiveJpeg(source, MaxJpegScans + 1);
    TMemoryStream stream;
    stream.Write(many.data(), static_cast<int64_t>(many.size()));
    stream.SetPosition(0);
    std::string failure;
    EXPECT_FALSE(DecodeJpeg(&stream, p, &failure));
    EXPECT_EQ(failure, "more than " + std::to_string(MaxJpegScans) + " scans");
}

TEST(DecodePng, RoundTripsEveryColourType)
{
    const TDecodedPicture opaque = MakePatternPicture(17, 9);
    const TDecodedPicture translucent = MakePatternPicture(17, 9, true);
    TDecodedPicture decoded;
    ASSERT_TRUE(Png(Png(opaque), decoded));
    ExpectSamePicture(decoded, opaque);
    ASSERT_TRUE(Png(Png(translucent), decoded));
    ExpectSamePicture(decoded, translucent);
    ASSERT_TRUE(Png(MakePng(translucent, TPngKind::InterlacedRgba), decoded));
    ExpectSamePicture(decoded, translucent);
    ASSERT_TRUE(Png(MakePng(opaque, TPngKind::Rgb16), decoded));
    ExpectSamePicture(decoded, opaque);

    ASSERT_TRUE(Png(MakePng(opaque, TPngKind::Grey8), decoded));
    EXPECT_TRUE(decoded.Alpha.empty());
    for (size_t i = 0; i < decoded.Pixels.size(); i += 3) {
        EXPECT_EQ(decoded.Pixels[i], opaque.Pixels[i + 1]);
        EXPECT_EQ(decoded.Pixels[i + 2], opaque.Pixels[i + 1]);
    }

    // Palette with a transparency entry: the alpha comes from it, colours stay blue-green-red.
    ASSERT_TRUE(Png(MakePng(opaque, TPngKind::PaletteTrns), decoded));
    ASSERT_EQ(decoded.Alpha.size(), 17u * 9u);
    EXPECT_EQ(decoded.Alpha[0], 0);    // index 0
    EXPECT_EQ(decoded.Alpha[1], 128);  // index 1
    EXPECT_EQ(decoded.Alpha[2], 255);  // index 2: blue
    EXPECT_EQ(decoded.Pixels[6], 255);
    EXPECT_EQ(decoded.Pixels[8], 0);
    EXPECT_EQ(decoded.Pixels[3 * 3 + 0], 30);  // index 3 = (10, 20, 30)
    EXPECT_EQ(decoded.Pixels[3 * 3 + 2], 10);
}

TEST(DecodePng, WhiteMatteTakesColoursBackFromWhite)
{
    // Straight colours composed over white, as the picture tools store them.
    TDecodedPicture straight = MakePatternPicture(64, 4, true);
    TDecodedPicture stored = straight;
    for (size_t i = 0; i < straight.Alpha.size(); ++i) {
        straight.Alpha[i] = stored.Alpha[i] = static_cast<uint8_t>(i * 4);
        const int a = stored.Alpha[i];
        for (int c = 0; c < 3; ++c) {
            const int v = straight.Pixels[i * 3 + c];
            stored.Pixels[i * 3 + c] = static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255);
        }
    }
    TDecodedPicture decoded;
    ASSERT_TRUE(Png(Png(stored), decoded, true));
    EXPECT_TRUE(decoded.Alpha == straight.Alpha);
    for (size_t i = 0; i < straight.Alpha.size(); ++i) {
        const int a = straight.Alpha[i];
        for (int c = 0; c < 3; ++c) {
            const int got = decoded.Pixels[i * 3 + c];
            if (a == 0)
                EXPECT_EQ(got, stored.Pixels[i * 3 + c]);
            else  // rounding in the store loses up to half a step, magnified by 255 / a
                EXPECT_NEAR(got, straight.Pixels[i * 3 + c], 255.0 / a / 2 + 1) << "alpha " << a;
        }
    }
    // Exact points: half-covered mid grey, black, and a stored colour too dark for its alpha.
    TDecodedPicture one = MakePatternPicture(3, 1, true);
    one.Alpha = {128, 51, 51};
    std::memcpy(one.Pixels.data(), (const uint8_t[]){191, 191, 191, 204, 204, 204, 0, 0, 0}, 9);
    ASSERT_TRUE(Png(Png(one), decoded, true));
    EXPECT_EQ(decoded.Pixels[0], 127);  // 255 - 64 * 255 / 128, the half rounded darker
    EXPECT_EQ(decoded.Pixels[3], 0);    // 255 - 51 * 255 / 51
    EXPECT_EQ(decoded.Pixels[6], 0);    // clamped
    // Without the matte flag, or without alpha, colours are as stored.
    ASSERT_TRUE(Png(Png(one), decoded, false));
    EXPECT_EQ(decoded.Pixels[0], 191);
    TDecodedPicture noAlpha = MakePatternPicture(3, 1);
    ASSERT_TRUE(Png(Png(noAlpha), decoded, true));
    EXPECT_TRUE(decoded.Pixels == noAlpha.Pixels);
}

TEST(DecodePng, RefusesTruncatedAndHostileDataAndCountsChannels)
{
    const std::vector<uint8_t> png = Png(MakePatternPicture(30, 20, true));
    ExpectPrefixesRefused(png, 12, [](const std::vector<uint8_t>& b, TDecodedPicture& p) { return Png(b, p); });

    TDecodedPicture p;
    EXPECT_FALSE(Png(HostilePng(16385, 1), p));
    EXPECT_FALSE(Png(HostilePng(16384, 16384), p));
    EXPECT_FALSE(Png(HostilePng(0x7FFFFFFF, 0x7FFFFFFF), p));
    EXPECT_FALSE(Png(HostilePng(8, 8), p));  // 64 raw bytes are too few for 8 x 8 RGB

    // A refusal for the claimed size names the bound the picture goes over.
    auto why = [](const std::vector<uint8_t>& b) {
        TMemoryStream s = StreamOf(b);
        TDecodedPicture picture;
        std::string failure;
        EXPECT_FALSE(DecodePng(&s, picture, false, &failure));
        return failure;
    };
    EXPECT_NE(why(HostilePng(16385, 1)).find(std::to_string(MaxPictureSide)), std::string::npos)
        << why(HostilePng(16385, 1));
    EXPECT_NE(why(HostilePng(0x7FFFFFFF, 0x7FFFFFFF)).find(std::to_string(MaxPictureSide)), std::string::npos)
        << why(HostilePng(0x7FFFFFFF, 0x7FFFFFFF));
    EXPECT_NE(why(HostilePng(16384, 16384)).find(std::to_string(MaxPicturePixels)), std::string::npos)
        << why(HostilePng(16384, 16384));
    const std::vector<uint8_t> tiny = HostilePng(2000, 2000);
    EXPECT_NE(why(tiny).find(std::to_string(tiny.size()) + " bytes"), std::string::npos) << why(tiny);
    EXPECT_FALSE(why(std::vector<uint8_t>(png.begin(), png.begin() + 40)).empty());

    // A chunk that claims more than the file still holds is refused for that, by name, before
    // anything is sized by the claim: a few bytes may not cost gigabytes.
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL", "iCCP", "IDAT", "abCd"}) {
        for (uint32_t claim : {0x7FFFFFFFu, 16u * 1024 * 1024 + 1}) {
            const std::string failure = why(PngClaiming(type, claim));
            EXPECT_NE(failure.find(type), std::string::npos) << failure;
            EXPECT_NE(failure.find(std::to_string(claim)), std::string::npos) << failure;
        }
    }

    // Many compressed texts, each within what one chunk may inflate to, are read past, not kept:
    // such a picture costs about what a plain one does, not what its texts inflate to.
    const std::vector<uint8_t> plain = PngOf(4, 4, 8, 2, std::vector<uint8_t>(4 * (1 + 4 * 3), 0));
    const std::vector<uint8_t> texts = PngWithTexts(plain, 20, 15 * 1024 * 1024);
    ASSERT_LT(texts.size(), 1024u * 1024u);
    const long plainKb = PeakKbOfDecode(plain);
    const long textsKb = PeakKbOfDecode(texts);
    ASSERT_GT(plainKb, 0);
    ASSERT_GT(textsKb, 0) << "a picture with texts did not decode";
    EXPECT_LT(textsKb - plainKb, 32 * 1024) << plainKb << " KB for the plain picture, " << textsKb << " KB with texts";

    auto channels = [](const std::vector<uint8_t>& b) {
        TMemoryStream s = StreamOf(b);
        return ChkChannelPng(&s);
    };
    const TDecodedPicture pic = MakePatternPicture(4, 4);
    EXPECT_EQ(channels(Png(pic)), 3);
    EXPECT_EQ(channels(Png(MakePatternPicture(4, 4, true))), 4);
    EXPECT_EQ(channels(MakePng(pic, TPngKind::PaletteTrns)), 1);
    EXPECT_EQ(channels(MakePng(pic, TPngKind::Grey8)), 0);
    EXPECT_EQ(channels(MakeBmp(pic, TBmpKind::Rgb24)), 0);
    EXPECT_EQ(channels({}), 0);
}

TEST(DecodeGny, RoundTripsScrambledAndNeedsTheKey)
{
    for (bool alpha : {false, true}) {
        const TDecodedPicture source = MakePatternPicture(21, 11, alpha);
        const std::vector<uint8_t> bytes = GnyBytes(source);
        ASSERT_EQ(bytes.size(), 16 + 21 * 11 * (alpha ? 4u : 3u));
        TDecodedPicture decoded;
        ASSERT_TRUE(Gny(bytes, decoded));
        ExpectSamePicture(decoded, source);

        uint8_t otherKey[256];
        for (int i = 0; i < 256; ++i)
            otherKey[i] = static_cast<uint8_t>(TestGnyKey()[i] + 1);
        ASSERT_TRUE(Gny(bytes, decoded, otherKey));
        EXPECT_FALSE(decoded.Pixels == source.Pixels);
    }
    // A flat picture is not stored flat, nor with the table repeating every 256 bytes.
    TDecodedPicture flat = MakePatternPicture(256, 2);
    std::fill(flat.Pixels.begin(), flat.Pixels.end(), 0);
    const std::vector<uint8_t> bytes = GnyBytes(flat);
    EXPECT_NE(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 272),
              std::vector<uint8_t>(bytes.begin() + 272, bytes.begin() + 528));
}

TEST(DecodeGny, RefusesTruncatedAndHostileHeaders)
{
    const std::vector<uint8_t> bytes = GnyBytes(MakePatternPicture(6, 5));
    ExpectPrefixesRefused(bytes, 1, [](const std::vector<uint8_t>& b, TDecodedPicture& p) { return Gny(b, p); });
    auto patched = [&](size_t at, std::vector<uint8_t> v) {
        std::vector<uint8_t> b = bytes;
        std::copy(v.begin(), v.end(), b.begin() + at);
        TDecodedPicture p;
        return Gny(b, p);
    };
    EXPECT_FALSE(patched(0, {'G', 'N', 'Y', '2'}));
    EXPECT_FALSE(patched(12, {16, 0}));
    EXPECT_FALSE(patched(4, {0, 0, 0, 0}));
    EXPECT_FALSE(patched(4, {0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(patched(4, {0x00, 0x40, 0, 0}));  // 16384 wide: larger than the data
    TDecodedPicture p;
    TMemoryStream s = StreamOf(bytes);
    EXPECT_FALSE(DecodeGny(&s, nullptr, p));
}

TEST(DecodeAlphaPicture, GreyFromBitmapsAlphaFromPng)
{
    TDecodedPicture grey = MakePatternPicture(10, 4);
    for (size_t i = 0; i < grey.Pixels.size(); i += 3)
        grey.Pixels[i] = grey.Pixels[i + 2] = grey.Pixels[i + 1];
    auto load = [](const std::vector<uint8_t>& b, int& w, int& h, std::vector<uint8_t>& plane) {
        TMemoryStream s = StreamOf(b);
        return DecodeAlphaPicture(&s, w, h, plane);
    };
    int w = 0, h = 0;
    std::vector<uint8_t> plane;
    for (TBmpKind kind : {TBmpKind::Pal8, TBmpKind::Rgb24}) {
        ASSERT_TRUE(load(MakeBmp(grey, kind), w, h, plane));
        EXPECT_EQ(w, 10);
        EXPECT_EQ(h, 4);
        const TDecodedPicture expected = QuantiseForBmp(grey, kind);
        for (size_t i = 0; i < plane.size(); ++i)
            ASSERT_EQ(plane[i], expected.Pixels[i * 3 + 1]) << i;
    }
    const TDecodedPicture withAlpha = MakePatternPicture(10, 4, true);
    ASSERT_TRUE(load(Png(withAlpha), w, h, plane));
    EXPECT_TRUE(plane == withAlpha.Alpha);
    ASSERT_TRUE(load(Png(grey), w, h, plane));
    EXPECT_EQ(plane[5], grey.Pixels[16]);

    EXPECT_FALSE(load(MakeJpeg(grey), w, h, plane));
    EXPECT_FALSE(load({'B', 'M', 0}, w, h, plane));
    EXPECT_FALSE(load({}, w, h, plane));
}
