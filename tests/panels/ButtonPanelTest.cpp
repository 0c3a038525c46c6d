#include <gtest/gtest.h>

#include <climits>

#include "PanelTestKit.h"
#include "panels/Vergbbtn.h"

using Lines = std::vector<std::string>;

namespace {

const TShiftState None;

// A root with one 50 x 20 button at (100, 100) whose strip is normal, focus, down, disable.
struct TButtonScreen {
    paneltest::TEventLog Log;
    TComponent Owner{nullptr};
    TVeRGBPanel* Root = new TVeRGBPanel(&Owner);
    TVeRGBBtn* Button = new TVeRGBBtn(&Owner, Root);
    TButtonScreen()
    {
        Button->SetOffsetX(100);
        Button->SetOffsetY(100);
        Button->SetSizeX(50);
        Button->SetSizeY(20);
        Button->SetPatFocus(1);
        Button->SetPatDown(1);
        Button->SetPatDisable(1);
        Log.Attach(Button, "btn");
        Button->OnMouseMove = nullptr;
        Button->OnChange = nullptr;
        Root->AllCreate();
        Log.Take();
    }
    // The block shown after each of n animation ticks.
    std::vector<int> Tick(int n)
    {
        std::vector<int> blocks;
        for (int i = 0; i < n; ++i) {
            Root->Anime();
            blocks.push_back(Button->BlockIndex());
        }
        return blocks;
    }
};

}  // namespace

TEST(Button, StateBlocksFollowEnterPressReleaseLeaveAndDisable)
{
    TButtonScreen s;
    ASSERT_EQ(s.Button->NumBlock(), 4);
    s.Root->MouseMove(None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 2);
    s.Root->MouseUp(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Root->MouseDown(mbRight, None, 110, 110);  // only the left button shows the down pattern
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Root->MouseUp(mbRight, None, 110, 110);
    EXPECT_EQ(s.Log.Take(), (Lines{"btn:Enter", "btn:Down0(10,10)", "btn:Up0(10,10)", "btn:Click",
                                   "btn:Down1(10,10)", "btn:Up1(10,10)"}));
    s.Root->MouseMove(None, 10, 10);
    EXPECT_EQ(s.Button->BlockIndex(), 0);

    s.Button->SetEnabled(false);
    s.Root->MouseMove(None, 110, 110);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 3);
    s.Root->MouseUp(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 3);
    EXPECT_EQ(s.Log.Take(), (Lines{"btn:Leave", "btn:Enter", "btn:Down0(10,10)", "btn:Up0(10,10)"}));
    s.Button->SetEnabled(true);
    EXPECT_EQ(s.Button->BlockIndex(), 1);

    // States without frames fall through: no disable pattern still shows focus and down; a
    // selected button without a selected pattern shows what an unselected one would.
    s.Button->SetPatDisable(0);
    s.Button->SetEnabled(false);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 2);
    s.Root->MouseUp(mbLeft, None, 110, 110);
    s.Button->SetSelected(true);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Button->SetPatSelected(2);
    EXPECT_EQ(s.Button->BlockIndex(), 2);
    EXPECT_EQ(s.Button->NumBlock(), 5);

    // A cleared status keeps the block until the next step, which wraps into the new range.
    s.Button->SetSelected(false);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    ASSERT_EQ(s.Button->BlockIndex(), 4);
    s.Root->StatusClear();
    EXPECT_EQ(s.Button->BlockIndex(), 4);
    EXPECT_EQ(s.Tick(1), (std::vector<int>{0}));
}

TEST(Button, PatternCountsKeepNumBlockAndRefuseBadValues)
{
    TComponent owner(nullptr);
    auto* b = new TVeRGBBtn(&owner);
    EXPECT_EQ(b->SizeX(), 98);
    b->SetPatNormal(0);
    b->SetPatFocus(-1);
    EXPECT_EQ(b->NumBlock(), 1);
    b->SetPatNormal(2);
    b->SetPatFocus(3);
    b->SetPatDown(1);
    EXPECT_EQ(b->NumBlock(), 6);
    b->SetPatDown(INT_MAX - 2);  // the total would wrap past the int range
    EXPECT_EQ(b->PatDown(), 1);
    EXPECT_EQ(b->NumBlock(), 6);
}

TEST(Button, AnimationRoundTripsWrapsAndSkipsHiddenButtons)
{
    TButtonScreen s;
    s.Button->SetPatFocus(7);  // blocks 1..7
    s.Button->SetAnimeWait(4);
    s.Button->SetAnimeType(batRoundtrip);
    s.Root->MouseMove(None, 110, 110);
    ASSERT_EQ(s.Button->BlockIndex(), 1);
    std::vector<int> expected;
    const int order[] = {1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 2, 3};
    for (int i = 0; i < 14; ++i)
        for (int t = 0; t < 4; ++t)
            expected.push_back(t < 3 ? order[i] : order[i + 1]);
    EXPECT_EQ(s.Tick(4 * 14), expected);

    s.Tick(4 * 7);  // now going backwards at 4
    ASSERT_EQ(s.Button->BlockIndex(), 4);
    s.Button->SetAnimeType(batWraparound);
    s.Button->SetAnimeWait(0);
    EXPECT_EQ(s.Tick(5), (std::vector<int>{5, 6, 7, 1, 2}));

    s.Button->SetVisible(false);
    s.Log.Take();
    s.Tick(3);
    EXPECT_EQ(s.Button->BlockIndex(), 2);
    EXPECT_TRUE(s.Log.Take().empty());  // no step and no OnAnime

    s.Root->MouseMove(None, 0, 0);
    s.Button->SetVisible(true);
    EXPECT_EQ(s.Tick(3), (std::vector<int>{0, 0, 0}));  // one normal frame never moves
}
