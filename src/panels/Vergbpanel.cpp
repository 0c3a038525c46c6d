// The panel tree: links and z-order, properties, creation and visibility.

#include "panels/Vergbpanel.h"

#include <algorithm>
#include <new>
#include <utility>

#include "platform/Dialogs.h"

namespace {

void ShowPanelException(const Exception& e)
{
    ShowMessageBox(e.Message, "Error");
}

// Raises an event when a handler is assigned.
template <class Event, class... Args>
void Raise(const Event& event, Args&&... args)
{
    if (event)
        event(std::forward<Args>(args)...);
}

}  // namespace

void TVePanelRef::Reset(TVeRGBPanel* panel)
{
    TCell* cell = panel != nullptr ? panel->FLife : nullptr;
    if (cell != nullptr)
        ++cell->Refs;
    if (FCell != nullptr && --FCell->Refs == 0)
        delete FCell;
    FPanel = panel;
    FCell = cell;
}

TVeRGBPanel::TVeRGBPanel(TComponent* Owner) : TComponent(Owner), FLife(new TVePanelRef::TCell{1, true}) {}

TVeRGBPanel::TVeRGBPanel(TComponent* Owner, TVeRGBPanel* Parent) : TVeRGBPanel(Owner)
{
    FParent = Parent;
    if (Parent != nullptr)
        Parent->AddChild(this);
}

TVeRGBPanel::~TVeRGBPanel()
{
    // Handlers run from here must not throw out of a destructor: their exceptions are shown
    // and destruction goes on.
    auto step = [](auto&& action) {
        try {
            action();
        } catch (const Exception& e) {
            ShowPanelException(e);
        } catch (...) {
        }
    };
    if (FVisible)
        step([this] { Hide(); });
    if (FCreated)
        step([this] { Release(); });
    if (FParent != nullptr) {
        TVeRGBPanel* parent = FParent;
        step([this, parent] { parent->DelChild(this); });
        FParent = nullptr;
        StatusClear();
    }
    DetachChildrenOnDestroy();
    FLife->Alive = false;
    if (--FLife->Refs == 0)
        delete FLife;
}

void TVeRGBPanel::DetachChildrenOnDestroy()
{
    // SetParent(nil) on a child that is listed twice, or whose Parent names another panel,
    // does not shorten this list; such entries are dropped here so that the loop ends.
    while (!FChildList.empty()) {
        TVeRGBPanel* child = FChildList.back();
        try {
            if (child->FParent == this)
                child->SetParent(nullptr);
        } catch (const Exception& e) {
            ShowPanelException(e);
        } catch (...) {
        }
        std::erase(FChildList, child);
    }
}

bool TVeRGBPanel::Lists(const TVeRGBPanel* c) const
{
    return std::find(FChildList.begin(), FChildList.end(), c) != FChildList.end();
}

TVeRGBPanel* TVeRGBPanel::GetChild(int i) const
{
    if (i < 0 || i >= GetChildCount())
        return nullptr;
    return FChildList[static_cast<size_t>(i)];
}

bool TVeRGBPanel::SearchPanelToParent(const TVeRGBPanel* target) const
{
    for (const TVeRGBPanel* p = this; p != nullptr; p = p->FParent)
        if (p == target)
            return true;
    return false;
}

void TVeRGBPanel::SetParent(TVeRGBPanel* p)
{
    if (FParent != nullptr) {
        TVeRGBPanel* old = FParent;
        TVePanelRef oldRef(old);
        if (!Survives([this, old] { old->DelChild(this); }))
            return;
        // A handler may have destroyed the old parent after it let go of this panel.
        if (!oldRef)
            FParent = nullptr;
        if (FParent != nullptr && !Survives(&TVeRGBPanel::SetModifyToParent))
            return;
        TVeRGBPanel* entered = FEnteredPanel;
        if (entered != nullptr && !Survives([entered] { entered->MouseLeave(); }))
            return;
        StatusClear();
        if (FParent != nullptr && oldRef && !Survives(&TVeRGBPanel::SetActive))
            return;
    }
    if (p != nullptr && p->SearchPanelToParent(this)) {
        FParent = nullptr;
        FEnteredPanel = nullptr;
        return;
    }
    FParent = p;
    if (p != nullptr) {
        if (!Survives([this, p] { p->AddChild(this); }) || !Survives(&TVeRGBPanel::SetModify))
            return;
    }
    FEnteredPanel = nullptr;
}

void TVeRGBPanel::AddChild(TVeRGBPanel* c)
{
    if (c == nullptr || Lists(c))
        return;
    // Listing an ancestor (or this panel) would make every walk of the tree endless.
    std::vector<const TVeRGBPanel*> pending{c};
    while (!pending.empty()) {
        const TVeRGBPanel* q = pending.back();
        pending.pop_back();
        if (q == this)
            return;
        pending.insert(pending.end(), q->FChildList.begin(), q->FChildList.end());
    }
    try {
        FChildList.push_back(c);
    } catch (const std::bad_alloc&) {
        return;
    }
    TVePanelRef child(c);
    if (Survives(&TVeRGBPanel::SetActiveToChild) && child)
        c->SetMouseCapToChild(FCapture.Get());
}

void TVeRGBPanel::DelChild(TVeRGBPanel* c)
{
    auto it = std::find(FChildList.begin(), FChildList.end(), c);
    if (it == FChildList.end())
        return;
    FChildList.erase(it);
    if (FEnteredPanel == c)
        FEnteredPanel = nullptr;
    DropCaptureWithin(c);
    SetActiveToChild();
}

void TVeRGBPanel::Reorder(TVeRGBPanel* a, TVeRGBPanel* b, bool above)
{
    auto ia = std::find(FChildList.begin(), FChildList.end(), a);
    auto ib = std::find(FChildList.begin(), FChildList.end(), b);
    bool moved = false;
    if (a != b && ia != FChildList.end() && ib != FChildList.end() && ia < ib) {
        auto to = above ? ib + 1 : ib;
        moved = ia + 1 != to;
        std::rotate(ia, ia + 1, to);
    }
    TVePanelRef moving(a);
    // The panel now covers (or uncovers) others inside its own area only.
    if (Survives(&TVeRGBPanel::SetActiveToChild) && moved && moving && a->FParent == this)
        a->SetModify();
}

void TVeRGBPanel::RaiseOrder(TVeRGBPanel* a, TVeRGBPanel* b)
{
    Reorder(a, b, true);
}

void TVeRGBPanel::DownOrder(TVeRGBPanel* a, TVeRGBPanel* b)
{
    Reorder(a, b, false);
}

void TVeRGBPanel::ClientToScreen(int& X, int& Y) const
{
    for (const TVeRGBPanel* p = this; p != nullptr; p = p->FParent) {
        X += p->FOffsetX;
        Y += p->FOffsetY;
    }
}

void TVeRGBPanel::ScreenToClient(int& X, int& Y) const
{
    for (const TVeRGBPanel* p = this; p != nullptr; p = p->FParent) {
        X -= p->FOffsetX;
        Y -= p->FOffsetY;
    }
}

void TVeRGBPanel::FitSizeToImage()
{
    TVeRGBBits* image = FImage;
    if (Survives([this, image] { SetSizeX(image->Width()); }))
        SetSizeY(image->Height() / FNumBlock);
}

void TVeRGBPanel::SetImage(TVeRGBBits* b)
{
    if (b == FImage)
        return;
    FImage = b;
    if (FAutoSize && b != nullptr && b->Created() && !Survives(&TVeRGBPanel::FitSizeToImage))
        return;
    SetModify();
}

void TVeRGBPanel::SetAutoSize(bool v)
{
    if (v == FAutoSize)
        return;
    FAutoSize = v;
    if (v && FImage != nullptr && FImage->Created())
        FitSizeToImage();
}

void TVeRGBPanel::SetAlpha(TVeAlpha* a)
{
    if (a == FAlpha)
        return;
    FAlpha = a;
    SetModify();
}

void TVeRGBPanel::SetColorKey(TVeRGB k)
{
    if (k == FColorKey)
        return;
    FColorKey = k;
    SetModify();
}

void TVeRGBPanel::SetMaskMode(TMaskMode m)
{
    if (m == FMaskMode)
        return;
    FMaskMode = m;
    SetModify();
}

void TVeRGBPanel::MoveArea(int& field, int v)
{
    if (v == field)
        return;
    // The old area is marked in the parent before the value changes, the new one after.
    if (FParent != nullptr && !Survives(&TVeRGBPanel::SetModifyToParent))
        return;
    field = v;
    SetModify();
}

void TVeRGBPanel::SetOffsetX(int v)
{
    MoveArea(FOffsetX, v);
}

void TVeRGBPanel::SetOffsetY(int v)
{
    MoveArea(FOffsetY, v);
}

void TVeRGBPanel::SetSizeX(int v)
{
    MoveArea(FSizeX, v);
}

void TVeRGBPanel::SetSizeY(int v)
{
    MoveArea(FSizeY, v);
}

void TVeRGBPanel::SetNumBlock(int n)
{
    if (n <= 0)
        return;
    FNumBlock = n;
    if (n <= FBlockIndex)
        FBlockIndex = n - 1;
    SetModify();
}

void TVeRGBPanel::SetBlockIndex(int i)
{
    // A negative block would read above the image.
    if (i < 0 || i >= FNumBlock || i == FBlockIndex)
        return;
    FBlockIndex = i;
    SetModify();
}

void TVeRGBPanel::SetCreated(bool v)
{
    if (v)
        Create();
    else
        Release();
}

void TVeRGBPanel::SetVisible(bool v)
{
    if (v)
        Show();
    else
        Hide();
}

bool TVeRGBPanel::Create()
{
    if (FCreated)
        return true;
    FCreated = true;
    TVePanelRef self(this);
    try {
        CallOnCreate();
        if (self && FVisible)
            CallOnShow();
        if (self)
            SetModify();
        if (self && !FBatchCreate)
            ChangeCreatedToParent();
    } catch (const Exception&) {
        if (!self)
            return false;
        try {
            SetCreated(false);
        } catch (const Exception&) {
        }
    }
    if (!self)
        return false;
    FEnteredPanel = nullptr;
    return FCreated;
}

void TVeRGBPanel::Release()
{
    if (!FCreated)
        return;
    DropCaptureWithin(this);
    FCreated = false;
    if ((FVisible && !Survives(&TVeRGBPanel::CallOnHide)) || !Survives(&TVeRGBPanel::CallOnRelease))
        return;
    if (FParent != nullptr && !Survives(&TVeRGBPanel::SetModifyToParent))
        return;
    if (!FBatchCreate && !Survives(&TVeRGBPanel::ChangeCreatedToParent))
        return;
    StatusClear();
}

bool TVeRGBPanel::AllCreate()
{
    FBatchCreate = true;
    bool ok = false;
    if (!Survives([this, &ok] { ok = Create(); }))
        return false;
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* child = FChildList[static_cast<size_t>(i)];
        const bool lives = Survives([child, &ok] {
            try {
                if (!child->AllCreate())
                    ok = false;
            } catch (const Exception&) {
                ok = false;
            }
        });
        if (!lives)
            return false;
    }
    FBatchCreate = false;
    ChangeCreatedToParent();
    return ok;
}

void TVeRGBPanel::AllRelease()
{
    FBatchCreate = true;
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* child = FChildList[static_cast<size_t>(i)];
        const bool lives = Survives([child] {
            try {
                child->AllRelease();
            } catch (const Exception&) {
            }
        });
        if (!lives)
            return;
    }
    if (!Survives(&TVeRGBPanel::Release))
        return;
    FBatchCreate = false;
    ChangeCreatedToParent();
}

void TVeRGBPanel::ChangeCreatedToParent()
{
    if (FParent != nullptr)
        FParent->ChangeCreatedFromChild();
    else
        SetActiveToChild();
}

void TVeRGBPanel::ChangeCreatedFromChild()
{
    ChangeCreatedToParent();
}

void TVeRGBPanel::Hide()
{
    if (!FVisible)
        return;
    DropCaptureWithin(this);
    FVisible = false;
    if (FCreated && !Survives(&TVeRGBPanel::CallOnHide))
        return;
    if (FCreated && FParent != nullptr && !Survives(&TVeRGBPanel::SetModifyToParent))
        return;
    StatusClear();
}

bool TVeRGBPanel::Show()
{
    if (FVisible)
        return true;
    FVisible = true;
    if (FCreated && Survives(&TVeRGBPanel::CallOnShow))
        SetModify();
    return true;
}

void TVeRGBPanel::CallOnClick() { Raise(OnClick, this); }
void TVeRGBPanel::CallOnCreate() { Raise(OnCreate, this); }
void TVeRGBPanel::CallOnRelease() { Raise(OnRelease, this); }
void TVeRGBPanel::CallOnShow() { Raise(OnShow, this); }
void TVeRGBPanel::CallOnHide() { Raise(OnHide, this); }
void TVeRGBPanel::CallOnMouseMove(TShiftState Shift, int X, int Y) { Raise(OnMouseMove, this, Shift, X, Y); }
void TVeRGBPanel::CallOnMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    Raise(OnMouseDown, this, Button, Shift, X, Y);
}
void TVeRGBPanel::CallOnMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    Raise(OnMouseUp, this, Button, Shift, X, Y);
}
void TVeRGBPanel::CallOnMouseEnter() { Raise(OnMouseEnter, this); }
void TVeRGBPanel::CallOnMouseLeave() { Raise(OnMouseLeave, this); }
void TVeRGBPanel::CallOnMouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled)
{
    Raise(OnMouseWheel, this, Shift, WheelDelta, MousePos, Handled);
}
void TVeRGBPanel::CallOnKeyDown(Word& Key, TShiftState Shift) { Raise(OnKeyDown, this, Key, Shift); }
void TVeRGBPanel::CallOnKeyUp(Word& Key, TShiftState Shift) { Raise(OnKeyUp, this, Key, Shift); }
void TVeRGBPanel::CallOnChange() { Raise(OnChange, this); }
void TVeRGBPanel::CallOnActivate() { Raise(OnActivate, this); }
void TVeRGBPanel::CallOnDeactivate() { Raise(OnDeactivate, this); }
void TVeRGBPanel::CallOnAnime() { Raise(OnAnime, this); }

bool TVeRGBPanel::CallOnDraw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    if (OnDraw)
        return OnDraw(this, DestBits, X, Y, SX, SY, DX, DY);
    return false;
}
