#pragma once
// The pixel buffer every drawing routine targets. Pixels of 24- and 32-bit buffers are stored
// blue, green, red (and a fourth byte); rows are Pitch bytes apart (Pitch may be negative for a
// subclass whose storage is bottom-up).
//
// Rounding of every blend: the result is the exact quotient rounded down (toward minus
// infinity). a + (b - a) x l / 128 is computed as (a x (128 - l) + b x l) / 128 and
// d + (s - d) x m / 255 as (d x (255 - m) + s x m) / 255, both with non-negative sums, which
// is the same thing and needs no signed arithmetic in the pixel loops.
//
// Blits clip to the destination and, where an operation says so, to the sources and the alpha
// plane; a part that moves off the left or top edge moves every other origin with it. Every
// operation that writes pixels adds the rectangle it wrote to the modified-rectangle record.

#include <cstdint>
#include <initializer_list>

#include "base/Verectset.h"
#include "base/Vergbcolor.h"
#include "platform/Classes.h"
#include "platform/Gdi.h"

class TStream;
class TVeAlpha;

class TVeRGBBits : public TComponent {
public:
    explicit TVeRGBBits(TComponent* owner);
    ~TVeRGBBits() override;

    bool Created() const { return FCreated; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    TBitDepth BitDepth() const { return FBitDepth; }
    TPixFormat PixFormat() const { return FPixFormat; }
    // Row 0 of the pixels and the signed distance between rows in bytes; valid while created
    // (for a display surface only while locked).
    uint8_t* Bits() const { return FBits; }
    int Pitch() const { return FPitch; }

    // Stores the depth (ignored once created); a pixel format that no longer fits becomes the
    // depth's working format (bd24 pf24_888, bd32 pf32_888, bd16 pf16_565).
    virtual void SetBitDepth(TBitDepth depth);
    // Stores the format and its depth (ignored once created or for pfNone).
    virtual void SetPixFormat(TPixFormat format);
    // Stores the size; reallocates zeroed storage when created. False for a side below 1 or a
    // failed allocation (the buffer then keeps its old size and pixels).
    virtual bool Resize(int width, int height);
    bool SetWidth(int width) { return Resize(width, FHeight); }
    bool SetHeight(int height) { return Resize(FWidth, height); }
    // Zeroed storage of Width x Height pixels; false when already created or it cannot be had.
    virtual bool Create();
    virtual void Release();
    // A nested lock of the pixels; false when not created.
    virtual bool Lock();
    virtual void Unlock();
    int LockCount() const { return FLockCount; }
    // A text context on the pixels, where the buffer has one; this plain buffer has none.
    virtual bool GetDC(HDC& dc);
    virtual void ReleaseDC(HDC dc);

    // What was drawn since the record was last cleared, in this buffer's coordinates.
    const TVeRectSet& ModifyRect() const { return FModifyRect; }
    void ClearModifyRect() { FModifyRect.SetRectEmpty(); }

    bool Cls();
    // Corners both included, in either order, clipped; colour is 0x00RRGGBB.
    bool BoxFill(int x1, int y1, int x2, int y2, uint32_t colour);

    // The source rectangle must lie inside src; the destination is clipped.
    bool Draw(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h);
    bool Draw(TVeRGBBits* dest);
    // As Draw, the source rectangle first clipped to src (negative positions allowed).
    bool ClipDraw(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h);
    // As Draw from a buffer of any pixel format.
    bool ConvertCopy(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h);
    // As Draw, leaving out source pixels equal to key (compared on blue, green, red).
    bool DrawKey(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h, TVeRGB key);

    // Blends src over this buffer by the alpha byte at the same source position (0 keeps, 255
    // copies); clipped to the alpha plane, src and this buffer.
    bool DrawAlphaMask(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h, TVeAlpha* alpha);
    // src1 where the plane's byte is 0, src2 where it is 255; the plane is read at the
    // destination position. Clipped to every buffer and the plane.
    bool DrawAlphaMask(int x, int y, TVeRGBBits* src1, int sx1, int sy1, TVeRGBBits* src2, int sx2,
                       int sy2, int w, int h, TVeAlpha* alpha);
    // As the first DrawAlphaMask with each alpha byte first scaled by level / 128 (0..128).
    bool DrawDoubleAlphaMask(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h,
                             TVeAlpha* alpha, int level);
    // src1 + (src2 - src1) x level / 128 into (x, y); level 0..128; clipped to all three.
    bool AlphaBlend(int x, int y, TVeRGBBits* src1, int sx1, int sy1, TVeRGBBits* src2, int sx2,
                    int sy2, int w, int h, int level);
    // The same with this buffer's own region as the first source.
    bool AlphaBlend(int x, int y, TVeRGBBits* src, int sx, int sy, int w, int h, int level);
    // Adds src per byte, saturating at 255; clipped to both buffers.
    bool SaturationAdd(int x, int y, TVeRGBBits* src, int sx, int sy, int w, int h);

    // Each channel c becomes min(c x k / 128, 255) with k the matching byte of 0x00RRGGBB.
    bool ToneChange(int x1, int y1, int x2, int y2, uint32_t tone);
    bool Sepia(int x1, int y1, int x2, int y2);
    bool Monochrome(int x1, int y1, int x2, int y2);
    bool Negative(int x1, int y1, int x2, int y2);

    // Copies the region out as packed rows of w pixels in this format; the region must lie
    // inside the buffer.
    bool GetPat(int x, int y, int w, int h, void* dst);
    // 0x00RRGGBB of a pixel; 0 outside the buffer or when not created.
    uint32_t PGet(int x, int y);

    // Puts a top-down blue, green, red picture at (x, y), clipped, converting to this format;
    // an uncreated buffer is first created at the picture's size.
    bool DrawPicture(const uint8_t* bgr, int width, int height, int x, int y);

    // Decoders: each reads from the stream's current position into the buffer at (x, y) as
    // DrawPicture does; false (and nothing drawn) when the data cannot be decoded.
    bool DrawBmpStream(TStream* stream, int x, int y);
    // failure, when given, receives why a picture was refused.
    bool DrawJpegStream(TStream* stream, int x, int y, std::string* failure = nullptr);
    // The PNG's alpha channel, when it has one, goes into alpha at (0, 0), which takes the
    // picture's size; without an alpha channel the plane is left alone. failure as above.
    bool DrawPngStream(TStream* stream, int x, int y, TVeAlpha* alpha, std::string* failure = nullptr);
    // As DrawPngStream, the colours taken back from a white matte.
    bool DrawPngWMStream(TStream* stream, int x, int y, TVeAlpha* alpha, std::string* failure = nullptr);
    bool DrawGnyStream(TStream* stream, int x, int y, const uint8_t* keyTable);

protected:
    // For subclasses whose storage is not ours (a display surface publishes these on lock).
    void SetStorage(uint8_t* bits, int pitch)
    {
        FBits = bits;
        FPitch = pitch;
    }
    void SetCreated(bool created) { FCreated = created; }
    void MarkModified(const TVeRect& r) { FModifyRect.UnionRect(r); }
    // A text context over the pixels, held locked until ReleasePixelDC: what the buffers that
    // have a device context (the DIB buffer, the display surface) hand out from GetDC.
    bool OpenPixelDC(HDC& dc);
    void ReleasePixelDC(HDC dc);

private:
    struct TBlendSource;
    bool BlitChecks(TVeRGBBits* src, int sx, int sy, int w, int h) const;
    // Clips a w x h blit at (x, y) to this buffer and every source, locks the buffers, hands
    // each row to row(to, from, w) in a safe order (see TBlitRows) and records what was drawn.
    // True when nothing is left to draw; false when a buffer cannot be locked.
    template <class TRow>
    bool BlendRows(int x, int y, std::initializer_list<TBlendSource> sources, int w, int h, TRow&& row);
    bool CopyRows(int dx, int dy, TVeRGBBits* src, int sx, int sy, int w, int h, bool convert);
    bool RectOp(int x1, int y1, int x2, int y2, int op, uint32_t value);

    bool FCreated = false;
    int FWidth = 640;
    int FHeight = 480;
    TBitDepth FBitDepth = bd24;
    TPixFormat FPixFormat = pf24_888;
    uint8_t* FBits = nullptr;
    int FPitch = 0;
    int FLockCount = 0;
    bool FOwnStorage = false;
    TVeRectSet FModifyRect;
};
