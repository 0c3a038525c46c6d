#pragma once
// Text output in place of GDI: a device context draws text into any pixel buffer or 8-bit plane.
//
// Glyphs are always drawn without anti-aliasing: every pixel is either the text colour or left
// alone (or the background colour in opaque mode), so an 8-bit plane gets only two values.
// Text is a byte string in the font's character set. Cells are fixed whatever the face's own
// advances: a single-byte character takes half an em, a double-byte character one em, and a
// line is one em high (em = the font's character height in pixels). A context draws only
// inside the string's cell box and inside the target.

#include <cstdint>
#include <string>
#include <vector>

// Pixels a device context draws into: BytesPerPixel 1 is an 8-bit plane (grey index), 3 and 4
// are blue, green, red (and a fourth byte). Pitch may be negative.
struct TPixelTarget {
    uint8_t* Bits = nullptr;
    int Pitch = 0;
    int Width = 0;
    int Height = 0;
    int BytesPerPixel = 0;
};

class TDeviceContext;
using HDC = TDeviceContext*;

class TGdiFont;
using HFONT = TGdiFont*;

// Colours as 0x00BBGGRR.
using COLORREF = uint32_t;
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>(c >> 16); }

// Character sets: the bytes of a string are decoded by these. DEFAULT_CHARSET is the system
// code page, which for this program is Shift-JIS (its own strings are written in it).
constexpr uint8_t ANSI_CHARSET = 0;
constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t SHIFTJIS_CHARSET = 128;
constexpr uint8_t GB2312_CHARSET = 134;

constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;

constexpr uint8_t DEFAULT_QUALITY = 0;
constexpr uint8_t NONANTIALIASED_QUALITY = 3;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

struct TLogFont {
    int Height = 0;  // negative: the character height in pixels; positive: the cell height, same here
    int Weight = FW_NORMAL;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    uint8_t CharSet = DEFAULT_CHARSET;
    uint8_t Quality = DEFAULT_QUALITY;
    uint8_t PitchAndFamily = DEFAULT_PITCH;
    std::string FaceName;  // UTF-8, or the face's name in its character set's bytes
};

struct TSize {
    int cx = 0;
    int cy = 0;
};

// A context drawing into the target's pixels (which must outlive it); null on failure.
HDC CreateTargetDC(const TPixelTarget& target);
void ReleaseTargetDC(HDC dc);

// A font resolved to an installed face; null (with a line on standard error) when no installed
// face has the characters of its character set, or the character set is not supported.
HFONT CreateFontIndirect(const TLogFont& logFont);
// Deletes a font; a font still selected into a context must not be deleted.
bool DeleteObject(HFONT font);
// Selects a font (null selects none) and returns the one selected before.
HFONT SelectObject(HDC dc, HFONT font);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
// TRANSPARENT leaves the background; OPAQUE (the initial mode) fills the string's cells first.
int SetBkMode(HDC dc, int mode);
// Draws count bytes of text with the top-left corner of its first cell at (x, y); false
// without a context or a selected font.
bool TextOut(HDC dc, int x, int y, const char* text, int count);
bool GetTextExtentPoint32(HDC dc, const char* text, int count, TSize* size);

// The face name and family a font was resolved to, for diagnostics and tests.
std::string GetFontFamily(HFONT font);

// Adds (or replaces) an alias: a face name resolved to the first installed of the families.
void AddFontAlias(const std::string& faceName, const std::vector<std::string>& families);
