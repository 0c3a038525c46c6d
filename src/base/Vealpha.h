#pragma once
// An 8-bit plane, one byte per pixel: the masks and weights paired with pixel buffers. Every
// operation between planes clips to all the planes it touches; a part that moves off the left
// or top edge moves the other origins with it. Blends round down as in Vergbbits.h.

#include <cstdint>

#include "platform/Classes.h"
#include "platform/Gdi.h"

class TStream;

class TVeAlpha : public TComponent {
public:
    explicit TVeAlpha(TComponent* owner);
    ~TVeAlpha() override;

    bool Created() const { return FCreated; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    uint8_t* Bits() const { return FBits; }
    int Pitch() const { return FPitch; }

    // Stores the size; reallocates cleared storage when created. False for a side below 1 or a
    // failed allocation (the plane then keeps its old size and bytes).
    virtual bool Resize(int width, int height);
    bool SetWidth(int width) { return Resize(width, FHeight); }
    bool SetHeight(int height) { return Resize(FWidth, height); }
    // Cleared storage of Width x Height bytes; false when already created or it cannot be had.
    virtual bool Create();
    virtual void Release();
    virtual bool GetDC(HDC& dc);
    virtual void ReleaseDC(HDC dc);

    bool Fill(uint8_t value);
    // Corners both included, in either order, clipped.
    bool BoxFill(int x1, int y1, int x2, int y2, uint8_t value);
    bool Draw(int dx, int dy, TVeAlpha* src, int sx, int sy, int w, int h);
    // a + (b - a) x alpha / 128 per byte; false when a plane is not created or alpha lies
    // outside 0..128.
    bool AlphaBlend(int x, int y, TVeAlpha* a, int ax, int ay, TVeAlpha* b, int bx, int by, int w, int h,
                    int alpha);
    // Per byte of src: min(m + level, 255), max(m - level, 0), and the soft edge of
    // min(m + level, 255): 0 below 240, else (t - 240) x 17. The level is taken as an unsigned byte.
    bool SAdd(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, int level);
    bool SSub(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, int level);
    bool Extract(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, int level);
    // The byte at (x, y); 0 outside the plane or when not created.
    uint8_t PGet(int x, int y) const;

    // Takes the picture's size, becomes created and holds the plane at (x, y), clipped.
    bool DrawPlane(const uint8_t* plane, int width, int height, int x, int y);
    // Reads a picture as an 8-bit plane (see DecodeAlphaPicture) as DrawPlane does. Masks are
    // grey pictures; the plane is expected to hold the grey (blue) byte of a colour picture and
    // a PNG's alpha channel when it has one. False, with the plane untouched, when decoding fails.
    bool LoadAlphaStream(TStream* stream, int x, int y);

private:
    enum TByteOp { boCopy, boAdd, boSub, boExtract };
    bool ByteOp(int x, int y, TVeAlpha* src, int sx, int sy, int w, int h, TByteOp op, uint8_t level);

    bool FCreated = false;
    int FWidth = 640;
    int FHeight = 480;
    uint8_t* FBits = nullptr;
    int FPitch = 0;
};
