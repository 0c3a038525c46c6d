#include <gtest/gtest.h>

#include <memory>

#include "PanelTestKit.h"
#include "platform/Dialogs.h"

using paneltest::TEventLog;
using Lines = std::vector<std::string>;

namespace {

// Owns everything a test makes; panels are deleted by their owner at the end.
struct TTree {
    TEventLog Log;  // outlives the panels, whose handlers write to it
    TComponent Owner{nullptr};
    TVeRGBPanel* New(TVeRGBPanel* parent = nullptr, int x = 0, int y = 0, int w = 640, int h = 480)
    {
        auto* p = new TVeRGBPanel(&Owner);
        p->SetOffsetX(x);
        p->SetOffsetY(y);
        p->SetSizeX(w);
        p->SetSizeY(h);
        if (parent)
            p->SetParent(parent);
        return p;
    }
};

}  // namespace

TEST(PanelTree, NewPanelHasDefaultsAndStaysSilentUntilCreated)
{
    TTree t;
    TVeRGBPanel* p = t.New();
    EXPECT_FALSE(p->Created());
    EXPECT_TRUE(p->Visible());
    EXPECT_TRUE(p->MouseControl());
    EXPECT_FALSE(p->KeyControl());
    EXPECT_FALSE(p->MouseTrans());
    EXPECT_TRUE(p->AutoSize());
    EXPECT_EQ(p->SizeX(), 640);
    EXPECT_EQ(p->SizeY(), 480);
    EXPECT_EQ(p->NumBlock(), 1);
    EXPECT_EQ(p->BlockIndex(), 0);
    EXPECT_EQ(p->MaskMode(), mmOpaque);
    EXPECT_EQ(p->ColorKey().ToDWORD(), 0u);

    TEventLog& log = t.Log;
    log.Attach(p, "p");
    p->Hide();
    p->Show();
    p->SetModify();
    EXPECT_TRUE(log.Lines.empty());
    EXPECT_FALSE(p->GetModified());
    EXPECT_TRUE(p->Visible());
}

TEST(PanelTree, AllCreateRunsParentFirstAndAllReleaseChildrenFirst)
{
    TTree t;
    TVeRGBPanel* root = t.New();
    TVeRGBPanel* a = t.New(root);
    TVeRGBPanel* b = t.New(root);
    TVeRGBPanel* a1 = t.New(a);
    b->Hide();
    TEventLog& log = t.Log;
    log.Attach(root, "root");
    log.Attach(a, "a");
    log.Attach(b, "b");
    log.Attach(a1, "a1");
    for (TVeRGBPanel* p : {root, a, b, a1})
        p->OnChange = nullptr;

    EXPECT_TRUE(root->AllCreate());
    Lines created = log.Take();
    // The active path is computed once the whole subtree exists: root is not activated here,
    // so nobody is activated.
    EXPECT_EQ(created, (Lines{"root:Create", "root:Show", "a:Create", "a:Show", "a1:Create", "a1:Show", "b:Create"}));

    root->AllRelease();
    EXPECT_EQ(log.Take(), (Lines{"a1:Hide", "a1:Release", "a:Hide", "a:Release", "b:Release", "root:Hide", "root:Release"}));
    EXPECT_FALSE(root->Created() || a->Created() || b->Created() || a1->Created());
}

TEST(PanelTree, FailedCreateIsReleasedAgainAndAllCreateGoesOn)
{
    TTree t;
    TVeRGBPanel* root = t.New();
    TVeRGBPanel* bad = t.New(root);
    TVeRGBPanel* good = t.New(root);
    TEventLog& log = t.Log;
    log.Attach(bad, "bad");
    bad->OnChange = nullptr;
    bad->OnShow = [](TObject*) { throw Exception("show failed"); };
    EXPECT_FALSE(root->AllCreate());
    EXPECT_EQ(log.Take(), (Lines{"bad:Create", "bad:Hide", "bad:Release"}));
    EXPECT_FALSE(bad->Created());
    EXPECT_TRUE(good->Created());
    EXPECT_TRUE(root->Created());
    EXPECT_FALSE(bad->Create());
}

TEST(PanelTree, ParentInsideOwnSubtreeLeavesPanelDetached)
{
    TTree t;
    TVeRGBPanel* root = t.New();
    TVeRGBPanel* a = t.New(root);
    TVeRGBPanel* a1 = t.New(a);
    a->SetParent(a1);
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(root->GetChildCount(), 0);
    EXPECT_EQ(a1->Parent(), a);
    a->SetParent(root);
    a->SetParent(a);
    EXPECT_EQ(a->Parent(), nullptr);
    // AddChild refuses an ancestor and a child it already lists.
    a->AddChild(a1);
    EXPECT_EQ(a->GetChildCount(), 1);
    a1->AddChild(a);
    EXPECT_EQ(a1->GetChildCount(), 0);
    EXPECT_EQ(a->GetChild(1), nullptr);
    EXPECT_EQ(a->GetChild(-1), nullptr);
}

TEST(PanelTree, SettingTheSameParentAgainBringsThePanelToTheTop)
{
    TTree t;
    TVeRGBPanel* root = t.New();
    TVeRGBPanel* a = t.New(root);
    TVeRGBPanel* b = t.New(root);
    a->SetParent(root);
    EXPECT_EQ(root->GetChild(0), b);
    EXPECT_EQ(root->GetChild(1), a);
}

TEST(PanelTree, AutoSizeFollowsTheImageBlock)
{
    TTree t;
    TVeRGBPanel* p = t.New();
    TVeRGBBits* image = paneltest::MakeTarget(&t.Owner, 100, 300);
    p->SetNumBlock(3);
    p->SetImage(image);
    EXPECT_EQ(p->SizeX(), 100);
    EXPECT_EQ(p->SizeY(), 100);

    TVeRGBPanel* q = t.New(nullptr, 0, 0, 10, 20);
    q->SetAutoSize(false);
    q->SetImage(image);
    EXPECT_EQ(q->SizeX(), 10);
    EXPECT_EQ(q->SizeY(), 20);
    q->SetAutoSize(true);
    EXPECT_EQ(q->SizeX(), 100);
    EXPECT_EQ(q->SizeY(), 300);

    TVeRGBBits notCreated(nullptr);
    TVeRGBPanel* r = t.New(nullptr, 0, 0, 10, 20);
    r->SetImage(&notCreated);
    EXPECT_EQ(r->SizeX(), 10);
}

TEST(PanelTree, BlockIndexStaysInsideTheBlocks)
{
    TTree t;
    TVeRGBPanel* p = t.New();
    p->SetNumBlock(6);
    p->SetBlockIndex(5);
    p->SetNumBlock(2);
    EXPECT_EQ(p->BlockIndex(), 1);
    p->SetBlockIndex(2);
    EXPECT_EQ(p->BlockIndex(), 1);
    p->SetBlockIndex(-1);
    EXPECT_EQ(p->BlockIndex(), 1);
    p->SetNumBlock(0);
    p->SetNumBlock(-3);
    EXPECT_EQ(p->NumBlock(), 2);
}

TEST(PanelTree, RaiseAndDownOrderMoveOnlyALowerPanel)
{
    TTree t;
    TVeRGBPanel* root = t.New();
    TVeRGBPanel* a = t.New(root);
    TVeRGBPanel* x = t.New(root);
    TVeRGBPanel* b = t.New(root);
    auto order = [&] {
        std::vector<TVeRGBPanel*> v;
        for (int i = 0; i < root->GetChildCount(); ++i)
            v.push_back(root->GetChild(i));
        return v;
    };
    root->RaiseOrder(a, b);
    EXPECT_EQ(order(), (std::vector<TVeRGBPanel*>{x, b, a}));
    root->RaiseOrder(a, b);  // already above
    EXPECT_EQ(order(), (std::vector<TVeRGBPanel*>{x, b, a}));
    root->RaiseOrder(a, nullptr);
    EXPECT_EQ(order(), (std::vector<TVeRGBPanel*>{x, b, a}));

    a->SetParent(nullptr);
    b->SetParent(nullptr);
    x->SetParent(nullptr);
    a->SetParent(root);
    x->SetParent(root);
    b->SetParent(root);
    root->DownOrder(a, b);
    EXPECT_EQ(order(), (std::vector<TVeRGBPanel*>{x, a, b}));
    root->DownOrder(b, a);
    EXPECT_EQ(order(), (std::vector<TVeRGBPanel*>{x, a, b}));
}

TEST(PanelTree, ReorderMarksTheMovedPanel)
{
    TTree t;
    TVeRGBPanel* root = t.New();
    TVeRGBPanel* a = t.New(root, 10, 10, 20, 20);
    TVeRGBPanel* b = t.New(root, 20, 20, 20, 20);
    root->AllCreate();
    root->ClrModifyToChild();
    root->RaiseOrder(a, b);
    TVeRectSet set;
    root->GetModifiedRectSet(&set);
    EXPECT_EQ(set.Bounds(), VeRect(10, 10, 30, 30));
    EXPECT_EQ(set.Area(), 400);
}

TEST(PanelTree, DestroyingAParentDetachesItsChildren)
{
    TTree t;
    auto* root = new TVeRGBPanel(nullptr);
    TVeRGBPanel* a = t.New(root);
    TVeRGBPanel* b = t.New(root);
    root->AllCreate();
    delete root;
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(b->Parent(), nullptr);
    EXPECT_TRUE(a->Created());
}

TEST(PanelTree, DestroyingAParentEndsWithAChildOfAnotherParent)
{
    TTree t;
    auto* root = new TVeRGBPanel(nullptr);
    TVeRGBPanel* other = t.New();
    TVeRGBPanel* stray = t.New(other);
    TVeRGBPanel* own = new TVeRGBPanel(&t.Owner, root);
    root->AddChild(stray);  // listed here, but its Parent is other
    root->AddChild(own);    // already listed: ignored
    EXPECT_EQ(root->GetChildCount(), 2);
    delete root;
    EXPECT_EQ(stray->Parent(), other);
    EXPECT_EQ(other->GetChildCount(), 1);
    EXPECT_EQ(own->Parent(), nullptr);
}

TEST(PanelTree, DestructionShowsAHandlersExceptionAndGoesOn)
{
    std::vector<std::string> shown;
    auto previous = SetMessageBoxHandler([&](const std::string& text, const std::string&) { shown.push_back(text); });
    {
        TTree t;
        auto* root = new TVeRGBPanel(nullptr);
        TVeRGBPanel* a = t.New(root);
        root->AllCreate();
        root->OnHide = [](TObject*) { throw Exception("hide failed"); };
        delete root;
        EXPECT_EQ(a->Parent(), nullptr);
    }
    SetMessageBoxHandler(previous);
    EXPECT_FALSE(shown.empty());
}

TEST(PanelTree, ScreenCoordinatesAddEveryOffsetUpToTheRoot)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 5, 7);
    TVeRGBPanel* a = t.New(root, 100, 50, 200, 200);
    TVeRGBPanel* a1 = t.New(a, 10, 20, 50, 50);
    int x = 1, y = 2;
    a1->ClientToScreen(x, y);
    EXPECT_EQ(x, 116);
    EXPECT_EQ(y, 79);
    a1->ScreenToClient(x, y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
}

TEST(PanelTree, TextIsStoredWithoutMarking)
{
    TTree t;
    TVeRGBPanel* p = t.New();
    p->Create();
    p->ClrModify();
    p->SetText("title.png");
    EXPECT_EQ(p->GetText(), "title.png");
    EXPECT_FALSE(p->GetModified());
}
