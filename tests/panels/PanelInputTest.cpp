#include <gtest/gtest.h>

#include "PanelTestKit.h"

using paneltest::TEventLog;
using Lines = std::vector<std::string>;

namespace {

const TShiftState None;

struct TTree {
    TEventLog Log;  // outlives the panels, whose handlers write to it
    TComponent Owner{nullptr};
    TVeRGBPanel* New(TVeRGBPanel* parent, int x, int y, int w, int h, const char* name = nullptr)
    {
        auto* p = new TVeRGBPanel(&Owner);
        p->SetOffsetX(x);
        p->SetOffsetY(y);
        p->SetSizeX(w);
        p->SetSizeY(h);
        if (parent)
            p->SetParent(parent);
        if (name) {
            Log.Attach(p, name);
            p->OnChange = nullptr;
            p->OnActivate = nullptr;
            p->OnDeactivate = nullptr;
        }
        return p;
    }
};

// A root with one button at (100, 100), 50 x 50; both log their events.
struct TButtonScreen : TTree {
    TVeRGBPanel* Root;
    TVeRGBPanel* Button;
    TButtonScreen()
    {
        Root = New(nullptr, 0, 0, 640, 480, "root");
        Button = New(Root, 100, 100, 50, 50, "button");
        Root->AllCreate();
        Log.Take();
    }
};

}  // namespace

TEST(PanelMouse, PressDragOutAndReleaseOutsideGivesNoClick)
{
    TButtonScreen s;
    s.Root->MouseMove(None, 110, 110);
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Enter", "button:Move(10,10)"}));
    EXPECT_TRUE(s.Root->MouseDown(mbLeft, None, 110, 110));
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Down0(10,10)"}));
    EXPECT_EQ(s.Root->CapturePanel(), s.Button);
    EXPECT_EQ(s.Button->CapturePanel(), s.Button);
    EXPECT_TRUE(s.Button->Pressed());

    s.Root->MouseMove(None, 300, 310);  // the capture holds the moves, no leave yet
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Move(200,210)"}));
    EXPECT_TRUE(s.Root->MouseUp(mbLeft, None, 300, 310));
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Up0(200,210)", "button:Leave", "root:Move(300,310)"}));
    EXPECT_EQ(s.Root->CapturePanel(), nullptr);
    EXPECT_FALSE(s.Button->Pressed());
}

TEST(PanelMouse, DragBackInAndReleaseClicks)
{
    TButtonScreen s;
    s.Root->MouseMove(None, 110, 110);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    s.Root->MouseMove(None, 10, 10);
    s.Root->MouseMove(None, 120, 130);
    s.Log.Take();
    s.Root->MouseUp(mbLeft, None, 120, 130);
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Up0(20,30)", "button:Click", "button:Move(20,30)"}));
}

TEST(PanelMouse, RightButtonCapturesButNeverClicks)
{
    TButtonScreen s;
    s.Root->MouseDown(mbRight, None, 110, 110);
    EXPECT_EQ(s.Root->CapturePanel(), s.Button);
    EXPECT_FALSE(s.Button->Pressed());
    s.Root->MouseUp(mbRight, None, 110, 110);
    Lines lines = s.Log.Take();
    EXPECT_EQ(lines[0], "button:Down1(10,10)");
    EXPECT_EQ(lines[1], "button:Up1(10,10)");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "button:Click"), 0);
}

TEST(PanelMouse, HidingTheCapturingPanelRoutesTheReleaseByPosition)
{
    TButtonScreen s;
    s.Root->MouseDown(mbLeft, None, 110, 110);
    s.Button->Hide();
    EXPECT_EQ(s.Root->CapturePanel(), nullptr);
    s.Log.Take();
    EXPECT_TRUE(s.Root->MouseUp(mbLeft, None, 110, 110));
    EXPECT_EQ(s.Log.Take(), (Lines{"root:Up0(110,110)"}));

    // A capture panel released before the release arrives only loses the capture.
    s.Button->Show();
    s.Root->MouseDown(mbLeft, None, 110, 110);
    s.Button->OnRelease = nullptr;
    s.Button->OnHide = nullptr;
    s.Button->Release();
    EXPECT_EQ(s.Root->CapturePanel(), nullptr);
}

TEST(PanelMouse, ReleaseForAnUncreatedCaptureOnlyClearsIt)
{
    TButtonScreen s;
    s.Root->MouseDown(mbLeft, None, 110, 110);
    // Force the state a released capture panel leaves when nothing cleared it: a panel made
    // elsewhere and given this tree's capture.
    TVeRGBPanel* stray = s.New(nullptr, 0, 0, 10, 10);
    s.Root->SetMouseCapToParent(stray);
    s.Log.Take();
    EXPECT_FALSE(s.Root->MouseUp(mbLeft, None, 110, 110));
    EXPECT_EQ(s.Root->CapturePanel(), nullptr);
    EXPECT_TRUE(s.Log.Lines.empty());
}

TEST(PanelMouse, MoveFromOnePanelToAnotherLeavesEntersThenMoves)
{
    TButtonScreen s;
    TVeRGBPanel* other = s.New(s.Root, 200, 100, 50, 50, "other");
    other->Create();
    s.Root->MouseMove(None, 110, 110);
    s.Log.Take();
    s.Root->MouseMove(None, 210, 120);
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Leave", "other:Enter", "other:Move(10,20)"}));
    s.Root->MouseLeave();
    EXPECT_EQ(s.Log.Take(), (Lines{"root:Leave", "other:Leave"}));
    s.Root->MouseEnter(120, 120);
    EXPECT_EQ(s.Log.Take(), (Lines{"root:Enter", "button:Enter"}));
}

TEST(PanelMouse, TopmostOverlappingPanelGetsThePressAndMayPassItDown)
{
    TButtonScreen s;
    TVeRGBPanel* top = s.New(s.Root, 120, 120, 50, 50, "top");
    top->Create();
    s.Log.Take();
    s.Root->MouseDown(mbLeft, None, 125, 125);
    EXPECT_EQ(s.Log.Take(), (Lines{"top:Down0(5,5)"}));
    s.Root->MouseUp(mbLeft, None, 125, 125);
    s.Log.Take();

    top->SetMouseControl(false);
    s.Root->MouseDown(mbLeft, None, 125, 125);
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Down0(25,25)"}));
    s.Root->MouseUp(mbLeft, None, 125, 125);
    s.Log.Take();

    // A press on a transparent pixel of a MouseTrans panel falls through as well.
    top->SetMouseControl(true);
    top->SetMouseTrans(true);
    top->SetMaskMode(mmAlphaMask);
    TVeAlpha alpha(nullptr);
    alpha.Resize(50, 50);
    alpha.Create();
    alpha.BoxFill(0, 0, 49, 9, 255);
    top->SetAlpha(&alpha);
    s.Root->MouseDown(mbLeft, None, 125, 135);
    EXPECT_EQ(s.Log.Take(), (Lines{"button:Down0(25,35)"}));
    EXPECT_EQ(s.Root->CapturePanel(), s.Button);
    s.Root->MouseUp(mbLeft, None, 125, 135);
    s.Log.Take();
    s.Root->MouseDown(mbLeft, None, 125, 125);
    EXPECT_EQ(s.Log.Take(), (Lines{"top:Down0(5,5)"}));
    s.Root->MouseUp(mbLeft, None, 125, 125);
    top->SetAlpha(nullptr);
}

TEST(PanelMouse, TransparencyFollowsTheMaskMode)
{
    TTree t;
    TVeRGBPanel* p = t.New(nullptr, 0, 0, 10, 20);
    EXPECT_FALSE(p->PosIsTrans(1, 1));
    TVeRGBBits* image = paneltest::MakeTarget(&t.Owner, 10, 40);
    image->BoxFill(0, 0, 9, 9, 0x112233);
    p->SetImage(image);
    p->SetMaskMode(mmColorKey);
    p->SetColorKey(VeRGB(0x112233));
    EXPECT_TRUE(p->PosIsTrans(1, 1));
    EXPECT_FALSE(p->PosIsTrans(1, 15));
    p->SetMaskMode(mmNoImage);
    EXPECT_FALSE(p->PosIsTrans(1, 1));  // no plane
    TVeAlpha alpha(nullptr);
    alpha.Resize(10, 10);
    alpha.Create();
    alpha.Fill(9);
    p->SetAlpha(&alpha);
    EXPECT_FALSE(p->PosIsTrans(1, 1));
    EXPECT_TRUE(p->PosIsTrans(1, 15));  // outside the plane reads as 0
}

TEST(PanelMouse, WheelVisitsShownPanelsTopDownUntilHandled)
{
    TButtonScreen s;
    TVeRGBPanel* top = s.New(s.Root, 300, 300, 10, 10);
    TVeRGBPanel* inner = s.New(top, 0, 0, 5, 5);
    TVeRGBPanel* hidden = s.New(s.Root, 0, 0, 5, 5);
    s.Root->AllCreate();
    hidden->Hide();
    std::vector<std::string> order;
    auto hook = [&](TVeRGBPanel* p, std::string name, bool handle) {
        p->OnMouseWheel = [&order, name, handle](TObject*, TShiftState, int, const TPoint& at, bool& handled) {
            order.push_back(name + "(" + std::to_string(at.x) + "," + std::to_string(at.y) + ")");
            handled = handle;
        };
    };
    hook(s.Root, "root", false);
    hook(s.Button, "button", false);
    hook(top, "top", false);
    hook(inner, "inner", false);
    hook(hidden, "hidden", false);
    bool handled = false;
    s.Root->MouseWheel(None, 120, TPoint{1, 2}, handled);
    EXPECT_EQ(order, (Lines{"inner(-299,-298)", "top(-299,-298)", "button(-99,-98)", "root(1,2)"}));
    order.clear();
    hook(top, "top", true);
    s.Root->MouseWheel(None, 120, TPoint{1, 2}, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(order, (Lines{"inner(-299,-298)", "top(-299,-298)"}));
}

TEST(PanelKeys, DeepestKeyControlPanelOnTheActivePathTakesTheKey)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 640, 480, "root");
    TVeRGBPanel* scene = t.New(root, 0, 0, 640, 480, "scene");
    TVeRGBPanel* lower = t.New(root, 0, 0, 10, 10, "lower");
    TVeRGBPanel* dialog = t.New(scene, 0, 0, 10, 10, "dialog");
    root->AllCreate();
    t.Log.Take();
    Word key = VK_RETURN;
    EXPECT_FALSE(root->KeyDown(key, None));
    scene->SetKeyControl(true);
    lower->SetKeyControl(true);  // attached last: the top of the path
    EXPECT_TRUE(root->KeyDown(key, None));
    EXPECT_EQ(t.Log.Take(), (Lines{"lower:KeyDown13"}));
    lower->Hide();
    t.Log.Take();
    EXPECT_TRUE(root->KeyUp(key, None));
    EXPECT_EQ(t.Log.Take(), (Lines{"scene:KeyUp13"}));
    dialog->SetKeyControl(true);
    dialog->OnKeyDown = [](TObject*, Word& k, TShiftState) { k = VK_ESCAPE; };
    EXPECT_TRUE(root->KeyDown(key, None));
    EXPECT_EQ(key, VK_ESCAPE);
}

TEST(PanelActive, ActivatingTheRootMarksThePathOfTopmostShownChildren)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 640, 480, "root");
    TVeRGBPanel* a = t.New(root, 0, 0, 100, 100, "a");
    TVeRGBPanel* b = t.New(root, 50, 0, 100, 100, "b");
    TVeRGBPanel* b1 = t.New(b, 0, 0, 10, 10, "b1");
    for (TVeRGBPanel* p : {root, a, b, b1}) {
        t.Log.Attach(p, p == root ? "root" : p == a ? "a" : p == b ? "b" : "b1");
        p->OnChange = nullptr;
    }
    root->AllCreate();
    t.Log.Take();
    root->SetActive();
    EXPECT_EQ(t.Log.Take(), (Lines{"b1:Activate", "b:Activate", "root:Activate"}));
    EXPECT_TRUE(b1->Active());
    EXPECT_FALSE(a->Active());

    // Raising a brings it in front; the next recomputation moves the path.
    a->SetActive();
    EXPECT_EQ(root->GetChild(1), a);
    EXPECT_TRUE(t.Log.Take().empty());
    root->SetActiveToChild();
    EXPECT_EQ(t.Log.Take(), (Lines{"b1:Deactivate", "b:Deactivate", "a:Activate"}));
    b->SetParent(root);
    EXPECT_EQ(t.Log.Take(), (Lines{"a:Deactivate", "b1:Activate", "b:Activate"}));
}

// Handlers that delete panels while an event is routed: the routing must never touch a
// destroyed panel (the sanitizer build checks this).
TEST(PanelHandlers, DeletingPanelsMidRouteIsSafe)
{
    {
        TButtonScreen s;
        s.Button->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { delete s.Button; };
        EXPECT_TRUE(s.Root->MouseDown(mbLeft, None, 110, 110));
        EXPECT_EQ(s.Root->GetChildCount(), 0);
        EXPECT_EQ(s.Root->CapturePanel(), nullptr);
        s.Root->MouseUp(mbLeft, None, 110, 110);
    }
    {
        TButtonScreen s;
        s.Button->OnClick = [&](TObject*) {
            delete s.Root;
            delete s.Button;
        };
        s.Root->MouseDown(mbLeft, None, 110, 110);
        EXPECT_TRUE(s.Root->MouseUp(mbLeft, None, 110, 110));
    }
    {
        TButtonScreen s;
        TVeRGBPanel* other = s.New(s.Root, 200, 100, 50, 50);
        other->Create();
        s.Root->MouseMove(None, 110, 110);
        // Leaving the button destroys the panel being entered.
        s.Button->OnMouseLeave = [&](TObject*) { delete other; };
        s.Root->MouseMove(None, 210, 110);
        EXPECT_EQ(s.Root->EnteredPanel(), nullptr);
        EXPECT_EQ(s.Root->GetChildCount(), 1);
    }
    {
        TButtonScreen s;
        TVeRGBPanel* other = s.New(s.Root, 200, 100, 50, 50, "other");
        other->Create();
        s.Root->MouseMove(None, 110, 110);
        // Leaving the button takes the panel being entered elsewhere: it gets no events.
        s.Button->OnMouseLeave = [&](TObject*) { other->SetParent(nullptr); };
        s.Log.Take();
        s.Root->MouseMove(None, 210, 110);
        EXPECT_EQ(s.Log.Take(), (Lines{"root:Move(210,110)"}));
        EXPECT_EQ(s.Root->EnteredPanel(), nullptr);
    }
    {
        TButtonScreen s;
        TVeRGBPanel* below = s.New(s.Root, 100, 100, 50, 50);
        s.Root->RaiseOrder(below, s.Button);
        below->Create();
        below->SetMouseControl(false);  // the press falls through below to the button
        TVeRGBPanel* inner = s.New(below, 0, 0, 10, 10);
        inner->Create();
        inner->SetMouseControl(false);
        inner->OnMouseDown = nullptr;
        below->OnMouseDown = nullptr;
        // The button is reached after the top panel declined; its handler removes both.
        s.Button->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
            delete below;
            delete inner;
        };
        EXPECT_TRUE(s.Root->MouseDown(mbLeft, None, 105, 105));
        EXPECT_EQ(s.Root->GetChildCount(), 1);
    }
    {
        TButtonScreen s;
        s.Root->MouseDown(mbLeft, None, 110, 110);
        s.Button->OnMouseMove = [&](TObject*, TShiftState, int, int) { delete s.Root; };
        s.Root->MouseMove(None, 400, 400);
        EXPECT_EQ(s.Button->Parent(), nullptr);
        s.Root = nullptr;
    }
    {
        TButtonScreen s;
        TVeRGBPanel* second = s.New(s.Root, 0, 0, 5, 5);
        second->Create();
        s.Button->OnChange = [&](TObject*) { delete second; };
        s.Root->SetModify();  // the mark goes down through both children
        s.Button->OnChange = nullptr;
        EXPECT_EQ(s.Root->GetChildCount(), 1);
        s.Button->OnAnime = [&](TObject*) { delete s.Button; };
        s.Root->Anime();
        EXPECT_EQ(s.Root->GetChildCount(), 0);
    }
    {
        // A tick that deletes an earlier sibling: every other child still ticks once.
        TButtonScreen s;
        TVeRGBPanel* first = s.New(nullptr, 0, 0, 5, 5, "first");
        first->SetParent(s.Root);
        s.Root->RaiseOrder(s.Button, first);
        TVeRGBPanel* last = s.New(s.Root, 0, 0, 5, 5, "last");
        s.Root->AllCreate();
        ASSERT_EQ(s.Root->GetChild(0), first);
        ASSERT_EQ(s.Root->GetChild(2), last);
        s.Button->OnAnime = [&](TObject*) { delete first; };
        s.Log.Take();
        s.Root->Anime();
        EXPECT_EQ(s.Log.Take(), (Lines{"first:Anime", "first:Hide", "first:Release", "last:Anime", "root:Anime"}));
        EXPECT_EQ(s.Root->GetChildCount(), 2);
    }
    {
        // A group let go of without SetParent keeps its copy of the capture; the capturing
        // panel is then destroyed. The group must not route to it any more.
        TTree t;
        TVeRGBPanel* root = t.New(nullptr, 0, 0, 640, 480);
        TVeRGBPanel* group = t.New(root, 0, 0, 300, 300);
        TVeRGBPanel* button = t.New(group, 100, 100, 50, 50);
        root->AllCreate();
        EXPECT_TRUE(root->MouseDown(mbLeft, None, 110, 110));
        ASSERT_EQ(group->CapturePanel(), button);
        root->DelChild(group);
        EXPECT_EQ(root->CapturePanel(), nullptr);
        delete button;
        ASSERT_EQ(group->CapturePanel(), nullptr);
        EXPECT_TRUE(group->MouseMove(None, 110, 110));
        EXPECT_TRUE(group->MouseUp(mbLeft, None, 110, 110));
        group->Release();
    }
    {
        TButtonScreen s;
        TVeRGBBits* target = paneltest::MakeTarget(&s.Owner, 640, 480);
        TVeRGBPanel* root = s.Root;
        s.Button->OnDraw = [root](TObject*, TVeRGBBits*, int, int, int, int, int, int) {
            delete root;
            return false;
        };
        s.Button->OnChange = nullptr;
        root->SetModify();
        root->Update(target);
        EXPECT_EQ(s.Button->Parent(), nullptr);
    }
    {
        TButtonScreen s;
        TVeRGBPanel* other = s.New(s.Root, 0, 0, 5, 5);
        s.Root->SetActive();
        // Creating other makes it the active child; the button's deactivation deletes it.
        s.Button->OnDeactivate = [&](TObject*) { delete other; };
        other->Create();
        EXPECT_EQ(s.Root->GetChildCount(), 1);
        EXPECT_TRUE(s.Button->Active());
    }
    {
        TButtonScreen s;
        s.Button->OnHide = [&](TObject*) { delete s.Button; };
        s.Root->AllRelease();
        EXPECT_EQ(s.Root->GetChildCount(), 0);
        EXPECT_FALSE(s.Root->Created());
    }
    {
        TButtonScreen s;
        s.Button->SetKeyControl(true);
        s.Button->OnKeyDown = [&](TObject*, Word&, TShiftState) { delete s.Button; };
        s.Root->SetKeyControl(true);
        Word key = 'A';
        EXPECT_TRUE(s.Root->KeyDown(key, None));
        EXPECT_EQ(s.Root->GetChildCount(), 0);
    }
}
