#include "panels/Vepanel.h"

#include <algorithm>
#include <cstddef>

#include "platform/Gdi.h"

namespace {

// TColor is 0x00BBGGRR; the pixel buffers take 0x00RRGGBB.
uint32_t ToRGB(TColor c)
{
    const auto v = static_cast<uint32_t>(c);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

void Fill(TVeRGBBits* canvas, const TVeRect& r, TColor colour)
{
    if (r.right > r.left && r.bottom > r.top)
        canvas->BoxFill(r.left, r.top, r.right - 1, r.bottom - 1, ToRGB(colour));
}

}  // namespace

TPanel::TPanel(TComponent* Owner) : TComponent(Owner), Font(new TFont) {}

TPanel::~TPanel()
{
    delete Font;
}

void TPanel::WMPaint(TWMPaint& Message)
{
    PaintHandler(Message);
}

void TPanel::PaintHandler(TWMPaint& Message)
{
    if (Message.Canvas == nullptr || !Message.Canvas->Created())
        return;
    FCanvas = Message.Canvas;
    Paint();
    FCanvas = nullptr;
}

void TPanel::WMEraseBkgnd(TWMEraseBkgnd& Message)
{
    if (Message.Canvas != nullptr && Message.Canvas->Created())
        Fill(Message.Canvas, VeRect(0, 0, Width, Height), Color);
    Message.Result = 1;
}

void TPanel::Frame3D(TVeRect& rect, TColor topColour, TColor bottomColour, int width)
{
    for (int i = 0; i < width && rect.right > rect.left && rect.bottom > rect.top; ++i) {
        Fill(FCanvas, VeRect(rect.left, rect.top, rect.right - 1, rect.top + 1), topColour);
        Fill(FCanvas, VeRect(rect.left, rect.top, rect.left + 1, rect.bottom - 1), topColour);
        Fill(FCanvas, VeRect(rect.right - 1, rect.top, rect.right, rect.bottom), bottomColour);
        Fill(FCanvas, VeRect(rect.left, rect.bottom - 1, rect.right, rect.bottom), bottomColour);
        rect = VeRect(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1);
    }
}

TVeRect TPanel::PaintBevels()
{
    TVeRect rect = VeRect(0, 0, Width, Height);
    auto bevel = [&](TBevelCut cut) {
        if (cut == bvNone)
            return;
        const bool lowered = cut == bvLowered;
        Frame3D(rect, lowered ? clBtnShadow : clBtnHighlight, lowered ? clBtnHighlight : clBtnShadow, BevelWidth);
    };
    bevel(BevelOuter);
    Frame3D(rect, Color, Color, BorderWidth);
    bevel(BevelInner);
    return rect;
}

void TPanel::Paint()
{
    const TVeRect rect = PaintBevels();
    Fill(FCanvas, rect, Color);
    PaintCaption(rect);
}

void TPanel::PaintCaption(const TVeRect& rect)
{
    TVeRect inside;
    if (Caption.empty() || !inside.IntersectRect(rect, VeRect(0, 0, FCanvas->Width(), FCanvas->Height())))
        return;
    const int bpp = BytesPerPixel(FCanvas->BitDepth());
    if ((bpp != 3 && bpp != 4) || !FCanvas->Lock())
        return;
    // A context over the inside rectangle only, so that the caption is clipped to it.
    TPixelTarget target;
    target.Bits = FCanvas->Bits() + ptrdiff_t(inside.top) * FCanvas->Pitch() + ptrdiff_t(inside.left) * bpp;
    target.Pitch = FCanvas->Pitch();
    target.Width = inside.Width();
    target.Height = inside.Height();
    target.BytesPerPixel = bpp;
    HDC dc = CreateTargetDC(target);
    HFONT font = Font->GetHandle();
    if (dc != nullptr && font != nullptr) {
        HFONT old = SelectObject(dc, font);
        TSize letter, extent;
        GetTextExtentPoint32(dc, "W", 1, &letter);
        const int count = static_cast<int>(std::min<size_t>(Caption.size(), 1u << 20));
        GetTextExtentPoint32(dc, Caption.data(), count, &extent);
        const int offsetX = rect.left - inside.left, offsetY = rect.top - inside.top;
        int x = offsetX;
        if (Alignment == taRightJustify)
            x = offsetX + rect.Width() - extent.cx;
        else if (Alignment == taCenter)
            x = offsetX + (rect.Width() - extent.cx) / 2;
        const int y = offsetY + (rect.Height() - letter.cy) / 2;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, static_cast<COLORREF>(Font->Color));
        TextOut(dc, x, y, Caption.data(), count);
        SelectObject(dc, old);
    }
    if (dc != nullptr)
        ReleaseTargetDC(dc);
    FCanvas->Unlock();
}

TVePanel::TVePanel(TComponent* Owner) : TPanel(Owner)
{
    BevelOuter = bvNone;
    Caption.assign(1, ' ');  // one space
}

void TVePanel::SetEraseBkGnd(bool v)
{
    if (v == FEraseBkGnd)
        return;
    FEraseBkGnd = v;
    Invalidate();
}

void TVePanel::WMPaint(TWMPaint& Message)
{
    if (OnUserPaint)
        OnUserPaint(this, Message);
    else
        TPanel::WMPaint(Message);
}

void TVePanel::DefaultPaintHandler(TWMPaint& Message)
{
    PaintHandler(Message);
}

void TVePanel::WMEraseBkgnd(TWMEraseBkgnd& Message)
{
    if (!FEraseBkGnd && !Designing)
        Message.Result = 1;
    else
        TPanel::WMEraseBkgnd(Message);
}

void TVePanel::CMMouseEnter(TMessage& Message)
{
    if (OnMouseEnter)
        OnMouseEnter(this);
    TPanel::CMMouseEnter(Message);
}

void TVePanel::CMMouseLeave(TMessage& Message)
{
    if (OnMouseLeave)
        OnMouseLeave(this);
    TPanel::CMMouseLeave(Message);
}

void TVePanel::Paint()
{
    const TVeRect rect = PaintBevels();
    // Left unfilled: the user's content stays inside the bevels.
    if (!FEraseBkGnd && !Designing)
        return;
    Fill(Canvas(), rect, Color);
    PaintCaption(rect);
}
