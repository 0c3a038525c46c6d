#pragma once
// A set of pairwise disjoint, non-empty rectangles: the dirty-region type. The rectangles keep
// the order in which the operations leave them (new area is appended), which is the order the
// renderer and the flip walk them in.

#include <cstddef>
#include <vector>

#include "base/Verect.h"

class TVeRectSet {
public:
    TVeRectSet() { FRects.reserve(16); }

    void UnionRect(const TVeRect& r);
    void UnionRectSet(const TVeRectSet& s);
    void SubtractRect(const TVeRect& r);
    void IntersectRect(const TVeRect& r);
    void OffsetRect(int dx, int dy);
    void SetRectEmpty() { FRects.clear(); }
    bool IsRectEmpty() const { return FRects.empty(); }

    int Count() const { return static_cast<int>(FRects.size()); }
    const TVeRect& operator[](int index) const { return FRects[static_cast<size_t>(index)]; }
    std::vector<TVeRect>::const_iterator begin() const { return FRects.begin(); }
    std::vector<TVeRect>::const_iterator end() const { return FRects.end(); }

    // The bounding rectangle of the whole set; empty for an empty set.
    TVeRect Bounds() const;
    operator TVeRect() const { return Bounds(); }
    long long Area() const;

private:
    std::vector<TVeRect> FRects;
};
