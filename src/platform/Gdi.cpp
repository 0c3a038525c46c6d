#include "platform/Gdi.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include <iconv.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Codepage.h"

namespace {

// Guards the FreeType library and its faces, fontconfig, and the fonts' iconv handles: none
// of them may be used from two threads at once. A leaf lock.
std::mutex& FontMutex()
{
    static std::mutex mutex;
    return mutex;
}

constexpr int MaxEm = 1024;

struct TFaceKey {
    std::string File;
    int Index;
    bool operator<(const TFaceKey& o) const { return File != o.File ? File < o.File : Index < o.Index; }
};

// Faces are opened once and kept for the life of the process; the caller holds FontMutex.
FT_Face OpenFace(const std::string& file, int index)
{
    static FT_Library library = nullptr;
    static std::map<TFaceKey, FT_Face> faces;
    if (!library && FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return nullptr;
    }
    auto it = faces.find({file, index});
    if (it != faces.end())
        return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0)
        return nullptr;
    faces[{file, index}] = face;
    return face;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Face names the program asks for, mapped to installed faces. The fixed-cell (Mono) faces come
// first: their half-width characters fit the half-em cells the text is laid out in.
std::map<std::string, std::vector<std::string>>& Aliases()
{
    static std::map<std::string, std::vector<std::string>> aliases = [] {
        const std::vector<std::string> japanese = {"Noto Sans Mono CJK JP", "Noto Sans CJK JP"};
        const std::vector<std::string> chinese = {"Noto Sans Mono CJK SC", "Noto Sans CJK SC"};
        std::map<std::string, std::vector<std::string>> a;
        a["default"] = japanese;
        a["ms ui gothic"] = japanese;
        a["ms gothic"] = japanese;
        a["\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF"] = japanese;  // UTF-8
        a["\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E"] = japanese;                          // CP932
        a["fzshaoer-m11"] = chinese;
        return a;
    }();
    return aliases;
}

struct TCharsetInfo {
    int CodePage;  // how the bytes are read (lead bytes, decoder)
    const char* Language;  // for fontconfig
    std::vector<FcChar32> Probe;  // characters a face must have
    const char* Fallback;  // alias used when the asked face lacks the characters
};

const TCharsetInfo* CharsetInfo(uint8_t charset)
{
    static const TCharsetInfo ansi{1252, "en", {'A', 'g', 0xE9}, "default"};
    static const TCharsetInfo japanese{932, "ja", {0x3042, 0x30AB, 0x6F22, 0xFF21}, "ms ui gothic"};
    // Code page 936 rather than GB2312 proper: the latter refuses the extended pairs of GBK text.
    static const TCharsetInfo chinese{936, "zh-cn", {0x4E2D, 0x6C49, 0x3002, 0x5B57}, "fzshaoer-m11"};
    switch (charset) {
    case ANSI_CHARSET: return &ansi;
    case DEFAULT_CHARSET:
    case SHIFTJIS_CHARSET: return &japanese;
    case GB2312_CHARSET: return &chinese;
    default: return nullptr;
    }
}

struct TMatch {
    std::string File;
    int Index = 0;
    std::string Family;
    bool Bold = false;
};

// Asks fontconfig for a family; accepts the match only when it has every probe character and,
// when exact, only when it is that family (fontconfig otherwise substitutes any face).
bool MatchFamily(const std::string& family, const TCharsetInfo& info, const TLogFont& log, bool exact, TMatch& match)
{
    static const bool initialised = [] {
        if (!FcInit())
            return false;
        // Give fontconfig's caches back at exit, so leak checkers see only our own leaks.
        std::atexit([] { FcFini(); });
        return true;
    }();
    if (!initialised)
        return false;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(info.Language));
    FcPatternAddInteger(pattern, FC_WEIGHT, log.Weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    if ((log.PitchAndFamily & 3) == FIXED_PITCH)
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!found)
        return false;
    bool ok = true;
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(found, FC_CHARSET, 0, &charset) != FcResultMatch)
        ok = false;
    for (size_t i = 0; ok && i < info.Probe.size(); ++i)
        ok = FcCharSetHasChar(charset, info.Probe[i]);
    FcChar8* name = nullptr;
    if (ok && exact) {
        ok = false;
        for (int i = 0; FcPatternGetString(found, FC_FAMILY, i, &name) == FcResultMatch; ++i)
            ok = ok || Lower(reinterpret_cast<const char*>(name)) == Lower(family);
    }
    FcChar8* file = nullptr;
    int index = 0, foundWeight = FC_WEIGHT_REGULAR;
    if (ok && FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(found, FC_INDEX, 0, &index);
        FcPatternGetInteger(found, FC_WEIGHT, 0, &foundWeight);
        match.File = reinterpret_cast<const char*>(file);
        match.Index = index;
        match.Bold = foundWeight >= FC_WEIGHT_BOLD;
        match.Family = FcPatternGetString(found, FC_FAMILY, 0, &name) == FcResultMatch
                           ? reinterpret_cast<const char*>(name)
                           : family;
    } else {
        ok = false;
    }
    FcPatternDestroy(found);
    return ok;
}

bool ResolveFace(const std::string& faceName, const TCharsetInfo& info, const TLogFont& log, TMatch& match)
{
    auto& aliases = Aliases();
    auto alias = aliases.find(Lower(faceName));
    if (alias == aliases.end()) {
        if (!faceName.empty() && MatchFamily(faceName, info, log, false, match))
            return true;
        alias = aliases.find(info.Fallback);
    }
    for (const std::string& family : alias->second)
        if (MatchFamily(family, info, log, true, match))
            return true;
    return false;
}

}  // namespace

class TGdiFont {
public:
    TLogFont Log;
    FT_Face Face = nullptr;
    std::string Family;
    int Em = 0;
    bool SyntheticBold = false;
    iconv_t Decoder = reinterpret_cast<iconv_t>(-1);
    int CodePage = 1252;

    ~TGdiFont()
    {
        if (Decoder != reinterpret_cast<iconv_t>(-1))
            iconv_close(Decoder);
    }

    // The Unicode character of one or two bytes, or 0 when they do not decode. Caller holds
    // FontMutex.
    uint32_t Decode(const char* bytes, size_t length)
    {
        iconv(Decoder, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(bytes);
        uint8_t out[8] = {};
        char* outPointer = reinterpret_cast<char*>(out);
        size_t inLeft = length, outLeft = sizeof out;
        if (iconv(Decoder, &in, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
            outLeft != 4)
            return 0;
        return static_cast<uint32_t>(out[0]) | (static_cast<uint32_t>(out[1]) << 8) |
               (static_cast<uint32_t>(out[2]) << 16) | (static_cast<uint32_t>(out[3]) << 24);
    }
};

class TDeviceContext {
public:
    TPixelTarget Target;
    HFONT Font = nullptr;
    COLORREF TextColour = 0;
    COLORREF BackColour = 0xFFFFFF;
    int BackMode = OPAQUE;

    void FillRect(int x1, int y1, int x2, int y2, COLORREF colour);
    void Plot(int x, int y, COLORREF colour);
};

HFONT CreateFontIndirect(const TLogFont& logFont)
{
    const int64_t em = logFont.Height == 0 ? 12 : std::abs(static_cast<int64_t>(logFont.Height));
    const TCharsetInfo* info = CharsetInfo(logFont.CharSet);
    if (!info || em > MaxEm) {
        std::fprintf(stderr, "Font \"%s\": unsupported character set %d or size %d\n",
                     ProgramTextToUtf8(logFont.FaceName).c_str(), logFont.CharSet, logFont.Height);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(FontMutex());
    TMatch match;
    FT_Face face = nullptr;
    if (ResolveFace(logFont.FaceName, *info, logFont, match))
        face = OpenFace(match.File, match.Index);
    if (!face) {
        std::fprintf(stderr, "Font \"%s\": no installed face has its characters\n",
                     ProgramTextToUtf8(logFont.FaceName).c_str());
        return nullptr;
    }
    const char* encoding = CodePageName(info->CodePage);
    iconv_t decoder = iconv_open("UTF-32LE", encoding);
    if (decoder == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "Font \"%s\": no decoder for %s\n", ProgramTextToUtf8(logFont.FaceName).c_str(),
                     encoding);
        return nullptr;
    }
    auto* font = new TGdiFont;
    font->Log = logFont;
    font->Face = face;
    font->Family = match.Family;
    font->Em = static_cast<int>(em);
    font->SyntheticBold = logFont.Weight >= 600 && !match.Bold;
    font->Decoder = decoder;
    font->CodePage = info->CodePage;
    return font;
}

bool DeleteObject(HFONT font)
{
    if (!font)
        return false;
    std::lock_guard<std::mutex> lock(FontMutex());
    delete font;
    return true;
}

std::string GetFontFamily(HFONT font)
{
    return font ? font->Family : std::string();
}

void AddFontAlias(const std::string& faceName, const std::vector<std::string>& families)
{
    std::lock_guard<std::mutex> lock(FontMutex());
    Aliases()[Lower(faceName)] = families;
}

HDC CreateTargetDC(const TPixelTarget& target)
{
    if (!target.Bits || target.Width < 1 || target.Height < 1 ||
        (target.BytesPerPixel != 1 && target.BytesPerPixel != 3 && target.BytesPerPixel != 4) ||
        std::abs(static_cast<int64_t>(target.Pitch)) < static_cast<int64_t>(target.Width) * target.BytesPerPixel)
        return nullptr;
    auto* dc = new TDeviceContext;
    dc->Target = target;
    return dc;
}

void ReleaseTargetDC(HDC dc)
{
    delete dc;
}

HFONT SelectObject(HDC dc, HFONT font)
{
    if (!dc)
        return nullptr;
    HFONT previous = dc->Font;
    dc->Font = font;
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF colour)
{
    if (!dc)
        return 0;
    COLORREF previous = dc->TextColour;
    dc->TextColour = colour & 0xFFFFFF;
    return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF colour)
{
    if (!dc)
        return 0;
    COLORREF previous = dc->BackColour;
    dc->BackColour = colour & 0xFFFFFF;
    return previous;
}

int SetBkMode(HDC dc, int mode)
{
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int previous = dc->BackMode;
    dc->BackMode = mode;
    return previous;
}

void TDeviceContext::Plot(int x, int y, COLORREF colour)
{
    if (x < 0 || y < 0 || x >= Target.Width || y >= Target.Height)
        return;
    uint8_t* p = Target.Bits + static_cast<int64_t>(y) * Target.Pitch + static_cast<int64_t>(x) * Target.BytesPerPixel;
    if (Target.BytesPerPixel == 1) {
        // The plane's palette is grey i at index i: the nearest entry is the colour's luma.
        *p = static_cast<uint8_t>((GetRValue(colour) * 77 + GetGValue(colour) * 150 + GetBValue(colour) * 29) >> 8);
    } else {
        p[0] = GetBValue(colour);
        p[1] = GetGValue(colour);
        p[2] = GetRValue(colour);
    }
}

void TDeviceContext::FillRect(int x1, int y1, int x2, int y2, COLORREF colour)
{
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, Target.Width);
    y2 = std::min(y2, Target.Height);
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x)
            Plot(x, y, colour);
}

namespace {

// The width of the cells of a string: half an em per byte, a lead byte and its trail byte
// together one em (a lead byte at the end counts alone).
int64_t CellWidth(HFONT font, const char* text, int count)
{
    int64_t width = 0;
    for (int i = 0; i < count; ++i) {
        if (IsLeadByteIn(font->CodePage, static_cast<uint8_t>(text[i])) && i + 1 < count) {
            width += font->Em;
            ++i;
        } else {
            width += font->Em / 2;
        }
    }
    return width;
}

// Where the baseline lies below the top of the line box: CJK faces draw their ideographs in a
// box from 0.88 em above the baseline to 0.12 em below, so this keeps them inside the line.
int BaselineOffset(int em)
{
    return (em * 88 + 50) / 100;
}

}  // namespace

bool GetTextExtentPoint32(HDC dc, const char* text, int count, TSize* size)
{
    if (!dc || !dc->Font || !size || count < 0 || (count > 0 && !text))
        return false;
    const int64_t width = CellWidth(dc->Font, text, count);
    size->cx = static_cast<int>(std::min<int64_t>(width, INT32_MAX));
    size->cy = dc->Font->Em;
    return true;
}

bool TextOut(HDC dc, int x, int y, const char* text, int count)
{
    if (!dc || !dc->Font || count < 0 || (count > 0 && !text))
        return false;
    HFONT font = dc->Font;
    const int em = font->Em;
    // The drawing box: the string's cells, in 64-bit so that far positions cannot wrap.
    const int64_t boxLeft = x, boxTop = y;
    const int64_t boxRight = boxLeft + CellWidth(font, text, count), boxBottom = boxTop + em;
    const int clipLeft = static_cast<int>(std::clamp<int64_t>(boxLeft, 0, dc->Target.Width));
    const int clipRight = static_cast<int>(std::clamp<int64_t>(boxRight, 0, dc->Target.Width));
    const int clipTop = static_cast<int>(std::clamp<int64_t>(boxTop, 0, dc->Target.Height));
    const int clipBottom = static_cast<int>(std::clamp<int64_t>(boxBottom, 0, dc->Target.Height));
    if (dc->BackMode == OPAQUE)
        dc->FillRect(clipLeft, clipTop, clipRight, clipBottom, dc->BackColour);
    if (clipLeft >= clipRight || clipTop >= clipBottom)
        return true;
    const int64_t baseline = boxTop + BaselineOffset(em);

    std::lock_guard<std::mutex> lock(FontMutex());
    FT_Face face = font->Face;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0)
        return false;
    FT_Matrix shear = {0x10000, font->Log.Italic ? 0x3800 : 0, 0, 0x10000};
    FT_Set_Transform(face, &shear, nullptr);

    int64_t penX = boxLeft;
    for (int i = 0; i < count; ++i) {
        const bool pair = IsLeadByteIn(font->CodePage, static_cast<uint8_t>(text[i])) && i + 1 < count;
        const int cell = pair ? em : em / 2;
        const uint32_t code = font->Decode(text + i, pair ? 2 : 1);
        if (pair)
            ++i;
        const FT_UInt glyph = code ? FT_Get_Char_Index(face, code) : 0;
        if (code > ' ' && glyph != 0 &&
            FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) == 0) {
            if (font->SyntheticBold)
                FT_GlyphSlot_Embolden(face->glyph);
            if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) == 0) {
                const FT_Bitmap& bitmap = face->glyph->bitmap;
                // A face's half-width glyph may be narrower or wider than its cell: centre it.
                const int64_t advance = face->glyph->advance.x >> 6;
                const int64_t left = penX + (cell - advance) / 2 + face->glyph->bitmap_left;
                const int64_t top = baseline - face->glyph->bitmap_top;
                for (unsigned row = 0; row < bitmap.rows; ++row) {
                    const int64_t py = top + row;
                    if (py < clipTop || py >= clipBottom)
                        continue;
                    const uint8_t* bits = bitmap.buffer + static_cast<int64_t>(row) * bitmap.pitch;
                    for (unsigned column = 0; column < bitmap.width; ++column) {
                        const int64_t px = left + column;
                        if (px < clipLeft || px >= clipRight)
                            continue;
                        const bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                            ? (bits[column >> 3] >> (7 - (column & 7))) & 1
                                            : bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bits[column] >= 128;
                        if (on)
                            dc->Plot(static_cast<int>(px), static_cast<int>(py), dc->TextColour);
                    }
                }
            }
        }
        penX += cell;
    }
    FT_Set_Transform(face, nullptr, nullptr);

    const int thickness = std::max(1, em / 16);
    auto line = [&](int64_t top) {
        dc->FillRect(clipLeft, static_cast<int>(std::clamp<int64_t>(top, clipTop, clipBottom)), clipRight,
                     static_cast<int>(std::clamp<int64_t>(top + thickness, clipTop, clipBottom)), dc->TextColour);
    };
    if (font->Log.Underline)
        line(baseline + 1);
    if (font->Log.StrikeOut)
        line(baseline - em / 3);
    return true;
}
