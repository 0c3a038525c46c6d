#include "base/Verectset.h"

#include <algorithm>

namespace {

// Appends the parts of a outside b (up to four bands: above, below, left, right).
void AppendDifference(const TVeRect& a, const TVeRect& b, std::vector<TVeRect>& out)
{
    TVeRect overlap;
    if (!overlap.IntersectRect(a, b)) {
        out.push_back(a);
        return;
    }
    if (a.top < overlap.top)
        out.push_back(TVeRect{a.left, a.top, a.right, overlap.top});
    if (overlap.bottom < a.bottom)
        out.push_back(TVeRect{a.left, overlap.bottom, a.right, a.bottom});
    if (a.left < overlap.left)
        out.push_back(TVeRect{a.left, overlap.top, overlap.left, overlap.bottom});
    if (overlap.right < a.right)
        out.push_back(TVeRect{overlap.right, overlap.top, a.right, overlap.bottom});
}

}  // namespace

void TVeRectSet::UnionRect(const TVeRect& r)
{
    if (r.IsRectEmpty())
        return;
    // Only the parts of r not yet covered are added, so the set stays disjoint.
    std::vector<TVeRect> pieces{r};
    std::vector<TVeRect> next;
    for (const TVeRect& existing : FRects) {
        next.clear();
        for (const TVeRect& piece : pieces)
            AppendDifference(piece, existing, next);
        pieces.swap(next);
        if (pieces.empty())
            return;
    }
    FRects.insert(FRects.end(), pieces.begin(), pieces.end());
}

void TVeRectSet::UnionRectSet(const TVeRectSet& s)
{
    if (&s == this)
        return;
    for (const TVeRect& r : s.FRects)
        UnionRect(r);
}

void TVeRectSet::SubtractRect(const TVeRect& r)
{
    if (r.IsRectEmpty() || FRects.empty())
        return;
    std::vector<TVeRect> result;
    result.reserve(FRects.size() + 4);
    for (const TVeRect& existing : FRects)
        AppendDifference(existing, r, result);
    FRects.swap(result);
}

void TVeRectSet::IntersectRect(const TVeRect& r)
{
    size_t kept = 0;
    for (const TVeRect& existing : FRects) {
        TVeRect part;
        if (part.IntersectRect(existing, r))
            FRects[kept++] = part;
    }
    FRects.resize(kept);
}

void TVeRectSet::OffsetRect(int dx, int dy)
{
    for (TVeRect& r : FRects)
        r.OffsetRect(dx, dy);
}

TVeRect TVeRectSet::Bounds() const
{
    TVeRect bounds;
    for (const TVeRect& r : FRects)
        bounds.UnionRect(bounds, r);
    return bounds;
}

long long TVeRectSet::Area() const
{
    long long area = 0;
    for (const TVeRect& r : FRects)
        area += static_cast<long long>(r.Width()) * r.Height();
    return area;
}
