#pragma once
// Rectangles are half-open: left and top are inside, right and bottom are one past the last
// column and row. A rectangle is empty when right <= left or bottom <= top; empty rectangles
// of any position are all equally nothing.

struct TVeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }

    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    void SetRectEmpty() { left = top = right = bottom = 0; }
    void OffsetRect(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    bool PtInRect(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }

    bool IntersectRect(const TVeRect& a, const TVeRect& b);
    bool UnionRect(const TVeRect& a, const TVeRect& b);
    // a minus b when the remainder is one rectangle, else a; always true.
    bool SubtractRect(const TVeRect& a, const TVeRect& b);

    bool operator==(const TVeRect&) const = default;
};

inline TVeRect VeRect(int left, int top, int right, int bottom)
{
    return TVeRect{left, top, right, bottom};
}
