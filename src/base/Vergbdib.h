#pragma once
// Buffers that can hand out a text context drawing straight into their pixels: the colour
// buffer of the text panels and the 8-bit plane their anti-aliased text is drawn into (read as
// grey: text drawn in white writes 255).

#include "base/Vealpha.h"
#include "base/Vergbbits.h"

class TVeRGBDib : public TVeRGBBits {
public:
    explicit TVeRGBDib(TComponent* owner) : TVeRGBBits(owner) {}
    // False when not created, for a 16-bit buffer, or when no context can be made.
    bool GetDC(HDC& dc) override;
    void ReleaseDC(HDC dc) override;
};

class TVeAlphaDib : public TVeAlpha {
public:
    explicit TVeAlphaDib(TComponent* owner) : TVeAlpha(owner) {}
    bool GetDC(HDC& dc) override;
    void ReleaseDC(HDC dc) override;
};
