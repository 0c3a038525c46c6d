#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "platform/Gdi.h"
#include "platform/Graphics.h"

namespace {

// "漢字AB あ" in code page 932 and "中文汉字丂" in code page 936 (the last is a GBK-only pair).
const std::string Cp932Text = "\x8A\xBF\x8E\x9A" "AB" "\x82\xA0";
const std::string Cp936Text = "\xD6\xD0\xCE\xC4\xBA\xBA\xD7\xD6\x81\x40";

HFONT MakeFont(const std::string& face, uint8_t charset, int height, int weight = FW_NORMAL)
{
    TLogFont log;
    log.FaceName = face;
    log.CharSet = charset;
    log.Height = height;
    log.Weight = weight;
    log.Quality = NONANTIALIASED_QUALITY;
    log.PitchAndFamily = FIXED_PITCH;
    return CreateFontIndirect(log);
}

struct TPlane {
    int Width, Height, Bpp;
    std::vector<uint8_t> Bytes;
    TPlane(int w, int h, int bpp, uint8_t fill = 0) : Width(w), Height(h), Bpp(bpp), Bytes(size_t(w) * h * bpp, fill) {}
    TPixelTarget Target() { return {Bytes.data(), Width * Bpp, Width, Height, Bpp}; }
    uint8_t* At(int x, int y) { return &Bytes[(size_t(y) * Width + x) * Bpp]; }
};

// Draws text white into a zeroed plane and checks what TextOut promises: two values only,
// nothing outside the measured cells, and ink in every non-blank cell.
void CheckCells(HFONT font, const std::string& text, const std::vector<int>& cellWidths)
{
    TPlane plane(200, 60, 1);
    HDC dc = CreateTargetDC(plane.Target());
    ASSERT_NE(dc, nullptr);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TSize size;
    ASSERT_TRUE(GetTextExtentPoint32(dc, text.data(), int(text.size()), &size));
    int total = 0;
    for (int w : cellWidths)
        total += w;
    EXPECT_EQ(size.cx, total);
    EXPECT_EQ(size.cy, 24);
    const int x0 = 13, y0 = 17;
    ASSERT_TRUE(TextOut(dc, x0, y0, text.data(), int(text.size())));
    ReleaseTargetDC(dc);

    std::vector<int> inkPerCell(cellWidths.size());
    for (int y = 0; y < plane.Height; ++y)
        for (int x = 0; x < plane.Width; ++x) {
            const uint8_t v = *plane.At(x, y);
            ASSERT_TRUE(v == 0 || v == 255) << int(v);
            if (!v)
                continue;
            ASSERT_GE(x, x0);
            ASSERT_LT(x, x0 + size.cx);
            ASSERT_GE(y, y0);
            ASSERT_LT(y, y0 + 24);
            int left = x0;
            for (size_t c = 0; c < cellWidths.size(); ++c) {
                if (x < left + cellWidths[c]) {
                    ++inkPerCell[c];
                    break;
                }
                left += cellWidths[c];
            }
        }
    for (size_t c = 0; c < inkPerCell.size(); ++c)
        EXPECT_GT(inkPerCell[c], 10) << "cell " << c;
}

}  // namespace

TEST(TextOut, ShiftJisTextTakesItsCellsInTwoValues)
{
    HFONT font = MakeFont("MS UI Gothic", SHIFTJIS_CHARSET, -24);
    ASSERT_NE(font, nullptr);
    CheckCells(font, Cp932Text, {24, 24, 12, 12, 24});
    // A lead byte left at the end is one half cell.
    TPlane plane(8, 8, 1);
    HDC dc = CreateTargetDC(plane.Target());
    SelectObject(dc, font);
    TSize size;
    ASSERT_TRUE(GetTextExtentPoint32(dc, "A\x82", 2, &size));
    EXPECT_EQ(size.cx, 24);
    ReleaseTargetDC(dc);
    DeleteObject(font);
}

TEST(TextOut, ChineseTextDecodesExtendedPairs)
{
    HFONT font = MakeFont("FZShaoEr-M11", GB2312_CHARSET, -24);
    ASSERT_NE(font, nullptr);
    EXPECT_NE(GetFontFamily(font).find("SC"), std::string::npos) << GetFontFamily(font);
    CheckCells(font, Cp936Text, {24, 24, 24, 24, 24});
    DeleteObject(font);

    HFONT bold = MakeFont("FZShaoEr-M11", GB2312_CHARSET, -24, FW_BOLD);
    ASSERT_NE(bold, nullptr);
    CheckCells(bold, Cp936Text, {24, 24, 24, 24, 24});
    DeleteObject(bold);
}

TEST(TextOut, FaceNamesResolveThroughAliases)
{
    const std::vector<std::string> japaneseNames = {
        "Default", "ms ui gothic", "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF",
        "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E", "Some Face Nobody Has"};
    for (const std::string& name : japaneseNames) {
        HFONT font = MakeFont(name, SHIFTJIS_CHARSET, -20);
        ASSERT_NE(font, nullptr) << name;
        EXPECT_NE(GetFontFamily(font).find("JP"), std::string::npos) << name << ": " << GetFontFamily(font);
        DeleteObject(font);
    }
    // Unknown faces with a Chinese character set fall back to a face that has its characters.
    HFONT chinese = MakeFont("Some Face Nobody Has", GB2312_CHARSET, -20);
    ASSERT_NE(chinese, nullptr);
    EXPECT_NE(GetFontFamily(chinese).find("CJK"), std::string::npos);
    DeleteObject(chinese);
}

TEST(TextOut, MissingFacesAndBadRequestsGiveNull)
{
    AddFontAlias("Nowhere Face", {"No Such Family 7f3a"});
    EXPECT_EQ(MakeFont("Nowhere Face", SHIFTJIS_CHARSET, -24), nullptr);
    EXPECT_EQ(MakeFont("MS UI Gothic", 177, -24), nullptr);  // a character set we cannot decode
    EXPECT_EQ(MakeFont("MS UI Gothic", SHIFTJIS_CHARSET, -100000), nullptr);
    EXPECT_EQ(MakeFont("MS UI Gothic", SHIFTJIS_CHARSET, INT32_MIN), nullptr);

    TFont font;
    font.Name = "Nowhere Face";
    EXPECT_EQ(font.GetHandle(), nullptr);

    // Without a font or context nothing is drawn and nothing fails hard.
    TPlane plane(4, 4, 1);
    HDC dc = CreateTargetDC(plane.Target());
    EXPECT_FALSE(TextOut(dc, 0, 0, "A", 1));
    TSize size;
    EXPECT_FALSE(GetTextExtentPoint32(dc, "A", 1, &size));
    ReleaseTargetDC(dc);
    EXPECT_FALSE(TextOut(nullptr, 0, 0, "A", 1));
    EXPECT_EQ(CreateTargetDC(TPixelTarget{}), nullptr);
    EXPECT_EQ(CreateTargetDC({plane.Bytes.data(), 2, 4, 4, 1}), nullptr);  // pitch shorter than a row
}

TEST(TextOut, ClipsAtEveryEdgeAndWithNegativePitch)
{
    HFONT font = MakeFont("MS UI Gothic", SHIFTJIS_CHARSET, -24);
    ASSERT_NE(font, nullptr);
    // A 30 x 20 target in the middle of a guarded 50 x 40 buffer, addressed bottom-up.
    TPlane whole(50, 40, 1, 7);
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 40; ++x)
            *whole.At(x, y) = 0;
    TPixelTarget target{whole.At(10, 29), -50, 30, 20, 1};
    HDC dc = CreateTargetDC(target);
    ASSERT_NE(dc, nullptr);
    SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(128, 128, 128));
    for (int mode : {TRANSPARENT, OPAQUE})
        for (int y : {-30, -12, 0, 8, 19, 40})
            for (int x : {-100, -30, -5, 0, 20, 29, 31, 2000000000, -2000000000}) {
                SetBkMode(dc, mode);
                ASSERT_TRUE(TextOut(dc, x, y, Cp932Text.data(), int(Cp932Text.size())));
            }
    ReleaseTargetDC(dc);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const bool inside = x >= 10 && x < 40 && y >= 10 && y < 30;
            if (!inside) {
                ASSERT_EQ(*whole.At(x, y), 7) << x << "," << y;
            }
        }
    DeleteObject(font);
}

TEST(TextOut, ColourTargetsGetTheColourAndOpaqueCellsTheBackground)
{
    HFONT font = MakeFont("MS UI Gothic", SHIFTJIS_CHARSET, -16);
    ASSERT_NE(font, nullptr);
    for (int bpp : {3, 4}) {
        TPlane plane(64, 24, bpp, 0x11);
        HDC dc = CreateTargetDC(plane.Target());
        SelectObject(dc, font);
        SetTextColor(dc, RGB(200, 100, 50));
        SetBkColor(dc, RGB(1, 2, 3));
        SetBkMode(dc, OPAQUE);
        ASSERT_TRUE(TextOut(dc, 4, 2, "\x8A\xBF" "A", 3));  // 16 + 8 = 24 wide, 16 high
        ReleaseTargetDC(dc);
        int ink = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 64; ++x) {
                const uint8_t* p = plane.At(x, y);
                const bool inBox = x >= 4 && x < 28 && y >= 2 && y < 18;
                if (!inBox) {
                    ASSERT_EQ(p[0], 0x11);
                    continue;
                }
                if (bpp == 4) {
                    ASSERT_EQ(p[3], 0x11);  // the fourth byte is left alone
                }
                const bool text = p[0] == 50 && p[1] == 100 && p[2] == 200;
                const bool back = p[0] == 3 && p[1] == 2 && p[2] == 1;
                ASSERT_TRUE(text || back) << x << "," << y;
                ink += text;
            }
        EXPECT_GT(ink, 20);
    }
    DeleteObject(font);
}

TEST(TFont, SizeHeightAndHandleFollowTheFields)
{
    TFont font;
    font.SetSize(18);
    EXPECT_EQ(font.Height, -24);
    EXPECT_EQ(font.GetSize(), 18);
    font.Charset = SHIFTJIS_CHARSET;
    HFONT first = font.GetHandle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(font.GetHandle(), first);
    TFont other;
    other.Assign(&font);
    other.Style << fsBold;
    EXPECT_EQ(other.Height, -24);
    EXPECT_TRUE(other.Style.Contains(fsBold));
    EXPECT_FALSE(font.Style.Contains(fsBold));
    ASSERT_NE(other.GetHandle(), nullptr);
}

TEST(TextOut, ThreadsDrawingAtOnceGetTheSamePixels)
{
    auto draw = [](std::vector<uint8_t>& out, uint8_t charset, const std::string& face, const std::string& text) {
        HFONT font = MakeFont(face, charset, -20);
        ASSERT_NE(font, nullptr);
        out.assign(160 * 24, 0);
        HDC dc = CreateTargetDC({out.data(), 160, 160, 24, 1});
        SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOut(dc, 0, 0, text.data(), int(text.size()));
        ReleaseTargetDC(dc);
        DeleteObject(font);
    };
    std::vector<uint8_t> japanese, chinese;
    draw(japanese, SHIFTJIS_CHARSET, "MS UI Gothic", Cp932Text);
    draw(chinese, GB2312_CHARSET, "FZShaoEr-M11", Cp936Text);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                std::vector<uint8_t> out;
                if (t % 2 == 0) {
                    draw(out, SHIFTJIS_CHARSET, "MS UI Gothic", Cp932Text);
                    mismatches += out != japanese;
                } else {
                    draw(out, GB2312_CHARSET, "FZShaoEr-M11", Cp936Text);
                    mismatches += out != chinese;
                }
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}
