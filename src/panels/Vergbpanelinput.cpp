// Mouse and key routing, the mouse capture and the active path of the panel tree.
//
// A press captures the mouse for the pressed panel until the release; every panel of a tree
// holds the same capture, through a liveness reference. When a handler destroys the panel that
// is routing an event, the routing stops there and reports the event as handled.

#include <algorithm>

#include "panels/Vergbpanel.h"

namespace {

// The highest child index not above i that still exists, or -1: lets a top-down scan go on
// after a handler shortened the list.
int Clamp(int i, int count)
{
    return i < count ? i : count - 1;
}

}  // namespace

// Offers a press or release at (X, Y) to the shown children under it, top first, until one
// handles it; false when a handler destroyed this panel.
template <class Route>
bool TVeRGBPanel::ChildrenHandle(int X, int Y, bool& handled, Route route)
{
    for (int i = GetChildCount() - 1; i >= 0 && !handled; i = Clamp(i - 1, GetChildCount())) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c->Shown() && c->ContainsPoint(X, Y) &&
            !Survives([&] { handled = route(c, X - c->FOffsetX, Y - c->FOffsetY); }))
            return false;
    }
    return true;
}

TVeRGBPanel* TVeRGBPanel::FindPosPanel(int X, int Y, bool onlyMouseControl) const
{
    for (int i = GetChildCount() - 1; i >= 0; --i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c->Shown() && (!onlyMouseControl || c->FMouseControl) && c->ContainsPoint(X, Y))
            return c;
    }
    return nullptr;
}

bool TVeRGBPanel::PosIsTrans(int X, int Y) const
{
    // Tested without the block offset: a strip of several blocks is hit-tested against its first.
    switch (FMaskMode) {
    case mmAlphaMask:
    case mmNoImage:
        return FAlpha != nullptr && FAlpha->PGet(X, Y) == 0;
    case mmColorKey:
        return FImage != nullptr && FImage->PGet(X, Y) == FColorKey.ToDWORD();
    case mmOpaque:
        break;
    }
    return false;
}

void TVeRGBPanel::SetMouseCapToParent(TVeRGBPanel* p)
{
    TVeRGBPanel* root = this;
    while (root->FParent != nullptr)
        root = root->FParent;
    root->SetMouseCapToChild(p);
}

void TVeRGBPanel::SetMouseCapToChild(TVeRGBPanel* p)
{
    if (p == nullptr || p != this)
        FPressed = false;
    FCapture.Reset(p);
    for (TVeRGBPanel* c : FChildList)
        c->SetMouseCapToChild(p);
}

void TVeRGBPanel::ConvertFromCapture(TVeRGBPanel* capture, int& X, int& Y) const
{
    ClientToScreen(X, Y);
    capture->ScreenToClient(X, Y);
}

bool TVeRGBPanel::MouseMove(TShiftState Shift, int X, int Y)
{
    if (!Shown())
        return false;
    TVeRGBPanel* capture = FCapture.Get();
    if (capture == this) {
        if (!FMouseControl)
            return false;
        CallOnMouseMove(Shift, X, Y);
        return true;
    }
    if (capture != nullptr) {
        // The capture panel receives moves wherever the cursor is.
        int x = X;
        int y = Y;
        ConvertFromCapture(capture, x, y);
        return capture->MouseMove(Shift, x, y);
    }
    TVeRGBPanel* p = FindPosPanel(X, Y, false);
    TVePanelRef target(p);
    // The target is dropped when a handler destroyed it or took it elsewhere.
    auto targetGone = [&] { return p != nullptr && (!target || p->FParent != this); };
    if (p != FEnteredPanel) {
        if (TVeRGBPanel* left = FEnteredPanel) {
            if (!Survives([left] { left->MouseLeave(); }))
                return true;
            if (targetGone())
                p = nullptr;
        }
        FEnteredPanel = p;
        if (p != nullptr) {
            if (!Survives([p, X, Y] { p->MouseEnter(X - p->FOffsetX, Y - p->FOffsetY); }))
                return true;
            if (targetGone())
                p = nullptr;
        }
    }
    bool handled = false;
    if (p != nullptr && !Survives([&] { handled = p->MouseMove(Shift, X - p->FOffsetX, Y - p->FOffsetY); }))
        return true;
    if (!handled && FMouseControl) {
        CallOnMouseMove(Shift, X, Y);
        handled = true;
    }
    return handled;
}

bool TVeRGBPanel::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (!Shown())
        return false;
    bool handled = false;
    auto route = [&](TVeRGBPanel* c, int x, int y) { return c->MouseDown(Button, Shift, x, y); };
    if (!ChildrenHandle(X, Y, handled, route))
        return true;
    if (!handled && FMouseControl) {
        const bool hit = !FMouseTrans || !PosIsTrans(X, Y);
        if (hit) {
            if (Button == mbLeft)
                FPressed = true;
            SetMouseCapToParent(this);
            CallOnMouseDown(Button, Shift, X, Y);
            handled = true;
        }
    }
    return handled;
}

// Raises the release and, for a press on this panel that ends inside it, the click.
void TVeRGBPanel::ReleaseOn(TMouseButton Button, TShiftState Shift, int X, int Y, bool wasPressed)
{
    if (!Survives([&] { CallOnMouseUp(Button, Shift, X, Y); }))
        return;
    if (wasPressed && 0 <= X && X < FSizeX && 0 <= Y && Y < FSizeY)
        CallOnClick();
}

bool TVeRGBPanel::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    TVeRGBPanel* capture = FCapture.Get();
    if (capture == this) {
        const bool wasPressed = FPressed;
        FPressed = false;
        SetMouseCapToParent(nullptr);
        if (!Shown() || !FMouseControl)
            return false;
        ReleaseOn(Button, Shift, X, Y, wasPressed);
        return true;
    }
    if (capture != nullptr) {
        if (!capture->FCreated) {
            SetMouseCapToParent(nullptr);
            return false;
        }
        int x = X;
        int y = Y;
        ConvertFromCapture(capture, x, y);
        bool handled = false;
        // The capture is gone: bring the hover state up to the release point.
        if (Survives([&] { handled = capture->MouseUp(Button, Shift, x, y); }) && Shown())
            MouseMove(Shift, X, Y);
        return handled;
    }
    bool handled = false;
    auto route = [&](TVeRGBPanel* c, int x, int y) { return c->MouseUp(Button, Shift, x, y); };
    if (!ChildrenHandle(X, Y, handled, route))
        return true;
    if (!handled) {
        const bool wasPressed = FPressed;
        FPressed = false;
        if (Shown() && FMouseControl && !(FMouseTrans && PosIsTrans(X, Y))) {
            ReleaseOn(Button, Shift, X, Y, wasPressed);
            handled = true;
        }
    }
    return handled;
}

void TVeRGBPanel::MouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled)
{
    for (int i = GetChildCount() - 1; i >= 0 && !Handled; i = Clamp(i - 1, GetChildCount())) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (!c->Shown())
            continue;
        const TPoint local{MousePos.x - c->FOffsetX, MousePos.y - c->FOffsetY};
        if (!Survives([&] { c->MouseWheel(Shift, WheelDelta, local, Handled); }))
            return;
    }
    if (!Handled && Shown() && FMouseControl)
        CallOnMouseWheel(Shift, WheelDelta, MousePos, Handled);
}

void TVeRGBPanel::MouseEnter(int X, int Y)
{
    if (!Shown() || FCapture.Get() != nullptr)
        return;
    if (FMouseControl && !Survives(&TVeRGBPanel::CallOnMouseEnter))
        return;
    TVeRGBPanel* p = FindPosPanel(X, Y, false);
    if (p != nullptr && p != FEnteredPanel) {
        FEnteredPanel = p;
        if (p->FMouseControl)
            p->MouseEnter(X - p->FOffsetX, Y - p->FOffsetY);
    }
}

void TVeRGBPanel::MouseLeave()
{
    if (!Shown() || FCapture.Get() != nullptr)
        return;
    if (FMouseControl && !Survives(&TVeRGBPanel::CallOnMouseLeave))
        return;
    if (TVeRGBPanel* entered = FEnteredPanel) {
        if (entered->FMouseControl && !Survives([entered] { entered->MouseLeave(); }))
            return;
        FEnteredPanel = nullptr;
    }
}

bool TVeRGBPanel::KeyRoute(Word& Key, TShiftState Shift, bool down)
{
    bool handled = false;
    TVeRGBPanel* a = GetActivePanel();
    if (a != nullptr && !Survives([&] { handled = a->KeyRoute(Key, Shift, down); }))
        return true;
    if (!handled && FKeyControl) {
        if (down)
            CallOnKeyDown(Key, Shift);
        else
            CallOnKeyUp(Key, Shift);
        handled = true;
    }
    return handled;
}

bool TVeRGBPanel::KeyDown(Word& Key, TShiftState Shift)
{
    return KeyRoute(Key, Shift, true);
}

bool TVeRGBPanel::KeyUp(Word& Key, TShiftState Shift)
{
    return KeyRoute(Key, Shift, false);
}

TVeRGBPanel* TVeRGBPanel::GetActivePanel() const
{
    for (int i = GetChildCount() - 1; i >= 0; --i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c->Shown())
            return c;
    }
    return nullptr;
}

void TVeRGBPanel::SetActiveToChild()
{
    if (!FCreated)
        return;
    TVeRGBPanel* a = GetActivePanel();
    TVePanelRef active(a);
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c != a && !Survives([c] { c->SetActiveFromParent(false); }))
            return;
    }
    if (a != nullptr && active && Lists(a))
        a->SetActiveFromParent(FActive);
}

void TVeRGBPanel::SetActiveFromParent(bool v)
{
    if (!Shown())
        return;
    const bool changed = v != FActive;
    FActive = v;
    if (!Survives(&TVeRGBPanel::SetActiveToChild) || !changed)
        return;
    if (FActive)
        CallOnActivate();
    else
        CallOnDeactivate();
}

void TVeRGBPanel::SetActive()
{
    if (FParent != nullptr) {
        SetActiveToParent();
        return;
    }
    if (!Shown() || FActive)
        return;
    FActive = true;
    if (Survives(&TVeRGBPanel::SetActiveToChild))
        CallOnActivate();
}

void TVeRGBPanel::SetActiveToParent()
{
    if (FParent != nullptr)
        FParent->SetActiveFromChild(this);
}

void TVeRGBPanel::SetActiveFromChild(TVeRGBPanel* c)
{
    auto it = std::find(FChildList.begin(), FChildList.end(), c);
    if (it != FChildList.end() && it + 1 != FChildList.end()) {
        std::rotate(it, it + 1, FChildList.end());
        // The raised child now lies over its siblings: its area must be drawn again.
        if (!Survives([c] { c->SetModify(); }))
            return;
    }
    SetActiveToParent();
}
