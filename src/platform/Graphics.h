#pragma once
// The class library's font description. Its handle is made on demand and remade when a field
// changed since; the font owns it.

#include <cstdint>
#include <string>

#include "platform/Classes.h"
#include "platform/Gdi.h"

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

class TFontStyles {
public:
    TFontStyles() = default;
    TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (TFontStyle s : styles)
            Include(s);
    }
    bool Contains(TFontStyle s) const { return FBits & (1u << s); }
    TFontStyles& Include(TFontStyle s) { FBits |= 1u << s; return *this; }
    TFontStyles& Exclude(TFontStyle s) { FBits &= ~(1u << s); return *this; }
    TFontStyles& operator<<(TFontStyle s) { return Include(s); }
    TFontStyles& operator>>(TFontStyle s) { return Exclude(s); }
    bool operator==(const TFontStyles&) const = default;

private:
    uint32_t FBits = 0;
};

enum TFontPitch { fpDefault, fpVariable, fpFixed };

using TColor = int32_t;  // 0x00BBGGRR
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

using TFontCharset = uint8_t;

class TFont : public TObject {
public:
    TFont() = default;
    ~TFont() override;
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;

    // Copies every field of source (not its handle).
    void Assign(const TFont* source);

    // Point size at 96 pixels per inch, from and to the character height.
    int GetSize() const;
    void SetSize(int points);

    // The font's handle, made from the current fields; null when no face fits (logged).
    HFONT GetHandle();

    int Height = -12;  // negative: character height in pixels
    std::string Name = "Default";
    TFontCharset Charset = DEFAULT_CHARSET;
    TFontStyles Style;
    TFontPitch Pitch = fpDefault;
    TColor Color = clBlack;

private:
    TLogFont LogFont() const;

    HFONT FHandle = nullptr;
    TLogFont FHandleLog;
};
