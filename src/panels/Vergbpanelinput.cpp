// Mouse and key routing, the mouse capture and the active path of the panel tree.
//
// A press captures the mouse for the pressed panel until the release; the capture pointer is
// the same in every panel of a tree. When a handler destroys the panel that is routing an
// event, the routing stops there and reports the event as handled.

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
    FCapturePanel = p;
    for (TVeRGBPanel* c : FChildList)
        c->SetMouseCapToChild(p);
}

void TVeRGBPanel::ConvertFromCapture(int& X, int& Y) const
{
    ClientToScreen(X, Y);
    FCapturePanel->ScreenToClient(X, Y);
}

bool TVeRGBPanel::MouseMove(TShiftState Shift, int X, int Y)
{
    if (!Shown())
        return false;
    if (FCapturePanel == this) {
        if (!FMouseControl)
            return false;
        CallOnMouseMove(Shift, X, Y);
        return true;
    }
    if (FCapturePanel != nullptr) {
        // The capture panel receives moves wherever the cursor is.
        int x = X;
        int y = Y;
        ConvertFromCapture(x, y);
        return FCapturePanel->MouseMove(Shift, x, y);
    }
    TVePanelRef self(this);
    TVeRGBPanel* p = FindPosPanel(X, Y, false);
    TVePanelRef target(p);
    // The target is dropped when a handler destroyed it or took it elsewhere.
    auto targetGone = [&] { return p != nullptr && (!target || p->FParent != this); };
    if (p != FEnteredPanel) {
        if (FEnteredPanel != nullptr) {
            FEnteredPanel->MouseLeave();
            if (!self)
                return true;
            if (targetGone())
                p = nullptr;
        }
        FEnteredPanel = p;
        if (p != nullptr) {
            p->MouseEnter(X - p->FOffsetX, Y - p->FOffsetY);
            if (!self)
                return true;
            if (targetGone())
                p = nullptr;
        }
    }
    bool handled = false;
    if (p != nullptr) {
        handled = p->MouseMove(Shift, X - p->FOffsetX, Y - p->FOffsetY);
        if (!self)
            return true;
    }
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
    TVePanelRef self(this);
    bool handled = false;
    for (int i = GetChildCount() - 1; i >= 0 && !handled; i = Clamp(i - 1, GetChildCount())) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c->Shown() && c->ContainsPoint(X, Y)) {
            handled = c->MouseDown(Button, Shift, X - c->FOffsetX, Y - c->FOffsetY);
            if (!self)
                return true;
        }
    }
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

bool TVeRGBPanel::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    TVePanelRef self(this);
    if (FCapturePanel == this) {
        const bool wasPressed = FPressed;
        FPressed = false;
        SetMouseCapToParent(nullptr);
        if (!Shown() || !FMouseControl)
            return false;
        CallOnMouseUp(Button, Shift, X, Y);
        if (self && wasPressed && 0 <= X && X < FSizeX && 0 <= Y && Y < FSizeY)
            CallOnClick();
        return true;
    }
    if (FCapturePanel != nullptr) {
        if (!FCapturePanel->FCreated) {
            SetMouseCapToParent(nullptr);
            return false;
        }
        int x = X;
        int y = Y;
        ConvertFromCapture(x, y);
        const bool handled = FCapturePanel->MouseUp(Button, Shift, x, y);
        // The capture is gone: bring the hover state up to the release point.
        if (self && Shown())
            MouseMove(Shift, X, Y);
        return handled;
    }
    bool handled = false;
    for (int i = GetChildCount() - 1; i >= 0 && !handled; i = Clamp(i - 1, GetChildCount())) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c->Shown() && c->ContainsPoint(X, Y)) {
            handled = c->MouseUp(Button, Shift, X - c->FOffsetX, Y - c->FOffsetY);
            if (!self)
                return true;
        }
    }
    if (!handled) {
        const bool wasPressed = FPressed;
        FPressed = false;
        if (Shown() && FMouseControl && !(FMouseTrans && PosIsTrans(X, Y))) {
            CallOnMouseUp(Button, Shift, X, Y);
            if (self && wasPressed && 0 <= X && X < FSizeX && 0 <= Y && Y < FSizeY)
                CallOnClick();
            handled = true;
        }
    }
    return handled;
}

void TVeRGBPanel::MouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled)
{
    TVePanelRef self(this);
    for (int i = GetChildCount() - 1; i >= 0 && !Handled; i = Clamp(i - 1, GetChildCount())) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (!c->Shown())
            continue;
        const TPoint local{MousePos.x - c->FOffsetX, MousePos.y - c->FOffsetY};
        c->MouseWheel(Shift, WheelDelta, local, Handled);
        if (!self)
            return;
    }
    if (!Handled && Shown() && FMouseControl)
        CallOnMouseWheel(Shift, WheelDelta, MousePos, Handled);
}

void TVeRGBPanel::MouseEnter(int X, int Y)
{
    if (!Shown() || FCapturePanel != nullptr)
        return;
    TVePanelRef self(this);
    if (FMouseControl) {
        CallOnMouseEnter();
        if (!self)
            return;
    }
    TVeRGBPanel* p = FindPosPanel(X, Y, false);
    if (p != nullptr && p != FEnteredPanel) {
        FEnteredPanel = p;
        if (p->FMouseControl)
            p->MouseEnter(X - p->FOffsetX, Y - p->FOffsetY);
    }
}

void TVeRGBPanel::MouseLeave()
{
    if (!Shown() || FCapturePanel != nullptr)
        return;
    TVePanelRef self(this);
    if (FMouseControl) {
        CallOnMouseLeave();
        if (!self)
            return;
    }
    if (FEnteredPanel != nullptr) {
        if (FEnteredPanel->FMouseControl) {
            FEnteredPanel->MouseLeave();
            if (!self)
                return;
        }
        FEnteredPanel = nullptr;
    }
}

bool TVeRGBPanel::KeyRoute(Word& Key, TShiftState Shift, bool down)
{
    TVePanelRef self(this);
    bool handled = false;
    if (TVeRGBPanel* a = GetActivePanel()) {
        handled = a->KeyRoute(Key, Shift, down);
        if (!self)
            return true;
    }
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
    TVePanelRef self(this);
    TVeRGBPanel* a = GetActivePanel();
    TVePanelRef active(a);
    for (int i = 0; i < GetChildCount(); ++i) {
        TVeRGBPanel* c = FChildList[static_cast<size_t>(i)];
        if (c == a)
            continue;
        c->SetActiveFromParent(false);
        if (!self)
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
    TVePanelRef self(this);
    SetActiveToChild();
    if (!self || !changed)
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
    TVePanelRef self(this);
    SetActiveToChild();
    if (self)
        CallOnActivate();
}

void TVeRGBPanel::SetActiveToParent()
{
    if (FParent != nullptr)
        FParent->SetActiveFromChild(this);
}

void TVeRGBPanel::SetActiveFromChild(TVeRGBPanel* c)
{
    TVePanelRef self(this);
    auto it = std::find(FChildList.begin(), FChildList.end(), c);
    if (it != FChildList.end() && it + 1 != FChildList.end()) {
        std::rotate(it, it + 1, FChildList.end());
        // The raised child now lies over its siblings: its area must be drawn again.
        c->SetModify();
        if (!self)
            return;
    }
    SetActiveToParent();
}
