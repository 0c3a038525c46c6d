#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "base/Vealpha.h"
#include "base/Vergbbits.h"
#include "base/Vergbdib.h"

namespace {

TVeRGBBits* Make(TComponent* owner, TPixFormat format, int w, int h)
{
    auto* b = new TVeRGBBits(owner);
    b->SetPixFormat(format);
    b->Resize(w, h);
    EXPECT_TRUE(b->Create());
    return b;
}

// Every pixel gets its own colour, so a pixel landing in the wrong place shows.
void Number(TVeRGBBits* b, uint32_t base)
{
    for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x)
            b->BoxFill(x, y, x, y, (base + uint32_t(y) * 0x010305 + uint32_t(x) * 0x0A0B07) & 0xFFFFFF);
}

std::vector<uint32_t> Colours(TVeRGBBits* b)
{
    std::vector<uint32_t> out;
    for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x)
            out.push_back(b->PGet(x, y));
    return out;
}

}  // namespace

TEST(VeRGBBits, LifecycleAndDepthRules)
{
    TComponent owner(nullptr);
    TVeRGBBits b(&owner);
    EXPECT_FALSE(b.Created());
    EXPECT_EQ(b.Width(), 640);
    EXPECT_EQ(b.Height(), 480);
    EXPECT_EQ(b.BitDepth(), bd24);
    EXPECT_EQ(b.PixFormat(), pf24_888);
    EXPECT_FALSE(b.Lock());
    EXPECT_FALSE(b.Cls());
    EXPECT_EQ(b.PGet(0, 0), 0u);

    b.SetBitDepth(bd32);
    EXPECT_EQ(b.PixFormat(), pf32_888);
    b.SetPixFormat(pf16_555);
    EXPECT_EQ(b.BitDepth(), bd16);
    b.SetBitDepth(bd32);
    EXPECT_EQ(b.PixFormat(), pf32_888);
    EXPECT_FALSE(b.Resize(0, 10));
    EXPECT_FALSE(b.Resize(10, -1));
    ASSERT_TRUE(b.Resize(10, 4));
    ASSERT_TRUE(b.Create());
    EXPECT_FALSE(b.Create());
    EXPECT_EQ(b.Pitch(), 40);
    b.SetBitDepth(bd24);  // ignored once created
    EXPECT_EQ(b.BitDepth(), bd32);

    ASSERT_TRUE(b.Lock());
    ASSERT_TRUE(b.Lock());
    EXPECT_EQ(b.LockCount(), 2);
    b.Unlock();
    b.Unlock();
    b.Unlock();  // one too many is harmless
    EXPECT_EQ(b.LockCount(), 0);

    b.BoxFill(0, 0, 9, 3, 0x123456);
    ASSERT_TRUE(b.SetWidth(12));
    EXPECT_TRUE(b.Created());
    EXPECT_EQ(b.Pitch(), 48);
    EXPECT_EQ(b.PGet(0, 0), 0u);  // new storage is zeroed
    EXPECT_EQ(b.PGet(11, 3), 0u);
    EXPECT_EQ(b.PGet(12, 3), 0u);
    HDC dc = reinterpret_cast<HDC>(1);
    EXPECT_FALSE(b.GetDC(dc));
    EXPECT_EQ(dc, nullptr);
    b.Release();
    EXPECT_FALSE(b.Created());
    EXPECT_EQ(b.Bits(), nullptr);
}

TEST(VeRGBBits, DrawChecksItsSourceAndClipsToTheDestination)
{
    TComponent owner(nullptr);
    TVeRGBBits* dest = Make(&owner, pf24_888, 20, 10);
    TVeRGBBits* src = Make(&owner, pf24_888, 8, 6);
    Number(src, 0x102030);
    const auto blank = Colours(dest);
    EXPECT_FALSE(dest->Draw(0, 0, src, -1, 0, 4, 4));
    EXPECT_FALSE(dest->Draw(0, 0, src, 0, -1, 4, 4));
    EXPECT_FALSE(dest->Draw(0, 0, src, 5, 0, 4, 4));
    EXPECT_FALSE(dest->Draw(0, 0, src, 0, 3, 4, 4));
    EXPECT_FALSE(dest->Draw(0, 0, nullptr, 0, 0, 4, 4));
    TVeRGBBits* wide = Make(&owner, pf32_888, 8, 6);
    EXPECT_FALSE(dest->Draw(0, 0, wide, 0, 0, 4, 4));
    TVeRGBBits uncreated(&owner);
    EXPECT_FALSE(dest->Draw(0, 0, &uncreated, 0, 0, 4, 4));
    EXPECT_EQ(Colours(dest), blank);
    EXPECT_TRUE(dest->ModifyRect().IsRectEmpty());

    // Off the right and bottom edges, then off the left and top.
    ASSERT_TRUE(dest->Draw(17, 8, src, 1, 1, 6, 5));
    EXPECT_EQ(TVeRect(dest->ModifyRect()), VeRect(17, 8, 20, 10));
    ASSERT_TRUE(dest->Draw(-2, -3, src, 0, 0, 8, 6));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            uint32_t expected = 0;
            if (x < 6 && y < 3)
                expected = src->PGet(x + 2, y + 3);
            else if (x >= 17 && y >= 8)
                expected = src->PGet(x - 16, y - 7);
            ASSERT_EQ(dest->PGet(x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(dest->ModifyRect().Area(), 6 * 3 + 3 * 2);
    EXPECT_TRUE(dest->Draw(25, 0, src, 0, 0, 4, 4));  // wholly outside: nothing, no failure
    EXPECT_EQ(dest->ModifyRect().Area(), 6 * 3 + 3 * 2);
    dest->ClearModifyRect();
    EXPECT_TRUE(dest->ModifyRect().IsRectEmpty());
    ASSERT_TRUE(dest->Cls());
    EXPECT_EQ(TVeRect(dest->ModifyRect()), VeRect(0, 0, 20, 10));
    EXPECT_EQ(Colours(dest), blank);

    // Whole-buffer form draws at (0, 0) of the destination.
    ASSERT_TRUE(src->Draw(dest));
    EXPECT_EQ(dest->PGet(7, 5), src->PGet(7, 5));
    EXPECT_EQ(dest->PGet(8, 5), 0u);
}

TEST(VeRGBBits, CursorSaveAndRestoreWithClipDrawIsExact)
{
    TComponent owner(nullptr);
    for (TPixFormat format : {pf24_888, pf32_888}) {
        TVeRGBBits* screen = Make(&owner, format, 64, 48);
        TVeRGBBits* back = Make(&owner, format, 32, 32);
        Number(screen, 0x405060);
        const auto before = Colours(screen);
        const int places[][2] = {{58, 40}, {-10, -20}, {-31, 47}, {0, 0}};
        for (const auto& p : places) {
            ASSERT_TRUE(back->ClipDraw(0, 0, screen, p[0], p[1], 32, 32));
            ASSERT_TRUE(screen->BoxFill(p[0], p[1], p[0] + 31, p[1] + 31, 0xFFFFFF));
            ASSERT_TRUE(screen->Draw(p[0], p[1], back, 0, 0, 32, 32));
            EXPECT_EQ(Colours(screen), before) << p[0] << "," << p[1];
        }
        // A buffer drawn onto itself with overlapping rows.
        ASSERT_TRUE(screen->Draw(0, 1, screen, 0, 0, 64, 47));
        for (int y = 1; y < 48; ++y)
            ASSERT_EQ(screen->PGet(5, y), before[(y - 1) * 64 + 5]);
    }
}

TEST(VeRGBBits, DrawKeyLeavesKeyPixelsOut)
{
    TComponent owner(nullptr);
    for (TPixFormat format : {pf24_888, pf32_888}) {
        TVeRGBBits* dest = Make(&owner, format, 6, 4);
        TVeRGBBits* src = Make(&owner, format, 4, 4);
        dest->BoxFill(0, 0, 5, 3, 0x111111);
        src->BoxFill(0, 0, 3, 3, 0xFF00FF);
        src->BoxFill(1, 1, 2, 2, 0x00FF00);
        src->BoxFill(3, 3, 3, 3, 0xFF00FE);  // differs from the key in one bit
        ASSERT_TRUE(dest->DrawKey(-1, 0, src, 0, 0, 4, 4, VeRGB(0xFF00FF)));
        EXPECT_EQ(dest->PGet(0, 0), 0x111111u);
        EXPECT_EQ(dest->PGet(0, 1), 0x00FF00u);
        EXPECT_EQ(dest->PGet(1, 2), 0x00FF00u);
        EXPECT_EQ(dest->PGet(2, 3), 0xFF00FEu);
        EXPECT_EQ(dest->PGet(3, 3), 0x111111u);
        EXPECT_FALSE(dest->DrawKey(0, 0, src, 1, 0, 4, 4, VeRGB(0)));
    }
}

TEST(VeRGBBits, ConvertCopyRoundTripsBetweenEveryFormat)
{
    TComponent owner(nullptr);
    const TPixFormat formats[] = {pf16_565, pf16_555, pf16_5551, pf16_4444, pf24_888, pf32_888, pf32_8888};
    TVeRGBBits* truth = Make(&owner, pf24_888, 16, 16);
    Number(truth, 0x00F0E0);
    truth->BoxFill(0, 0, 0, 0, 0xFFFFFF);
    truth->BoxFill(1, 0, 1, 0, 0x000000);
    for (TPixFormat to : formats) {
        TVeRGBBits* middle = Make(&owner, to, 16, 16);
        ASSERT_TRUE(middle->ConvertCopy(0, 0, truth, 0, 0, 16, 16));
        TVeRGBBits* back = Make(&owner, pf24_888, 16, 16);
        ASSERT_TRUE(back->ConvertCopy(0, 0, middle, 0, 0, 16, 16));
        const int bits = to == pf16_4444 ? 4 : (to == pf16_565 || to == pf16_555 || to == pf16_5551) ? 5 : 8;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const uint32_t t = truth->PGet(x, y), m = middle->PGet(x, y), r = back->PGet(x, y);
                ASSERT_EQ(m, r) << "PGet agrees with the 24-bit copy, format " << int(to);
                for (int c : {0, 8, 16}) {
                    const int tc = (t >> c) & 0xFF, rc = (r >> c) & 0xFF;
                    const int cbits = (to == pf16_565 && c == 8) ? 6 : bits;
                    // Quantised to the format's bits and widened by repeating the top bits.
                    const int q = tc >> (8 - cbits);
                    int widened = q << (8 - cbits);
                    for (int s = cbits; s < 8; s += cbits)
                        widened |= (q << (8 - cbits)) >> s;
                    ASSERT_EQ(rc, widened) << "format " << int(to) << " at " << x << "," << y;
                }
            }
        EXPECT_EQ(middle->PGet(0, 0), 0xFFFFFFu);
        EXPECT_EQ(middle->PGet(1, 0), 0u);
        // Every format converts into every other, and a second trip changes nothing more.
        for (TPixFormat other : formats) {
            TVeRGBBits* a = Make(&owner, other, 16, 16);
            TVeRGBBits* b = Make(&owner, to, 16, 16);
            ASSERT_TRUE(a->ConvertCopy(0, 0, middle, 0, 0, 16, 16));
            ASSERT_TRUE(b->ConvertCopy(0, 0, a, 0, 0, 16, 16));
            TVeRGBBits* c = Make(&owner, other, 16, 16);
            ASSERT_TRUE(c->ConvertCopy(0, 0, b, 0, 0, 16, 16));
            EXPECT_EQ(Colours(c), Colours(a)) << int(to) << " via " << int(other);
        }
    }
    // Opaque sources become opaque alpha; 32-bit without alpha keeps its fourth byte 0.
    TVeRGBBits* alpha = Make(&owner, pf32_8888, 2, 1);
    ASSERT_TRUE(alpha->ConvertCopy(0, 0, truth, 0, 0, 2, 1));
    EXPECT_EQ(alpha->Bits()[3], 255);
    TVeRGBBits* plain = Make(&owner, pf32_888, 2, 1);
    ASSERT_TRUE(plain->ConvertCopy(0, 0, alpha, 0, 0, 2, 1));
    EXPECT_EQ(plain->Bits()[3], 0);
    TVeRGBBits* dest = Make(&owner, pf16_565, 4, 4);
    EXPECT_FALSE(dest->ConvertCopy(0, 0, truth, 14, 0, 4, 4));
    ASSERT_TRUE(dest->ConvertCopy(-2, 3, truth, 0, 0, 16, 16));
    EXPECT_EQ(TVeRect(dest->ModifyRect()), VeRect(0, 3, 4, 4));
}

TEST(VeRGBBits, SixteenBitPixelsSurviveTheWayThroughTwentyFourBits)
{
    TComponent owner(nullptr);
    for (TPixFormat format : {pf16_565, pf16_555, pf16_5551, pf16_4444}) {
        TVeRGBBits* all = Make(&owner, format, 256, 256);
        for (int v = 0; v < 65536; ++v) {
            uint16_t value = static_cast<uint16_t>(v);
            if (format == pf16_555)
                value &= 0x7FFF;
            std::memcpy(all->Bits() + 2 * v, &value, 2);
        }
        TVeRGBBits* wide = Make(&owner, format == pf16_5551 || format == pf16_4444 ? pf32_8888 : pf24_888, 256, 256);
        TVeRGBBits* back = Make(&owner, format, 256, 256);
        ASSERT_TRUE(wide->ConvertCopy(0, 0, all, 0, 0, 256, 256));
        ASSERT_TRUE(back->ConvertCopy(0, 0, wide, 0, 0, 256, 256));
        EXPECT_EQ(std::memcmp(all->Bits(), back->Bits(), 65536 * 2), 0) << int(format);
    }
}

TEST(VeRGBBits, BoxFillPGetAndGetPat)
{
    TComponent owner(nullptr);
    for (TPixFormat format : {pf24_888, pf32_888}) {
        TVeRGBBits* b = Make(&owner, format, 10, 8);
        ASSERT_TRUE(b->BoxFill(12, 9, 7, 6, 0xABCDEF));  // corners in either order, clipped
        EXPECT_EQ(TVeRect(b->ModifyRect()), VeRect(7, 6, 10, 8));
        EXPECT_EQ(b->PGet(7, 6), 0xABCDEFu);
        EXPECT_EQ(b->PGet(9, 7), 0xABCDEFu);
        EXPECT_EQ(b->PGet(6, 6), 0u);
        EXPECT_EQ(b->Bits()[6 * b->Pitch() + 7 * BytesPerPixel(b->BitDepth())], 0xEF);  // blue first
        EXPECT_EQ(b->PGet(10, 7), 0u);
        EXPECT_EQ(b->PGet(-1, 7), 0u);
        EXPECT_TRUE(b->BoxFill(-5, -5, -1, -1, 0xFFFFFF));  // wholly outside: nothing
        EXPECT_EQ(b->PGet(0, 0), 0u);

        const int bpp = BytesPerPixel(b->BitDepth());
        std::vector<uint8_t> pat(3 * 2 * bpp, 0x55);
        ASSERT_TRUE(b->GetPat(7, 5, 3, 2, pat.data()));
        EXPECT_EQ(pat[0], 0);
        EXPECT_EQ(pat[3 * bpp], 0xEF);
        EXPECT_EQ(pat[3 * bpp + 2], 0xAB);
        EXPECT_FALSE(b->GetPat(8, 5, 3, 2, pat.data()));
        EXPECT_FALSE(b->GetPat(-1, 0, 1, 1, pat.data()));
    }
}

TEST(VeRGBBits, DrawPictureCreatesAtThePictureSizeAndClips)
{
    TComponent owner(nullptr);
    std::vector<uint8_t> picture(4 * 3 * 3);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>(i * 7);
    TVeRGBBits fresh(&owner);
    fresh.SetBitDepth(bd32);
    ASSERT_TRUE(fresh.DrawPicture(picture.data(), 4, 3, 0, -480));  // created, then drawn off the top
    EXPECT_TRUE(fresh.Created());
    EXPECT_EQ(fresh.Width(), 4);
    EXPECT_EQ(fresh.Height(), 3);
    EXPECT_EQ(fresh.PGet(3, 2), 0u);
    ASSERT_TRUE(fresh.DrawPicture(picture.data(), 4, 3, 1, 1));
    // Picture pixel (0, 0) is blue 0, green 7, red 14; pixel (2, 1) starts at byte 18.
    EXPECT_EQ(fresh.PGet(1, 1), 0x0E0700u);
    EXPECT_EQ(fresh.PGet(3, 2), (uint32_t(140) << 16) | (133u << 8) | 126u);
    EXPECT_EQ(fresh.PGet(0, 0), 0u);
    EXPECT_EQ(TVeRect(fresh.ModifyRect()), VeRect(1, 1, 4, 3));
    TVeRGBBits* small = Make(&owner, pf16_565, 2, 2);
    ASSERT_TRUE(small->DrawPicture(picture.data(), 4, 3, -1, 0));
    EXPECT_EQ(small->Width(), 2);  // a created buffer keeps its size
    EXPECT_FALSE(small->DrawPicture(nullptr, 4, 3, 0, 0));
}

TEST(VeRGBBits, ExtremeArgumentsStayInsideEveryBuffer)
{
    TComponent owner(nullptr);
    TVeRGBBits* dest = Make(&owner, pf32_888, 8, 8);
    TVeRGBBits* src = Make(&owner, pf32_888, 8, 8);
    TVeAlpha alpha(&owner);
    alpha.Resize(8, 8);
    ASSERT_TRUE(alpha.Create());
    alpha.Fill(128);
    const int values[] = {INT_MIN, -9, -1, 0, 7, 8, INT_MAX};
    for (int a : values)
        for (int b : values) {
            dest->ClipDraw(a, b, src, b, a, a, b);
            dest->Draw(a, b, src, 0, 0, b, a);
            dest->DrawAlphaMask(a, 0, src, b, 0, INT_MAX, INT_MAX, &alpha);
            dest->DrawAlphaMask(a, b, src, b, a, src, a, b, INT_MAX, 8, &alpha);
            dest->AlphaBlend(a, b, src, b, a, 8, INT_MAX, 64);
            dest->SaturationAdd(b, a, src, a, b, INT_MAX, INT_MAX);
            dest->ToneChange(a, b, b, a, 0x808080);
            dest->BoxFill(a, b, b, a, 0x010203);
            alpha.BoxFill(a, b, b, a, 9);
            alpha.SAdd(a, b, &alpha, b, a, INT_MAX, INT_MAX, 1);
            EXPECT_EQ(dest->PGet(a, b), (a >= 0 && a < 8 && b >= 0 && b < 8) ? dest->PGet(a, b) : 0u);
        }
    for (const TVeRect& r : dest->ModifyRect())
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= 8 && r.bottom <= 8);
}

namespace {

// A buffer whose storage cannot be locked, as a lost display surface.
class TUnlockable : public TVeRGBBits {
public:
    using TVeRGBBits::TVeRGBBits;
    bool Lock() override { return false; }
};

}  // namespace

TEST(VeRGBBits, ABufferThatCannotBeLockedIsNeitherReadNorWritten)
{
    TComponent owner(nullptr);
    TUnlockable lost(&owner);
    lost.Resize(8, 8);
    ASSERT_TRUE(lost.Create());
    TVeRGBBits* other = Make(&owner, pf24_888, 8, 8);
    other->BoxFill(0, 0, 7, 7, 0x445566);
    EXPECT_EQ(lost.PGet(1, 1), 0u);
    EXPECT_FALSE(lost.Cls());
    EXPECT_FALSE(lost.BoxFill(0, 0, 3, 3, 0xFFFFFF));
    EXPECT_FALSE(lost.ToneChange(0, 0, 3, 3, 0x404040));
    EXPECT_FALSE(lost.Draw(0, 0, other, 0, 0, 8, 8));
    EXPECT_FALSE(other->Draw(0, 0, &lost, 0, 0, 8, 8));
    EXPECT_FALSE(other->AlphaBlend(0, 0, &lost, 0, 0, 8, 8, 64));
    std::vector<uint8_t> pat(8 * 3);
    EXPECT_FALSE(lost.GetPat(0, 0, 8, 1, pat.data()));
    EXPECT_EQ(other->PGet(0, 0), 0x445566u);
    EXPECT_TRUE(lost.ModifyRect().IsRectEmpty());
    EXPECT_EQ(other->LockCount(), 0);  // every lock taken was given back
}

TEST(VeRGBDib, MakesA32BitProbeAndNoContextWithoutTheTextLayer)
{
    TComponent owner(nullptr);
    TVeRGBDib probe(&owner);
    probe.SetBitDepth(bd32);
    ASSERT_TRUE(probe.Create());
    HDC dc = nullptr;
    if (probe.GetDC(dc)) {
        EXPECT_NE(dc, nullptr);
        probe.ReleaseDC(dc);
    }
    EXPECT_EQ(probe.LockCount(), 0);
    TVeRGBDib uncreated(&owner);
    EXPECT_FALSE(uncreated.GetDC(dc));
    TVeAlphaDib plane(&owner);
    EXPECT_FALSE(plane.GetDC(dc));
    plane.Resize(20, 10);
    ASSERT_TRUE(plane.Create());
    if (plane.GetDC(dc))
        plane.ReleaseDC(dc);
}
