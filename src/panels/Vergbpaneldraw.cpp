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

}  // namespace

void TVeRGBPanel::SetModify()
{
    SetModifyRect(AreaOf(this));
}

void TVeRGBPanel::SetModifyRect(const TVeRect& r)
{
    if (!Shown())
        return;
    TVePanelRef self(this);
    FModifyRectSet.UnionRect(r);
    SetModifyToChild(nullptr, r);
    if (!self)
        return;
    CallOnChange();
    if (!self)
        return;
    SetModifyToParent(r);
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
    TVePanelRef self(this);
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c == except)
            continue;
        TVeRect moved = r;
        moved.OffsetRect(-c->FOffsetX, -c->FOffsetY);
        TVeRect inside;
        if (inside.IntersectRect(moved, AreaOf(c))) {
            c->SetModifyFromParent(inside);
            if (!self)
                return;
        }
    }
}

void TVeRGBPanel::SetModifyFromParent(const TVeRect& r)
{
    if (!Shown())
        return;
    TVePanelRef self(this);
    FModifyRectSet.UnionRect(r);
    SetModifyToChild(nullptr, r);
    if (self)
        CallOnChange();
}

void TVeRGBPanel::SetModifyFromChild(TVeRGBPanel* from, const TVeRect& r)
{
    if (!Shown())
        return;
    TVePanelRef self(this);
    FModifyRectSet.UnionRect(r);
    SetModifyToChild(from, r);
    if (!self)
        return;
    CallOnChange();
    if (!self)
        return;
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
    if (!Shown())
        return;
    out->SetRectEmpty();
    for (const TVeRGBPanel* c : FChildList) {
        if (!c->Shown())
            continue;
        TVeRectSet part;
        c->GetModifiedRectSet(&part);
        if (part.IsRectEmpty())
            continue;
        part.OffsetRect(c->FOffsetX, c->FOffsetY);
        out->UnionRectSet(part);
    }
    out->UnionRectSet(FModifyRectSet);
    out->IntersectRect(AreaOf(this));
}

void TVeRGBPanel::GetModifiedRect(TVeRect* out) const
{
    if (!Shown())
        return;
    out->SetRectEmpty();
    for (const TVeRGBPanel* c : FChildList) {
        if (!c->Shown())
            continue;
        TVeRect part;
        c->GetModifiedRect(&part);
        if (part.IsRectEmpty())
            continue;
        part.OffsetRect(c->FOffsetX, c->FOffsetY);
        out->UnionRect(*out, part);
    }
    out->UnionRect(*out, FModifyRectSet.Bounds());
    out->IntersectRect(*out, AreaOf(this));
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

    TVePanelRef self(this);
    if (!rest.IsRectEmpty()) {
        const bool handled =
            CallOnDraw(DestBits, X + rest.left, Y + rest.top, rest.left, rest.top, rest.Width(), rest.Height());
        if (!self)
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
        if (!c->Draw(DestBits, X + c->FOffsetX, Y + c->FOffsetY, SX - c->FOffsetX, SY - c->FOffsetY, DX, DY))
            result = false;
        if (!self)
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
    TVePanelRef self(this);
    for (const TVeRect& r : set) {
        if (!Draw(DestBits, FOffsetX, FOffsetY, r.left, r.top, r.Width(), r.Height()))
            result = false;
        if (!self)
            break;
    }
    return result;
}

void TVeRGBPanel::Anime()
{
    if (!FCreated)
        return;
    TVePanelRef self(this);
    for (int i = 0; i < GetChildCount(); ++i) {
        FChildList[static_cast<size_t>(i)]->Anime();
        if (!self)
            return;
    }
    CallOnAnime();
}

void TVeRGBPanel::StatusClear()
{
    FEnteredPanel = nullptr;
    FCapturePanel = nullptr;
    FPressed = false;
    FModifyRectSet.SetRectEmpty();
    for (TVeRGBPanel* c : FChildList)
        c->StatusClear();
}
