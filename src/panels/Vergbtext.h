#pragma once
// The text panel: renders its Text with a text-layer font into buffers it owns and hands them
// to the panel as its Image (and Alpha), so the tree draws text like any other image.
//
// Plain mode: the text in the text colour on the complementary key colour, drawn with that
// colour key. Anti-aliased mode: the text in white at twice the size into an 8-bit plane, each
// 2 x 2 block averaged into the alpha plane, the colour buffer a solid text colour.

#include <cstdint>
#include <string>

#include "base/Vergbdib.h"
#include "panels/Vergbpanel.h"
#include "platform/Graphics.h"

class TVeRGBText : public TVeRGBPanel {
public:
    explicit TVeRGBText(TComponent* Owner);
    TVeRGBText(TComponent* Owner, TVeRGBPanel* Parent);
    ~TVeRGBText() override;

    // Bytes in the font's character set. Replaces the panel's own Text (kept in step with it),
    // also when set through a TVeRGBPanel*.
    std::string GetText() const override { return TVeRGBPanel::GetText(); }
    void SetText(const std::string& s) override;
    bool AntiAliase() const { return FAntiAliase; }
    void SetAntiAliase(bool v);
    // 0x00RRGGBB; the key colour is its complement.
    uint32_t GetTextColor() const { return FTextColor; }
    void SetTextColor(uint32_t colour);
    int GetTextColorRed() const { return (FTextColor >> 16) & 0xFF; }
    int GetTextColorGreen() const { return (FTextColor >> 8) & 0xFF; }
    int GetTextColorBlue() const { return FTextColor & 0xFF; }
    void SetTextColorRed(int v);
    void SetTextColorGreen(int v);
    void SetTextColorBlue(int v);
    uint32_t KeyColor() const { return FKeyColor; }
    // Character height in pixels.
    int FontSize() const { return FFontSize; }
    void SetFontSize(int v);
    TFont* Font() const { return FFont; }
    void SetFont(TFont* font);
    bool Centering() const { return FCentering; }
    void SetCentering(bool v);

    bool BuffersMade() const { return FBuffersMade; }
    TPixFormat BufferPixFormat() const { return FPixFormat; }
    TVeRGBDib* ColorBuffer() const { return FColorBuffer; }
    TVeAlpha* AlphaPlane() const { return FAlphaPlane; }
    TVeAlphaDib* DoubledPlane() const { return FDoubledPlane; }
    HFONT FontHandle() const { return FFontHandle; }

    void MakeBuffer(TPixFormat format);
    // Builds the buffers for the current mode; false leaves the panel without any.
    bool CreateBuffer();
    void ReleaseBuffer();
    void MakeTextFont();
    void DrawText();
    void ChangeState();

private:
    void InitFields();
    void FreeBuffers();
    void DrawPlain(int x, int y, int count);
    void DrawAntiAliased(int x, int y, int count);

    bool FBuffersMade = false;
    bool FAntiAliase = false;
    uint32_t FTextColor = 0xFFFFFF;
    uint32_t FKeyColor = 0;
    TVeRGBDib* FColorBuffer = nullptr;
    TVeAlpha* FAlphaPlane = nullptr;
    TVeAlphaDib* FDoubledPlane = nullptr;
    HFONT FFontHandle = nullptr;
    int FFontSize = 24;
    TFont* FFont = nullptr;
    TPixFormat FPixFormat = pfNone;
    bool FCentering = false;
};
