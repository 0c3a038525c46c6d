#pragma once
// The panel: a node of the retained-mode tree every screen is composed of. A panel shows one
// block of a vertical image strip (or whatever its OnDraw handler draws) in a rectangle of its
// parent, keeps the dirty rectangles of its own area, and routes mouse and key input.
//
// The tree has no lock: one thread uses it at a time. Children are not owned: their owner
// component deletes them, and a panel being destroyed only detaches its children.
//
// Handlers may hide, reorder, detach or delete any panel, including the one raising the event.
// Every operation that raises an event holds a liveness reference on the panels it still has
// to touch afterwards (Survives, for the panel itself) and stops as soon as one of them has been
// destroyed; child lists are walked by index with the bounds checked again after each call, or
// over a list of references taken before the first call. The mouse capture is held through such
// a reference too, so a destroyed capturing panel is never reached.
//
// The implementation is split by concern: Vergbpanel.cpp (tree, properties, life cycle),
// Vergbpaneldraw.cpp (dirty regions, drawing, animation), Vergbpanelinput.cpp (mouse, keys,
// capture, the active path).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Vealpha.h"
#include "base/Verect.h"
#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "base/Vergbcolor.h"
#include "platform/Classes.h"
#include "platform/Input.h"

// How a panel's image is drawn and hit-tested. Only an mmOpaque child whose image covers its
// whole area hides what lies beneath it.
enum TMaskMode : uint8_t { mmOpaque, mmAlphaMask, mmColorKey, mmNoImage };

using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
// Draws the area (SX, SY, DX, DY) of the panel, given in its own coordinates, at (X, Y) of
// DestBits; true when the handler drew it, so that the image is not drawn.
using TVeDrawEvent =
    std::function<bool(TObject* Sender, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)>;

class TVeRGBPanel;

// A counted reference that outlives the panel it names and tells whether the panel still
// exists. Not thread-safe, like the tree itself.
class TVePanelRef {
public:
    TVePanelRef() = default;
    explicit TVePanelRef(TVeRGBPanel* panel) { Reset(panel); }
    TVePanelRef(TVePanelRef&& other) noexcept : FPanel(other.FPanel), FCell(other.FCell)
    {
        other.FPanel = nullptr;
        other.FCell = nullptr;
    }
    ~TVePanelRef() { Reset(nullptr); }
    TVePanelRef(const TVePanelRef&) = delete;
    TVePanelRef& operator=(const TVePanelRef&) = delete;
    // Names another panel, or none.
    void Reset(TVeRGBPanel* panel);
    bool Alive() const { return FCell != nullptr && FCell->Alive; }
    explicit operator bool() const { return Alive(); }
    // The panel while it exists, else null.
    TVeRGBPanel* Get() const { return Alive() ? FPanel : nullptr; }

private:
    friend class TVeRGBPanel;
    struct TCell {
        int Refs;
        bool Alive;
    };
    TVeRGBPanel* FPanel = nullptr;
    TCell* FCell = nullptr;
};

class TVeRGBPanel : public TComponent {
public:
    explicit TVeRGBPanel(TComponent* Owner);
    // Stores the parent and lists this panel there, without the cycle check or the marking
    // SetParent does.
    TVeRGBPanel(TComponent* Owner, TVeRGBPanel* Parent);
    ~TVeRGBPanel() override;

    // Tree and z-order: child 0 is drawn first (bottom), the last child on top.
    TVeRGBPanel* Parent() const { return FParent; }
    void SetParent(TVeRGBPanel* p);
    void AddChild(TVeRGBPanel* c);
    void DelChild(TVeRGBPanel* c);
    // True when target is this panel or one of its ancestors.
    bool SearchPanelToParent(const TVeRGBPanel* target) const;
    int GetChildCount() const { return static_cast<int>(FChildList.size()); }
    TVeRGBPanel* GetChild(int i) const;
    void RaiseOrder(TVeRGBPanel* a, TVeRGBPanel* b);
    void DownOrder(TVeRGBPanel* a, TVeRGBPanel* b);
    void ClientToScreen(int& X, int& Y) const;
    void ScreenToClient(int& X, int& Y) const;

    // Properties.
    bool Created() const { return FCreated; }
    void SetCreated(bool v);
    bool Visible() const { return FVisible; }
    void SetVisible(bool v);
    bool KeyControl() const { return FKeyControl; }
    void SetKeyControl(bool v) { FKeyControl = v; }
    bool MouseControl() const { return FMouseControl; }
    void SetMouseControl(bool v) { FMouseControl = v; }
    bool MouseTrans() const { return FMouseTrans; }
    void SetMouseTrans(bool v) { FMouseTrans = v; }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    TVeRGBBits* Image() const { return FImage; }
    void SetImage(TVeRGBBits* b);
    TVeAlpha* Alpha() const { return FAlpha; }
    void SetAlpha(TVeAlpha* a);
    TVeRGB ColorKey() const { return FColorKey; }
    void SetColorKey(TVeRGB k);
    TMaskMode MaskMode() const { return FMaskMode; }
    void SetMaskMode(TMaskMode m);
    int OffsetX() const { return FOffsetX; }
    int OffsetY() const { return FOffsetY; }
    int SizeX() const { return FSizeX; }
    int SizeY() const { return FSizeY; }
    void SetOffsetX(int v);
    void SetOffsetY(int v);
    void SetSizeX(int v);
    void SetSizeY(int v);
    int NumBlock() const { return FNumBlock; }
    void SetNumBlock(int n);
    int BlockIndex() const { return FBlockIndex; }
    void SetBlockIndex(int i);
    // Virtual so that a panel kind that draws its text (TVeRGBText) sees every change.
    virtual std::string GetText() const { return FText; }
    virtual void SetText(const std::string& s) { FText = s; }

    // Transient input state, read-only outside the routing code.
    bool Active() const { return FActive; }
    bool Pressed() const { return FPressed; }
    TVeRGBPanel* CapturePanel() const { return FCapture.Get(); }
    TVeRGBPanel* EnteredPanel() const { return FEnteredPanel; }

    // Life cycle.
    bool Create();
    void Release();
    bool AllCreate();
    void AllRelease();
    bool Show();
    void Hide();
    void ChangeCreatedToParent();
    void ChangeCreatedFromChild();

    // Dirty regions, in this panel's own coordinates.
    const TVeRectSet& ModifyRectSet() const { return FModifyRectSet; }
    void SetModify();
    void SetModifyRect(const TVeRect& r);
    void SetModifyToParent();
    void SetModifyToParent(const TVeRect& r);
    void SetModifyToChild(TVeRGBPanel* except);
    void SetModifyToChild(TVeRGBPanel* except, const TVeRect& r);
    void SetModifyFromParent(const TVeRect& r);
    void SetModifyFromChild(TVeRGBPanel* from, const TVeRect& r);
    void ClrModify();
    void ClrModifyToChild();
    void SubModify(const TVeRect& r);
    bool GetModified() const;
    void SetModified(bool v);
    void GetModifiedRectSet(TVeRectSet* out) const;
    void GetModifiedRect(TVeRect* out) const;

    // Drawing: the part (SX, SY, SX+DX, SY+DY) of this panel and its subtree, with the panel's
    // (0, 0) at (X, Y) of DestBits. True when every blit succeeded.
    bool Draw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);
    bool Draw(TVeRGBBits* DestBits);
    bool Update(TVeRGBBits* DestBits);
    void Anime();
    virtual void StatusClear();

    // Input, in this panel's own coordinates.
    bool MouseMove(TShiftState Shift, int X, int Y);
    bool MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    bool MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    void MouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled);
    void MouseEnter(int X, int Y);
    void MouseLeave();
    bool KeyDown(Word& Key, TShiftState Shift);
    bool KeyUp(Word& Key, TShiftState Shift);
    TVeRGBPanel* FindPosPanel(int X, int Y, bool onlyMouseControl) const;
    bool PosIsTrans(int X, int Y) const;
    void SetMouseCapToParent(TVeRGBPanel* p);
    void SetMouseCapToChild(TVeRGBPanel* p);

    // The active path: the chain of top-most created and visible children from an activated root.
    TVeRGBPanel* GetActivePanel() const;
    void SetActive();
    void SetActiveToParent();
    void SetActiveToChild();
    void SetActiveFromParent(bool v);
    void SetActiveFromChild(TVeRGBPanel* c);

    // Events, raised only through the CallOn operations below.
    TNotifyEvent OnClick;
    TNotifyEvent OnCreate;
    TNotifyEvent OnRelease;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TMouseWheelEvent OnMouseWheel;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnChange;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnAnime;
    TVeDrawEvent OnDraw;

    virtual void CallOnClick();
    virtual void CallOnCreate();
    virtual void CallOnRelease();
    virtual void CallOnShow();
    virtual void CallOnHide();
    virtual void CallOnMouseMove(TShiftState Shift, int X, int Y);
    virtual void CallOnMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void CallOnMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void CallOnMouseEnter();
    virtual void CallOnMouseLeave();
    virtual void CallOnMouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos, bool& Handled);
    virtual void CallOnKeyDown(Word& Key, TShiftState Shift);
    virtual void CallOnKeyUp(Word& Key, TShiftState Shift);
    virtual void CallOnChange();
    virtual void CallOnActivate();
    virtual void CallOnDeactivate();
    virtual void CallOnAnime();
    virtual bool CallOnDraw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY);

protected:
    // Whether drawing this panel paints every pixel of its area opaquely, so that its parent
    // may skip its own image there. A subclass that draws itself in another way overrides it.
    virtual bool CoversArea() const;

    // Runs an operation that may raise events (a handler may destroy this panel) and tells
    // whether this panel still exists afterwards.
    bool Survives(void (TVeRGBPanel::*operation)())
    {
        TVePanelRef self(this);
        (this->*operation)();
        return self.Alive();
    }
    template <class F>
    bool Survives(F&& call)
    {
        TVePanelRef self(this);
        call();
        return self.Alive();
    }

private:
    friend class TVePanelRef;
    bool ContainsPoint(int X, int Y) const
    {
        return FOffsetX <= X && X < FOffsetX + FSizeX && FOffsetY <= Y && Y < FOffsetY + FSizeY;
    }
    bool Shown() const { return FCreated && FVisible; }
    // Releases the capture of the whole tree when p or a panel inside p's subtree holds it.
    void DropCaptureWithin(const TVeRGBPanel* p)
    {
        const TVeRGBPanel* capture = FCapture.Get();
        if (capture != nullptr && capture->SearchPanelToParent(p))
            SetMouseCapToParent(nullptr);
    }
    void MoveArea(int& field, int v);
    // Moves a directly above b (above) or directly beneath it, when a stands below b.
    void Reorder(TVeRGBPanel* a, TVeRGBPanel* b, bool above);
    bool Lists(const TVeRGBPanel* c) const;
    void FitSizeToImage();
    void DetachChildrenOnDestroy();
    bool KeyRoute(Word& Key, TShiftState Shift, bool down);
    void ConvertFromCapture(TVeRGBPanel* capture, int& X, int& Y) const;
    void ReleaseOn(TMouseButton Button, TShiftState Shift, int X, int Y, bool wasPressed);
    template <class Route>
    bool ChildrenHandle(int X, int Y, bool& handled, Route route);

    bool FCreated = false;
    bool FVisible = true;
    bool FKeyControl = false;
    bool FMouseControl = true;
    bool FMouseTrans = false;
    bool FAutoSize = true;
    TVeRGBPanel* FParent = nullptr;
    std::vector<TVeRGBPanel*> FChildList;
    bool FActive = false;
    bool FPressed = false;
    TVePanelRef FCapture;
    TVeRGBPanel* FEnteredPanel = nullptr;
    TVeRGBBits* FImage = nullptr;
    TVeAlpha* FAlpha = nullptr;
    TVeRGB FColorKey;
    TMaskMode FMaskMode = mmOpaque;
    int FOffsetX = 0;
    int FOffsetY = 0;
    int FSizeX = 640;
    int FSizeY = 480;
    int FNumBlock = 1;
    int FBlockIndex = 0;
    bool FBatchCreate = false;
    TVeRectSet FModifyRectSet;
    std::string FText;
    TVePanelRef::TCell* FLife;
};
