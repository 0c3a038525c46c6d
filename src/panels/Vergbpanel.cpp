// The panel tree: links and z-order, properties, creation and visibility.

#include "panels/Vergbpanel.h"

#include <algorithm>
#include <new>

#include "platform/Dialogs.h"

namespace {

void ShowPanelException(const Exception& e)
{
    ShowMessageBox(e.Message, "Error");
}

}  // namespace

TVePanelRef::TVePanelRef(const TVeRGBPanel* panel) : FCell(panel != nullptr ? panel->FLife : nullptr)
{
    if (FCell != nullptr)
        ++FCell->Refs;
}

TVePanelRef::~TVePanelRef()
{
    if (FCell != nullptr && --FCell->Refs == 0)
        delete FCell;
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
    TVePanelRef self(this);
    if (FParent != nullptr) {
        TVeRGBPanel* old = FParent;
        TVePanelRef oldRef(old);
        old->DelChild(this);
        if (!self)
            return;
        // A handler may have destroyed the old parent after it let go of this panel.
        if (!oldRef)
            FParent = nullptr;
        if (FParent != nullptr) {
            SetModifyToParent();
            if (!self)
                return;
        }
        if (FEnteredPanel != nullptr) {
            FEnteredPanel->MouseLeave();
            if (!self)
                return;
        }
        StatusClear();
        if (FParent != nullptr && oldRef) {
            SetActive();
            if (!self)
                return;
        }
    }
    if (p != nullptr && p->SearchPanelToParent(this)) {
        FParent = nullptr;
        FEnteredPanel = nullptr;
        return;
    }
    FParent = p;
    if (p != nullptr) {
        p->AddChild(this);
        if (!self)
            return;
        SetModify();
        if (!self)
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
    TVePanelRef self(this);
    TVePanelRef child(c);
    SetActiveToChild();
    if (!self || !child)
        return;
    c->SetMouseCapToChild(FCapturePanel);
}

void TVeRGBPanel::DelChild(TVeRGBPanel* c)
{
    auto it = std::find(FChildList.begin(), FChildList.end(), c);
    if (it == FChildList.end())
        return;
    FChildList.erase(it);
    if (FEnteredPanel == c)
        FEnteredPanel = nullptr;
    if (FCapturePanel != nullptr && FCapturePanel->SearchPanelToParent(c))
        SetMouseCapToParent(nullptr);
    SetActiveToChild();
}

void TVeRGBPanel::RaiseOrder(TVeRGBPanel* a, TVeRGBPanel* b)
{
    auto ia = std::find(FChildList.begin(), FChildList.end(), a);
    auto ib = std::find(FChildList.begin(), FChildList.end(), b);
    bool moved = false;
    if (a != b && ia != FChildList.end() && ib != FChildList.end() && ia < ib) {
        std::rotate(ia, ia + 1, ib + 1);
        moved = true;
    }
    TVePanelRef self(this);
    TVePanelRef moving(a);
    SetActiveToChild();
    // The panel now covers (or uncovers) others inside its own area only.
    if (moved && self && moving && a->FParent == this)
        a->SetModify();
}

void TVeRGBPanel::DownOrder(TVeRGBPanel* a, TVeRGBPanel* b)
{
    auto ia = std::find(FChildList.begin(), FChildList.end(), a);
    auto ib = std::find(FChildList.begin(), FChildList.end(), b);
    bool moved = false;
    if (a != b && ia != FChildList.end() && ib != FChildList.end() && ia < ib) {
        moved = ia + 1 != ib;
        std::rotate(ia, ia + 1, ib);
    }
    TVePanelRef self(this);
    TVePanelRef moving(a);
    SetActiveToChild();
    if (moved && self && moving && a->FParent == this)
        a->SetModify();
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
    TVePanelRef self(this);
    SetSizeX(image->Width());
    if (!self)
        return;
    SetSizeY(image->Height() / FNumBlock);
}

void TVeRGBPanel::SetImage(TVeRGBBits* b)
{
    if (b == FImage)
        return;
    FImage = b;
    TVePanelRef self(this);
    if (FAutoSize && b != nullptr && b->Created()) {
        FitSizeToImage();
        if (!self)
            return;
    }
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

namespace {

// Marks the old area in the parent, stores, then marks the new area.
template <class Store>
void MoveArea(TVeRGBPanel* panel, Store store)
{
    TVePanelRef self(panel);
    if (panel->Parent() != nullptr) {
        panel->SetModifyToParent();
        if (!self)
            return;
    }
    store();
    panel->SetModify();
}

}  // namespace

void TVeRGBPanel::SetOffsetX(int v)
{
    if (v != FOffsetX)
        MoveArea(this, [this, v] { FOffsetX = v; });
}

void TVeRGBPanel::SetOffsetY(int v)
{
    if (v != FOffsetY)
        MoveArea(this, [this, v] { FOffsetY = v; });
}

void TVeRGBPanel::SetSizeX(int v)
{
    if (v != FSizeX)
        MoveArea(this, [this, v] { FSizeX = v; });
}

void TVeRGBPanel::SetSizeY(int v)
{
    if (v != FSizeY)
        MoveArea(this, [this, v] { FSizeY = v; });
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
        if (!self)
            return false;
        if (FVisible) {
            CallOnShow();
            if (!self)
                return false;
        }
        SetModify();
        if (!self)
            return false;
        if (!FBatchCreate)
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
    if (FCapturePanel != nullptr && FCapturePanel->SearchPanelToParent(this))
        SetMouseCapToParent(nullptr);
    FCreated = false;
    TVePanelRef self(this);
    if (FVisible) {
        CallOnHide();
        if (!self)
            return;
    }
    CallOnRelease();
    if (!self)
        return;
    if (FParent != nullptr) {
        SetModifyToParent();
        if (!self)
            return;
    }
    if (!FBatchCreate) {
        ChangeCreatedToParent();
        if (!self)
            return;
    }
    StatusClear();
}

bool TVeRGBPanel::AllCreate()
{
    TVePanelRef self(this);
    FBatchCreate = true;
    bool ok = Create();
    if (!self)
        return false;
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* child = FChildList[static_cast<size_t>(i)];
        try {
            if (!child->AllCreate())
                ok = false;
        } catch (const Exception&) {
            ok = false;
        }
        if (!self)
            return false;
    }
    FBatchCreate = false;
    ChangeCreatedToParent();
    return ok;
}

void TVeRGBPanel::AllRelease()
{
    TVePanelRef self(this);
    FBatchCreate = true;
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* child = FChildList[static_cast<size_t>(i)];
        try {
            child->AllRelease();
        } catch (const Exception&) {
        }
        if (!self)
            return;
    }
    Release();
    if (!self)
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

bool TVeRGBPanel::Show()
{
    if (FVisible)
        return true;
    FVisible = true;
    if (FCreated) {
        TVePanelRef self(this);
        CallOnShow();
        if (self)
            SetModify();
    }
    return true;
}

void TVeRGBPanel::Hide()
{
    if (!FVisible)
        return;
    if (FCapturePanel != nullptr && FCapturePanel->SearchPanelToParent(this))
        SetMouseCapToParent(nullptr);
    FVisible = false;
    TVePanelRef self(this);
    if (FCreated) {
        CallOnHide();
        if (!self)
            return;
        if (FParent != nullptr) {
            SetModifyToParent();
            if (!self)
                return;
        }
    }
    StatusClear();
}

void TVeRGBPanel::CallOnClick()
{
    if (OnClick)
        OnClick(this);
}

void TVeRGBPanel::CallOnCreate()
{
    if (OnCreate)
        OnCreate(this);
}

void TVeRGBPanel::CallOnRelease()
{
    if (OnRelease)
        OnRelease(this);
}

void TVeRGBPanel::CallOnShow()
{
    if (OnShow)
        OnShow(this);
}

void TVeRGBPanel::CallOnHide()
{
    if (OnHide)
        OnHide(this);
}

void TVeRGBPanel::CallOnMouseMove(TShiftState Shift, int X, int Y)
{
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TVeRGBPanel::CallOnMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TVeRGBPanel::CallOnMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TVeRGBPanel::CallOnMouseEnter()
{
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TVeRGBPanel::CallOnMouseLeave()
{
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TVeRGBPanel::CallOnMouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled)
{
    if (OnMouseWheel)
        OnMouseWheel(this, Shift, WheelDelta, MousePos, Handled);
}

void TVeRGBPanel::CallOnKeyDown(Word& Key, TShiftState Shift)
{
    if (OnKeyDown)
        OnKeyDown(this, Key, Shift);
}

void TVeRGBPanel::CallOnKeyUp(Word& Key, TShiftState Shift)
{
    if (OnKeyUp)
        OnKeyUp(this, Key, Shift);
}

void TVeRGBPanel::CallOnChange()
{
    if (OnChange)
        OnChange(this);
}

void TVeRGBPanel::CallOnActivate()
{
    if (OnActivate)
        OnActivate(this);
}

void TVeRGBPanel::CallOnDeactivate()
{
    if (OnDeactivate)
        OnDeactivate(this);
}

void TVeRGBPanel::CallOnAnime()
{
    if (OnAnime)
        OnAnime(this);
}

bool TVeRGBPanel::CallOnDraw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    if (OnDraw)
        return OnDraw(this, DestBits, X, Y, SX, SY, DX, DY);
    return false;
}
