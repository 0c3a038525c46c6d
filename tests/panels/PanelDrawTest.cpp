#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "PanelTestKit.h"

using paneltest::Colour;
using paneltest::MakeImage;
using paneltest::MakeTarget;
using paneltest::Rects;
using paneltest::TEventLog;
using Lines = std::vector<std::string>;

namespace {

struct TTree {
    TEventLog Log;  // outlives the panels, whose handlers write to it
    TComponent Owner{nullptr};
    TVeRGBPanel* New(TVeRGBPanel* parent, int x, int y, int w, int h)
    {
        auto* p = new TVeRGBPanel(&Owner);
        p->SetAutoSize(false);
        p->SetOffsetX(x);
        p->SetOffsetY(y);
        p->SetSizeX(w);
        p->SetSizeY(h);
        if (parent)
            p->SetParent(parent);
        return p;
    }
};

bool SamePixels(TVeRGBBits* a, TVeRGBBits* b)
{
    if (a->Width() != b->Width() || a->Height() != b->Height())
        return false;
    const size_t row = size_t(a->Width()) * BytesPerPixel(a->BitDepth());
    for (int y = 0; y < a->Height(); ++y)
        if (std::memcmp(a->Bits() + ptrdiff_t(y) * a->Pitch(), b->Bits() + ptrdiff_t(y) * b->Pitch(), row) != 0)
            return false;
    return true;
}

}  // namespace

TEST(PanelMarks, AMarkReachesTheChildItsParentAndAnOverlappingSibling)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 640, 480);
    TVeRGBPanel* child = t.New(root, 100, 100, 50, 50);
    TVeRGBPanel* sibling = t.New(root, 120, 0, 100, 200);
    TVeRGBPanel* far = t.New(root, 400, 400, 10, 10);
    root->AllCreate();
    root->ClrModifyToChild();
    TEventLog& log = t.Log;
    log.Attach(root, "root");
    log.Attach(child, "child");
    log.Attach(sibling, "sibling");
    log.Attach(far, "far");

    child->SetModify();
    EXPECT_EQ(Rects(child->ModifyRectSet()), (std::vector<TVeRect>{VeRect(0, 0, 50, 50)}));
    EXPECT_EQ(Rects(root->ModifyRectSet()), (std::vector<TVeRect>{VeRect(100, 100, 150, 150)}));
    EXPECT_EQ(Rects(sibling->ModifyRectSet()), (std::vector<TVeRect>{VeRect(0, 100, 30, 150)}));
    EXPECT_TRUE(far->ModifyRectSet().IsRectEmpty());
    // Down into the children first, then the panel, then up; the parent hands the mark to the
    // sender's siblings before its own event.
    EXPECT_EQ(log.Take(), (Lines{"child:Change", "sibling:Change", "root:Change"}));
}

TEST(PanelMarks, HiddenOrUncreatedPanelsKeepNoMarks)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 640, 480);
    TVeRGBPanel* hidden = t.New(root, 0, 0, 50, 50);
    TVeRGBPanel* inner = t.New(hidden, 0, 0, 10, 10);
    root->AllCreate();
    hidden->Hide();
    root->ClrModifyToChild();
    TEventLog& log = t.Log;
    log.Attach(hidden, "hidden");
    log.Attach(inner, "inner");
    hidden->SetModify();
    EXPECT_TRUE(log.Lines.empty());
    // inner is itself shown and keeps its own mark, but its hidden parent stops it there.
    inner->SetModify();
    EXPECT_EQ(log.Take(), (Lines{"inner:Change"}));
    EXPECT_TRUE(root->ModifyRectSet().IsRectEmpty());
    root->SetModify();
    EXPECT_TRUE(hidden->ModifyRectSet().IsRectEmpty());
    EXPECT_TRUE(log.Lines.empty());
    TVeRectSet set;
    root->GetModifiedRectSet(&set);
    EXPECT_EQ(Rects(set), (std::vector<TVeRect>{VeRect(0, 0, 640, 480)}));
}

TEST(PanelMarks, MovingAChildMarksItsOldAndNewArea)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 640, 480);
    TVeRGBPanel* child = t.New(root, 10, 10, 20, 20);
    root->AllCreate();
    root->ClrModifyToChild();
    child->SetOffsetX(100);
    TVeRectSet set;
    root->GetModifiedRectSet(&set);
    EXPECT_EQ(set.Area(), 800);
    EXPECT_EQ(set.Bounds(), VeRect(10, 10, 120, 30));
}

TEST(PanelMarks, CollectedSetIsClippedToTheRoot)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 100, 100);
    TVeRGBPanel* child = t.New(root, 90, 90, 50, 50);
    root->AllCreate();
    root->ClrModifyToChild();
    root->SetModifyRect(VeRect(200, 200, 300, 300));
    TVeRectSet set;
    set.UnionRect(VeRect(1, 1, 2, 2));
    root->GetModifiedRectSet(&set);
    EXPECT_TRUE(set.IsRectEmpty());
    EXPECT_TRUE(root->GetModified());  // the mark is held, only outside

    child->SetModify();
    root->GetModifiedRectSet(&set);
    EXPECT_EQ(Rects(set), (std::vector<TVeRect>{VeRect(90, 90, 100, 100)}));
    TVeRect bounds;
    root->GetModifiedRect(&bounds);
    EXPECT_EQ(bounds, VeRect(90, 90, 100, 100));

    root->Update(MakeTarget(&t.Owner, 100, 100));
    EXPECT_FALSE(root->GetModified());
}

TEST(PanelDraw, OpaqueChildrenHideTheParentImageOnlyWhereTheyCoverABand)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 100, 80);
    root->SetImage(MakeImage(&t.Owner, 100, 80, 1));
    TVeRGBPanel* left = t.New(root, 0, 0, 50, 80);
    left->SetImage(MakeImage(&t.Owner, 50, 80, 2));
    root->AllCreate();
    std::vector<TVeRect> asked;
    root->OnDraw = [&](TObject*, TVeRGBBits*, int, int, int sx, int sy, int dx, int dy) {
        asked.push_back(VeRect(sx, sy, sx + dx, sy + dy));
        return false;
    };
    TVeRGBBits* target = MakeTarget(&t.Owner, 100, 80);
    EXPECT_TRUE(root->Draw(target));
    EXPECT_EQ(asked, (std::vector<TVeRect>{VeRect(50, 0, 100, 80)}));
    EXPECT_EQ(target->PGet(70, 30), Colour(70, 30, 1));
    EXPECT_EQ(target->PGet(20, 30), Colour(20, 30, 2));

    left->SetParent(nullptr);
    TVeRGBPanel* centre = t.New(root, 25, 20, 50, 40);
    centre->SetImage(MakeImage(&t.Owner, 50, 40, 3));
    centre->Create();
    asked.clear();
    EXPECT_TRUE(root->Draw(target));
    EXPECT_EQ(asked, (std::vector<TVeRect>{VeRect(0, 0, 100, 80)}));
    EXPECT_EQ(target->PGet(30, 25), Colour(5, 5, 3));
}

TEST(PanelDraw, OnlyAChildThatPaintsItsWholeAreaHidesThePanelBeneath)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 100, 80);
    root->SetImage(MakeImage(&t.Owner, 100, 80, 1));
    TVeRGBPanel* left = t.New(root, 0, 0, 50, 80);
    root->AllCreate();
    int asks = 0;
    TVeRect last;
    root->OnDraw = [&](TObject*, TVeRGBBits*, int, int, int sx, int sy, int dx, int dy) {
        ++asks;
        last = VeRect(sx, sy, sx + dx, sy + dy);
        return false;
    };
    TVeRGBBits* target = MakeTarget(&t.Owner, 100, 80);
    auto drawnWhole = [&] {
        asks = 0;
        root->Draw(target);
        return asks == 1 && last == VeRect(0, 0, 100, 80);
    };
    TVeRGBBits notCreated(nullptr);
    left->SetImage(&notCreated);
    EXPECT_TRUE(drawnWhole());
    left->SetImage(MakeImage(&t.Owner, 50, 40, 2));  // shorter than the panel
    EXPECT_TRUE(drawnWhole());
    EXPECT_EQ(target->PGet(10, 60), Colour(10, 60, 1));
    left->SetImage(MakeImage(&t.Owner, 50, 160, 2));
    left->SetNumBlock(2);  // two blocks of 80 rows: covers
    EXPECT_FALSE(drawnWhole());
    left->SetNumBlock(4);  // blocks of 40 rows: the panel shows more than its block
    EXPECT_TRUE(drawnWhole());
    left->SetNumBlock(2);
    left->OnDraw = [](TObject*, TVeRGBBits*, int, int, int, int, int, int) { return true; };
    EXPECT_TRUE(drawnWhole());
    left->OnDraw = nullptr;
    left->SetMaskMode(mmColorKey);
    EXPECT_TRUE(drawnWhole());
}

TEST(PanelDraw, BlockIndexSelectsTheSourceRows)
{
    TTree t;
    TVeRGBPanel* p = t.New(nullptr, 0, 0, 10, 20);
    p->SetNumBlock(4);
    p->SetImage(MakeImage(&t.Owner, 10, 80, 4));
    p->SetBlockIndex(2);
    p->Create();
    TVeRGBBits* target = MakeTarget(&t.Owner, 10, 20);
    EXPECT_TRUE(p->Draw(target));
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(target->PGet(3, y), Colour(3, 40 + y, 4)) << y;
}

TEST(PanelDraw, MaskModesBlendKeyOrSkipTheImage)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 30, 30);
    root->SetImage(MakeImage(&t.Owner, 30, 30, 1));
    TVeRGBPanel* p = t.New(root, 0, 0, 30, 30);
    TVeRGBBits* image = MakeImage(&t.Owner, 30, 30, 2);
    image->BoxFill(0, 0, 4, 4, 0x123456);
    p->SetImage(image);
    root->AllCreate();
    TVeRGBBits* target = MakeTarget(&t.Owner, 30, 30);

    p->SetMaskMode(mmColorKey);
    p->SetColorKey(VeRGB(0x123456));
    root->Draw(target);
    EXPECT_EQ(target->PGet(2, 2), Colour(2, 2, 1));
    EXPECT_EQ(target->PGet(10, 10), Colour(10, 10, 2));

    p->SetMaskMode(mmAlphaMask);  // no plane: nothing drawn, no failure
    EXPECT_TRUE(root->Draw(target));
    EXPECT_EQ(target->PGet(10, 10), Colour(10, 10, 1));
    TVeAlpha* alpha = paneltest::MakeAlpha(&t.Owner, 30, 30);
    alpha->BoxFill(0, 0, 29, 14, 255);
    alpha->BoxFill(0, 15, 29, 29, 0);
    p->SetAlpha(alpha);
    root->Draw(target);
    EXPECT_EQ(target->PGet(10, 10), Colour(10, 10, 2));
    EXPECT_EQ(target->PGet(10, 20), Colour(10, 20, 1));

    p->SetMaskMode(mmNoImage);
    root->Draw(target);
    EXPECT_EQ(target->PGet(10, 10), Colour(10, 10, 1));
}

TEST(PanelDraw, OnDrawSuppressesTheImageButNotTheChildren)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 40, 40);
    root->SetImage(MakeImage(&t.Owner, 40, 40, 1));
    TVeRGBPanel* child = t.New(root, 10, 10, 10, 10);
    child->SetImage(MakeImage(&t.Owner, 10, 10, 2));
    root->AllCreate();
    root->OnDraw = [](TObject*, TVeRGBBits* dest, int x, int y, int, int, int dx, int dy) {
        dest->BoxFill(x, y, x + dx - 1, y + dy - 1, 0x00FF00);
        return true;
    };
    TVeRGBBits* target = MakeTarget(&t.Owner, 40, 40);
    EXPECT_TRUE(root->Draw(target));
    EXPECT_EQ(target->PGet(0, 0), 0x00FF00u);
    EXPECT_EQ(target->PGet(12, 13), Colour(2, 3, 2));
}

TEST(PanelDraw, FailedBlitIsReportedAndUpdateStillClearsTheMarks)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 40, 40);
    root->SetImage(MakeImage(&t.Owner, 40, 40, 1, bd32));
    root->Create();
    TVeRGBBits* target = MakeTarget(&t.Owner, 40, 40);
    EXPECT_FALSE(root->Update(target));
    EXPECT_FALSE(root->GetModified());
}

TEST(PanelDraw, MarksMadeWhileUpdatingAreKeptForTheNextFrame)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 40, 40);
    // other is drawn before clock, whose drawing marks it again.
    TVeRGBPanel* other = t.New(root, 20, 20, 10, 10);
    TVeRGBPanel* clock = t.New(root, 0, 0, 10, 10);
    root->AllCreate();
    clock->OnDraw = [&](TObject*, TVeRGBBits*, int, int, int, int, int, int) {
        other->SetModify();
        return false;
    };
    TVeRGBBits* target = MakeTarget(&t.Owner, 40, 40);
    root->Update(target);
    TVeRectSet set;
    root->GetModifiedRectSet(&set);
    EXPECT_EQ(Rects(set), (std::vector<TVeRect>{VeRect(20, 20, 30, 30)}));
}

TEST(PanelAnime, TicksChildrenBeforeParentsAndSkipsUncreated)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 40, 40);
    TVeRGBPanel* a = t.New(root, 0, 0, 10, 10);
    TVeRGBPanel* a1 = t.New(a, 0, 0, 10, 10);
    TVeRGBPanel* b = t.New(root, 0, 0, 10, 10);
    TVeRGBPanel* off = t.New(b, 0, 0, 10, 10);
    root->AllCreate();
    off->Release();
    a->Hide();  // hidden panels keep animating
    TEventLog& log = t.Log;
    for (auto [p, n] : {std::pair{root, "root"}, {a, "a"}, {a1, "a1"}, {b, "b"}, {off, "off"}}) {
        log.Attach(p, n);
        p->OnChange = nullptr;
    }
    root->Anime();
    EXPECT_EQ(log.Take(), (Lines{"a1:Anime", "a:Anime", "b:Anime", "root:Anime"}));
}

TEST(PanelStatus, StatusClearEmptiesTheSubtreeState)
{
    TTree t;
    TVeRGBPanel* root = t.New(nullptr, 0, 0, 40, 40);
    TVeRGBPanel* a = t.New(root, 0, 0, 10, 10);
    root->AllCreate();
    root->MouseMove(TShiftState(), 5, 5);
    root->MouseDown(mbLeft, TShiftState(), 5, 5);
    EXPECT_EQ(root->EnteredPanel(), a);
    EXPECT_EQ(root->CapturePanel(), a);
    EXPECT_TRUE(a->Pressed());
    root->StatusClear();
    EXPECT_EQ(root->EnteredPanel(), nullptr);
    EXPECT_EQ(root->CapturePanel(), nullptr);
    EXPECT_EQ(a->CapturePanel(), nullptr);
    EXPECT_FALSE(a->Pressed());
    EXPECT_FALSE(root->GetModified());
}

// After any sequence of changes, redrawing only the dirty area of a persistent picture gives
// the same pixels as drawing the whole tree afresh.
TEST(PanelUpdate, DirtyRedrawMatchesAFullRedrawAfterRandomChanges)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        TTree t;
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        const int W = 160;
        const int H = 120;
        TVeRGBPanel* root = t.New(nullptr, 0, 0, W, H);
        root->SetImage(MakeImage(&t.Owner, W, H, 0));
        std::vector<TVeRGBBits*> images{nullptr};
        for (int i = 0; i < 6; ++i)
            images.push_back(MakeImage(&t.Owner, pick(10, 90), pick(10, 120), i + 1));
        TVeRGBBits* keyed = MakeImage(&t.Owner, 60, 60, 9);
        keyed->BoxFill(10, 10, 40, 30, 0);
        images.push_back(keyed);
        TVeAlpha* alpha = paneltest::MakeAlpha(&t.Owner, 80, 80);

        std::vector<TVeRGBPanel*> panels{root};
        for (int i = 0; i < 14; ++i) {
            TVeRGBPanel* parent = panels[size_t(pick(0, int(panels.size()) - 1))];
            TVeRGBPanel* p = t.New(parent, pick(-20, W), pick(-20, H), pick(0, 80), pick(0, 80));
            p->SetAutoSize(pick(0, 1) == 1);
            p->SetNumBlock(pick(1, 3));
            p->SetImage(images[size_t(pick(0, int(images.size()) - 1))]);
            p->SetMaskMode(TMaskMode(pick(0, 3)));
            p->SetAlpha(alpha);
            panels.push_back(p);
        }
        root->AllCreate();
        TVeRGBBits* screen = MakeTarget(&t.Owner, W, H);
        TVeRGBBits* fresh = MakeTarget(&t.Owner, W, H);
        root->Draw(screen);

        for (int step = 0; step < 150; ++step) {
            TVeRGBPanel* p = panels[size_t(pick(1, int(panels.size()) - 1))];
            TVeRGBPanel* q = panels[size_t(pick(0, int(panels.size()) - 1))];
            switch (pick(0, 12)) {
            case 0: p->SetOffsetX(pick(-20, W)); break;
            case 1: p->SetOffsetY(pick(-20, H)); break;
            case 2: p->SetSizeX(pick(0, 90)); break;
            case 3: p->SetSizeY(pick(0, 90)); break;
            case 4: p->SetVisible(!p->Visible()); break;
            case 5: p->SetCreated(!p->Created()); break;
            case 6: if (p->Parent()) p->Parent()->RaiseOrder(p, p->Parent()->GetChild(pick(0, 3))); break;
            case 7: if (p->Parent()) p->Parent()->DownOrder(p->Parent()->GetChild(pick(0, 3)), p); break;
            case 8: p->SetActive(); break;
            case 9: p->SetParent(q); if (!p->Parent()) p->SetParent(root); break;
            case 10: p->SetNumBlock(pick(1, 4)); p->SetBlockIndex(pick(0, 3)); break;
            case 11: p->SetImage(images[size_t(pick(0, int(images.size()) - 1))]); break;
            case 12: p->SetMaskMode(TMaskMode(pick(0, 3))); p->SetAutoSize(pick(0, 1) == 1); break;
            }
            if (pick(0, 2) != 0)
                continue;
            root->Update(screen);
            fresh->Cls();
            root->Draw(fresh);
            ASSERT_TRUE(SamePixels(screen, fresh)) << "seed " << seed << " step " << step;
        }
    }
}
