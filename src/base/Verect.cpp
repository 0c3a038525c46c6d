#include "base/Verect.h"

#include <algorithm>

bool TVeRect::IntersectRect(const TVeRect& a, const TVeRect& b)
{
    if (a.IsRectEmpty() || b.IsRectEmpty()) {
        SetRectEmpty();
        return false;
    }
    TVeRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    if (r.IsRectEmpty()) {
        SetRectEmpty();
        return false;
    }
    *this = r;
    return true;
}

bool TVeRect::UnionRect(const TVeRect& a, const TVeRect& b)
{
    if (a.IsRectEmpty() && b.IsRectEmpty()) {
        SetRectEmpty();
        return false;
    }
    if (a.IsRectEmpty()) {
        *this = b;
        return true;
    }
    if (b.IsRectEmpty()) {
        *this = a;
        return true;
    }
    *this = TVeRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                    std::max(a.bottom, b.bottom)};
    return true;
}

bool TVeRect::SubtractRect(const TVeRect& a, const TVeRect& b)
{
    TVeRect r = a;
    if (b.left <= a.left && b.right >= a.right) {
        if (b.top <= a.top && a.top < b.bottom) {
            if (b.bottom >= a.bottom)
                r.SetRectEmpty();
            else
                r.top = b.bottom;
        } else if (a.top < b.top && b.top < a.bottom && a.bottom <= b.bottom) {
            r.bottom = b.top;
        }
    } else if (b.top <= a.top && b.bottom >= a.bottom) {
        if (b.left <= a.left && a.left < b.right) {
            if (b.right >= a.right)
                r.SetRectEmpty();
            else
                r.left = b.right;
        } else if (a.left < b.left && b.left < a.right && a.right <= b.right) {
            r.right = b.left;
        }
    }
    *this = r;
    return true;
}
