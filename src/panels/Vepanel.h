#pragma once
// The window panel: a class-library panel for forms that draw their own content. It can leave
// its background unerased and unfilled, hands paint messages to a user handler when one is set,
// and reports the mouse entering and leaving it. No screen of the game places one, and there
// is no window system here: a host delivers the messages by calling the handlers below, and a
// paint or erase message carries the pixel buffer to paint into. It stands apart from the
// pixel-panel tree.

#include <cstdint>
#include <functional>
#include <string>

#include "base/Vergbbits.h"
#include "platform/Classes.h"
#include "platform/Graphics.h"

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// The fixed system colours a panel paints with (0x00BBGGRR).
constexpr TColor clBtnFace = 0xC0C0C0;
constexpr TColor clBtnHighlight = 0xFFFFFF;
constexpr TColor clBtnShadow = 0x808080;

struct TMessage {
    int64_t Result = 0;
};
struct TWMPaint {
    TVeRGBBits* Canvas = nullptr;
    int64_t Result = 0;
};
struct TWMEraseBkgnd {
    TVeRGBBits* Canvas = nullptr;
    int64_t Result = 0;
};

using TUserPaintEvent = std::function<void(TObject* Sender, TWMPaint& Message)>;

// The class library's panel, reduced to what the window panel paints with. Its area is
// (0, 0, Width, Height) of the canvas a paint message brings.
class TPanel : public TComponent {
public:
    explicit TPanel(TComponent* Owner);
    ~TPanel() override;

    // Counts the repaints asked for; a host repaints when it changes.
    void Invalidate() { ++FInvalidateCount; }
    int InvalidateCount() const { return FInvalidateCount; }

    virtual void WMPaint(TWMPaint& Message);
    // Counts the background as erased after filling it with Color.
    virtual void WMEraseBkgnd(TWMEraseBkgnd& Message);
    virtual void CMMouseEnter(TMessage&) {}
    virtual void CMMouseLeave(TMessage&) {}

    int Width = 185;
    int Height = 41;
    TBevelCut BevelOuter = bvRaised;
    TBevelCut BevelInner = bvNone;
    int BevelWidth = 1;
    int BorderWidth = 0;
    TColor Color = clBtnFace;
    std::string Caption;
    TAlignment Alignment = taCenter;
    TFont* Font;
    // Set while a designer edits the form; nothing here designs, but the painting asks.
    bool Designing = false;

protected:
    // Paints into the canvas of the paint message being handled.
    void PaintHandler(TWMPaint& Message);
    virtual void Paint();
    TVeRGBBits* Canvas() const { return FCanvas; }
    // Draws a frame of the given width inside rect and moves rect inside it: top and left
    // lines in topColour, bottom and right lines in bottomColour.
    void Frame3D(TVeRect& rect, TColor topColour, TColor bottomColour, int width);
    // The outer bevel, the border and the inner bevel; returns the rectangle inside them.
    TVeRect PaintBevels();
    // Fills nothing: draws Caption in Font, aligned by Alignment, centred vertically, clipped to rect.
    void PaintCaption(const TVeRect& rect);

private:
    TVeRGBBits* FCanvas = nullptr;
    int FInvalidateCount = 0;
};

class TVePanel : public TPanel {
public:
    explicit TVePanel(TComponent* Owner);

    bool EraseBkGnd() const { return FEraseBkGnd; }
    void SetEraseBkGnd(bool v);

    void WMPaint(TWMPaint& Message) override;
    // The standard painting, for a user handler that wants it.
    void DefaultPaintHandler(TWMPaint& Message);
    void WMEraseBkgnd(TWMEraseBkgnd& Message) override;
    void CMMouseEnter(TMessage& Message) override;
    void CMMouseLeave(TMessage& Message) override;

    TUserPaintEvent OnUserPaint;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

protected:
    void Paint() override;

private:
    bool FEraseBkGnd = false;
};
