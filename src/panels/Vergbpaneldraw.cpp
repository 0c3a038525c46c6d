// Dirty regions, drawing and the animation tick of the panel tree.
//
// A mark travels down from the marked panel into its children, up to the root, and down again
// into every other branch it overlaps, each panel keeping the part inside its own area in its
// own coordinates. Panels that are not created or not visible neither keep nor pass marks.

#include <algorithm>

#include "panels/Vergbpanel.h"

namespace {

TVeRect AreaOf(const TVeRGBPanel* p)
{
    return VeRect(0, 0, p->SizeX(), p->SizeY());
}

bool Shown(const TVeRGBPanel* p)
{
    return p->Created() && p->Visible();
}

void Merge(TVeRectSet* out, const TVeRectSet& part)
{
    out->UnionRectSet(part);
}

void Merge(TVeRect* out, const TVeRect& part)
{
    out->UnionRect(*out, part);
}

void Merge(TVeRect* out, const TVeRectSet& part)
{
    out->UnionRect(*out, part.Bounds());
}

void Clip(TVeRectSet* out, const TVeRect& area)
{
    out->IntersectRect(area);
}

void Clip(TVeRect* out, const TVeRect& area)
{
    out->IntersectRect(*out, area);
}

// The dirty area of a shown subtree in the panel's own coordinates, as a set or as one bounding
// rectangle: each shown child's area offset into the panel, then the panel's own set, all
// clipped to the panel. A panel not shown leaves out untouched.
template <class TArea>
void CollectModified(const TVeRGBPanel* p, TArea* out)
{
    if (!Shown(p))
        return;
    out->SetRectEmpty();
    for (int i = 0; i < p->GetChildCount(); ++i) {
        const TVeRGBPanel* c = p->GetChild(i);
        if (!Shown(c))
            continue;
        TArea part;
        CollectModified(c, &part);
        if (part.IsRectEmpty())
            continue;
        part.OffsetRect(c->OffsetX(), c->OffsetY());
        Merge(out, part);
    }
    Merge(out, p->ModifyRectSet());
    Clip(out, AreaOf(p));
}

}  // namespace

void TVeRGBPanel::SetModify()
{
    SetModifyRect(AreaOf(this));
}

void TVeRGBPanel::SetModifyRect(const TVeRect& r)
{
    // The same travel as a mark from a child, only with no child to skip on the way down.
    SetModifyFromChild(nullptr, r);
}

void TVeRGBPanel::SetModifyToParent()
{
    SetModifyToParent(AreaOf(this));
}

void TVeRGBPanel::SetModifyToParent(const TVeRect& r)
{
    if (FParent == nullptr)
        return;
    TVeRect moved = r;
    moved.OffsetRect(FOffsetX, FOffsetY);
    TVeRect inside;
    if (inside.IntersectRect(moved, AreaOf(FParent)))
        FParent->SetModifyFromChild(this, inside);
}

void TVeRGBPanel::SetModifyToChild(TVeRGBPanel* except)
{
    SetModifyToChild(except, AreaOf(this));
}

void TVeRGBPanel::SetModifyToChild(TVeRGBPanel* except, const TVeRect& r)
{
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c == except)
            continue;
        TVeRect moved = r;
        moved.OffsetRect(-c->FOffsetX, -c->FOffsetY);
        TVeRect inside;
        if (inside.IntersectRect(moved, AreaOf(c)) && !Survives([c, &inside] { c->SetModifyFromParent(inside); }))
            return;
    }
}

void TVeRGBPanel::SetModifyFromParent(const TVeRect& r)
{
    if (!Shown())
        return;
    FModifyRectSet.UnionRect(r);
    if (Survives([this, &r] { SetModifyToChild(nullptr, r); }))
        CallOnChange();
}

void TVeRGBPanel::SetModifyFromChild(TVeRGBPanel* from, const TVeRect& r)
{
    if (!Shown())
        return;
    FModifyRectSet.UnionRect(r);
    if (Survives([this, from, &r] { SetModifyToChild(from, r); }) && Survives(&TVeRGBPanel::CallOnChange))
        SetModifyToParent(r);
}

void TVeRGBPanel::ClrModify()
{
    FModifyRectSet.SetRectEmpty();
}

void TVeRGBPanel::ClrModifyToChild()
{
    FModifyRectSet.SetRectEmpty();
    for (TVeRGBPanel* c : FChildList)
        c->ClrModifyToChild();
}

void TVeRGBPanel::SubModify(const TVeRect& r)
{
    FModifyRectSet.SubtractRect(r);
}

bool TVeRGBPanel::GetModified() const
{
    if (!FModifyRectSet.IsRectEmpty())
        return true;
    return std::any_of(FChildList.begin(), FChildList.end(), [](const TVeRGBPanel* c) { return c->GetModified(); });
}

void TVeRGBPanel::SetModified(bool v)
{
    if (v)
        SetModify();
    else
        ClrModify();
}

void TVeRGBPanel::GetModifiedRectSet(TVeRectSet* out) const
{
    CollectModified(this, out);
}

void TVeRGBPanel::GetModifiedRect(TVeRect* out) const
{
    CollectModified(this, out);
}

bool TVeRGBPanel::CoversArea() const
{
    // Only an image that paints every pixel of the area hides what lies beneath; a panel
    // that may draw itself, or whose block is smaller than its area, leaves pixels untouched.
    if (FMaskMode != mmOpaque || FImage == nullptr || !FImage->Created() || OnDraw)
        return false;
    if (FSizeX <= 0 || FSizeY <= 0 || FBlockIndex < 0 || FBlockIndex >= FNumBlock)
        return false;
    return FImage->Width() >= FSizeX && FImage->Height() / FNumBlock >= FSizeY;
}

bool TVeRGBPanel::Draw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    if (!Shown())
        return true;
    if (DestBits == nullptr)
        return false;
    bool result = true;
    TVeRect clip;
    if (!clip.IntersectRect(VeRect(SX, SY, SX + DX, SY + DY), AreaOf(this)))
        return true;
    SX = clip.left;
    SY = clip.top;
    DX = clip.Width();
    DY = clip.Height();

    TVeRect rest = clip;
    for (const TVeRGBPanel* c : FChildList) {
        if (!c->Shown() || !c->CoversArea())
            continue;
        const TVeRect covered = VeRect(c->FOffsetX, c->FOffsetY, c->FOffsetX + c->FSizeX, c->FOffsetY + c->FSizeY);
        const TVeRect before = rest;
        rest.SubtractRect(before, covered);
        if (rest.IsRectEmpty())
            break;
    }

    if (!rest.IsRectEmpty()) {
        bool handled = false;
        const bool lives = Survives([&] {
            handled = CallOnDraw(DestBits, X + rest.left, Y + rest.top, rest.left, rest.top, rest.Width(),
                                 rest.Height());
        });
        if (!lives)
            return result;
        if (!handled && FMaskMode != mmNoImage && FImage != nullptr && FImage->Created() && FNumBlock > 0) {
            // The source is clipped to the whole image, not to the block: a panel taller than
            // one block shows the next block's rows below.
            const int blockHeight = FImage->Height() / FNumBlock;
            const int sx = rest.left;
            const int sy = rest.top + blockHeight * FBlockIndex;
            int w = rest.Width();
            int h = rest.Height();
            if (FImage->Width() < sx + w)
                w = FImage->Width() - sx;
            if (FImage->Height() < sy + h)
                h = FImage->Height() - sy;
            if (w > 0 && h > 0) {
                const int dx = X + rest.left;
                const int dy = Y + rest.top;
                switch (FMaskMode) {
                case mmOpaque:
                    result = DestBits->Draw(dx, dy, FImage, sx, sy, w, h);
                    break;
                case mmAlphaMask:
                    if (FAlpha != nullptr)
                        result = DestBits->DrawAlphaMask(dx, dy, FImage, sx, sy, w, h, FAlpha);
                    break;
                case mmColorKey:
                    result = DestBits->DrawKey(dx, dy, FImage, sx, sy, w, h, FColorKey);
                    break;
                case mmNoImage:
                    break;
                }
            }
        }
    }
    SubModify(clip);

    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (!c->Shown())
            continue;
        const bool lives = Survives([&] {
            if (!c->Draw(DestBits, X + c->FOffsetX, Y + c->FOffsetY, SX - c->FOffsetX, SY - c->FOffsetY, DX, DY))
                result = false;
        });
        if (!lives)
            return result;
    }
    return result;
}

bool TVeRGBPanel::Draw(TVeRGBBits* DestBits)
{
    // Cleared before drawing, so that whatever a handler marks while the tree is drawn is kept
    // for the next frame.
    ClrModifyToChild();
    return Draw(DestBits, FOffsetX, FOffsetY, 0, 0, FSizeX, FSizeY);
}

bool TVeRGBPanel::Update(TVeRGBBits* DestBits)
{
    bool result = true;
    TVeRectSet set;
    GetModifiedRectSet(&set);
    // As in Draw: marks made while drawing survive into the next frame.
    ClrModifyToChild();
    for (const TVeRect& r : set) {
        const bool lives = Survives([&] {
            if (!Draw(DestBits, FOffsetX, FOffsetY, r.left, r.top, r.Width(), r.Height()))
                result = false;
        });
        if (!lives)
            break;
    }
    return result;
}

void TVeRGBPanel::Anime()
{
    if (!FCreated)
        return;
    // The children are taken before the first tick: a handler that deletes or moves a sibling
    // makes no other child miss its tick, and a child it took away does not tick here.
    std::vector<TVePanelRef> children;
    children.reserve(FChildList.size());
    for (TVeRGBPanel* c : FChildList)
        children.emplace_back(c);
    for (const TVePanelRef& child : children) {
        TVeRGBPanel* c = child.Get();
        if (c != nullptr && c->FParent == this && Lists(c) && !Survives([c] { c->Anime(); }))
            return;
    }
    CallOnAnime();
}

void TVeRGBPanel::StatusClear()
{
    FEnteredPanel = nullptr;
    FCapture.Reset(nullptr);
    FPressed = false;
    FModifyRectSet.SetRectEmpty();
    for (TVeRGBPanel* c : FChildList)
        c->StatusClear();
}
