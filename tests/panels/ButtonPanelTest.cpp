#include <gtest/gtest.h>

#include <climits>

#include "PanelTestKit.h"
#include "panels/Vergbbtn.h"

using paneltest::TEventLog;
using Lines = std::vector<std::string>;

namespace {

const TShiftState None;

// A root with one button at (100, 100), 50 x 20, whose strip is normal, focus, down, disable.
struct TButtonScreen {
    TEventLog Log;
    TComponent Owner{nullptr};
    TVeRGBPanel* Root;
    TVeRGBBtn* Button;
    TButtonScreen()
    {
        Root = new TVeRGBPanel(&Owner);
        Button = new TVeRGBBtn(&Owner, Root);
        Button->SetOffsetX(100);
        Button->SetOffsetY(100);
        Button->SetSizeX(50);
        Button->SetSizeY(20);
        Button->SetPatFocus(1);
        Button->SetPatDown(1);
        Button->SetPatDisable(1);
        Log.Attach(Button, "btn");
        Button->OnMouseMove = nullptr;
        Button->OnAnime = nullptr;
        Button->OnChange = nullptr;
        Root->AllCreate();
        Log.Take();
    }
    // Ticks the animation n times and returns the block shown after each tick.
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

TEST(Button, ConstructorsSetSizesAndDefaults)
{
    TComponent owner(nullptr);
    auto* alone = new TVeRGBBtn(&owner);
    EXPECT_EQ(alone->SizeX(), 98);
    EXPECT_EQ(alone->SizeY(), 31);
    EXPECT_TRUE(alone->Enabled());
    EXPECT_EQ(alone->PatNormal(), 1);
    EXPECT_EQ(alone->AnimeWait(), 1);
    EXPECT_EQ(alone->AnimeType(), batWraparound);
    EXPECT_EQ(alone->NumBlock(), 1);
    auto* child = new TVeRGBBtn(&owner, alone);
    EXPECT_EQ(child->SizeX(), 640);
    EXPECT_EQ(child->SizeY(), 480);
    EXPECT_EQ(child->Parent(), alone);
}

TEST(Button, StateBlocksFollowEnterPressReleaseLeaveAndDisable)
{
    TButtonScreen s;
    ASSERT_EQ(s.Button->NumBlock(), 4);
    EXPECT_EQ(s.Button->BlockIndex(), 0);

    s.Root->MouseMove(None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 2);
    s.Root->MouseUp(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    EXPECT_EQ(s.Log.Take(), (Lines{"btn:Enter", "btn:Down0(10,10)", "btn:Up0(10,10)", "btn:Click"}));

    // A right press is not a left one: no down pattern, but the events still come.
    s.Root->MouseDown(mbRight, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Root->MouseUp(mbRight, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    s.Log.Take();

    s.Root->MouseMove(None, 10, 10);
    EXPECT_EQ(s.Button->BlockIndex(), 0);
    EXPECT_EQ(s.Log.Take(), (Lines{"btn:Leave"}));

    // Disabled: the disable block under the mouse and while pressed, and no click.
    s.Button->SetEnabled(false);
    EXPECT_EQ(s.Button->BlockIndex(), 3);
    s.Root->MouseMove(None, 110, 110);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 3);
    s.Root->MouseUp(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Button->BlockIndex(), 3);
    EXPECT_EQ(s.Log.Take(), (Lines{"btn:Enter", "btn:Down0(10,10)", "btn:Up0(10,10)"}));

    // Enabled again while the mouse is still inside: back to focus.
    s.Button->SetEnabled(true);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
}

TEST(Button, StatesWithoutFramesFallThrough)
{
    // Without a disable pattern a disabled button still shows focus and down.
    TComponent owner(nullptr);
    auto* root = new TVeRGBPanel(&owner);
    auto* b = new TVeRGBBtn(&owner, root);
    b->SetSizeX(10);
    b->SetSizeY(10);
    b->SetPatFocus(1);
    b->SetPatDown(1);
    root->AllCreate();
    b->SetEnabled(false);
    root->MouseMove(None, 5, 5);
    EXPECT_EQ(b->BlockIndex(), 1);
    root->MouseDown(mbLeft, None, 5, 5);
    EXPECT_EQ(b->BlockIndex(), 2);
    root->MouseUp(mbLeft, None, 5, 5);

    // Selected without a selected pattern behaves as unselected; with one, it wins over focus.
    b->SetSelected(true);
    EXPECT_EQ(b->BlockIndex(), 1);
    b->SetPatSelected(2);
    EXPECT_EQ(b->NumBlock(), 5);
    EXPECT_EQ(b->BlockIndex(), 2);
    b->SetSelected(false);
    EXPECT_EQ(b->BlockIndex(), 1);
}

TEST(Button, PatternCountsKeepNumBlockAndRefuseBadValues)
{
    TComponent owner(nullptr);
    auto* b = new TVeRGBBtn(&owner);
    b->SetPatNormal(0);
    b->SetPatNormal(-3);
    b->SetPatFocus(-1);
    b->SetPatDisable(-1);
    EXPECT_EQ(b->PatNormal(), 1);
    EXPECT_EQ(b->PatFocus(), 0);
    EXPECT_EQ(b->NumBlock(), 1);

    b->SetPatNormal(2);
    b->SetPatFocus(3);
    b->SetPatSelected(1);
    b->SetPatDown(1);
    b->SetPatDisable(1);
    EXPECT_EQ(b->NumBlock(), 8);
    // A count whose total would wrap past the int range is refused.
    b->SetPatDown(INT_MAX - 2);
    EXPECT_EQ(b->PatDown(), 1);
    EXPECT_EQ(b->NumBlock(), 8);
    b->SetAnimeWait(-1);
    EXPECT_EQ(b->AnimeWait(), 1);
    b->SetAnimeWait(0);
    EXPECT_EQ(b->AnimeWait(), 0);
}

TEST(Button, RoundTripShowsEachFrameForTheWaitWithoutRepeatingEnds)
{
    TButtonScreen s;
    s.Button->SetPatFocus(7);  // blocks 1..7, then down 8, disable 9
    s.Button->SetAnimeWait(4);
    s.Button->SetAnimeType(batRoundtrip);
    s.Root->MouseMove(None, 110, 110);
    ASSERT_EQ(s.Button->BlockIndex(), 1);

    const std::vector<int> blocks = s.Tick(4 * 14);
    std::vector<int> expected;
    const int order[] = {1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 2, 3};
    for (int i = 0; i < 14; ++i)
        for (int t = 0; t < 4; ++t)
            expected.push_back(t < 3 ? order[i] : order[i + 1]);
    EXPECT_EQ(blocks, expected);

    // Going backwards (at 3 after 2); wrap-around resumes forward stepping at once.
    s.Tick(4 * 6);
    ASSERT_EQ(s.Button->BlockIndex(), 5);
    s.Tick(4);
    ASSERT_EQ(s.Button->BlockIndex(), 4);
    s.Button->SetAnimeType(batWraparound);
    EXPECT_EQ(s.Tick(4).back(), 5);
    s.Tick(4 * 2);
    EXPECT_EQ(s.Tick(4).back(), 1);  // 7 wraps to the pattern's first frame
}

TEST(Button, WrapAroundCyclesAndOnlyVisibleButtonsStep)
{
    TButtonScreen s;
    s.Button->SetPatNormal(7);
    s.Button->SetAnimeWait(0);
    EXPECT_EQ(s.Tick(8), (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 1}));

    int animes = 0;
    s.Button->OnAnime = [&](TObject*) { ++animes; };
    s.Button->SetVisible(false);
    s.Tick(3);
    EXPECT_EQ(s.Button->BlockIndex(), 1);
    EXPECT_EQ(animes, 0);
    s.Button->SetVisible(true);
    s.Tick(1);
    EXPECT_EQ(animes, 1);

    // The one-frame default never moves.
    TComponent owner(nullptr);
    auto* root = new TVeRGBPanel(&owner);
    auto* plain = new TVeRGBBtn(&owner, root);
    root->AllCreate();
    for (int i = 0; i < 5; ++i)
        root->Anime();
    EXPECT_EQ(plain->BlockIndex(), 0);
}

TEST(Button, StatusClearKeepsTheBlockUntilTheNextStep)
{
    TButtonScreen s;
    s.Button->SetAnimeWait(2);
    s.Root->MouseMove(None, 110, 110);
    s.Root->MouseDown(mbLeft, None, 110, 110);
    ASSERT_EQ(s.Button->BlockIndex(), 2);
    s.Root->StatusClear();
    EXPECT_FALSE(s.Button->Pressed());
    EXPECT_EQ(s.Button->BlockIndex(), 2);
    // The next frame step takes the normal pattern's range: 2 + 1 lies past it, so it wraps.
    EXPECT_EQ(s.Tick(2), (std::vector<int>{2, 0}));
    // No click from a release after the clear.
    s.Root->MouseUp(mbLeft, None, 110, 110);
    EXPECT_EQ(s.Log.Take(), (Lines{"btn:Enter", "btn:Down0(10,10)", "btn:Up0(10,10)"}));
}
