// The renderer on a recording display: what each frame presents and what it leaves behind.
#include <cstring>
#include <thread>

#include "game/GameFormHarness.h"

namespace {

std::vector<uint8_t> Snapshot(TVeRGBBits* bits)
{
    std::vector<uint8_t> out;
    int bpp = BytesPerPixel(bits->BitDepth());
    bits->Lock();
    for (int y = 0; y < bits->Height(); ++y) {
        const uint8_t* row = bits->Bits() + static_cast<ptrdiff_t>(y) * bits->Pitch();
        out.insert(out.end(), row, row + bits->Width() * bpp);
    }
    bits->Unlock();
    return out;
}

class FrameRenderTest : public GameFormHarness {
protected:
    void MoveMouse(int x, int y)
    {
        Config->CursorX = x;
        Config->CursorY = y;
        Config->CursorKnown = true;
    }
    std::vector<TVeRect> LastRects()
    {
        auto presents = Display->Presents();
        return presents.empty() ? std::vector<TVeRect>{} : presents.back().Rects;
    }
};

}  // namespace

TEST_F(FrameRenderTest, StillScreenWithMovingMousePresentsOnlyOldAndNewCursorPlaces)
{
    ASSERT_TRUE(StartForm());
    Form->SetState(gsMenu);
    MoveMouse(10, 10);
    Form->Render(1);
    auto before = Snapshot(Form->ConvertImage);
    MoveMouse(100, 50);
    Display->ClearPresents();
    Form->Render(1);
    std::vector<TVeRect> rects = LastRects();
    TVeRectSet presented;
    for (const TVeRect& r : rects)
        presented.UnionRect(r);
    EXPECT_EQ(presented.Area(), 2 * 32 * 32);
    EXPECT_EQ(presented.Bounds(), VeRect(10, 10, 132, 82));
    // The cursor reached the screen but was taken out of the drawing surface again.
    EXPECT_EQ(Display->Surface()->PGet(101, 51), CursorColour);
    EXPECT_EQ(Snapshot(Form->ConvertImage), before);

    // Cursor hidden: the place it last had is still refreshed, nothing new is added.
    Form->SetCursorType(-1);
    Display->ClearPresents();
    Form->Render(1);
    rects = LastRects();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0], VeRect(100, 50, 132, 82));
}

TEST_F(FrameRenderTest, CursorAtTheEdgeIsClippedAndTheSurfaceRestored)
{
    ASSERT_TRUE(StartForm());
    Form->SetState(gsMenu);
    Form->ConvertImage->BoxFill(600, 400, 639, 479, 0x123456);
    auto before = Snapshot(Form->ConvertImage);
    MoveMouse(630, 470);
    Form->Render(1);
    Form->Render(1);
    EXPECT_EQ(Snapshot(Form->ConvertImage), before);
    EXPECT_EQ(Display->Surface()->PGet(631, 471), CursorColour);
    for (const TVeRect& r : LastRects()) {
        EXPECT_LE(r.right, 640);
        EXPECT_LE(r.bottom, 480);
    }
    // Centred cursor frames sit 15 pixels up and left of the pointer.
    Form->SetCursorType(1);
    MoveMouse(100, 100);
    Form->Render(1);
    EXPECT_EQ(Form->GetCursorX(), 85);
    EXPECT_EQ(Display->Surface()->PGet(85, 85), CursorColour);
    // Out-of-range types change nothing.
    Form->SetCursorType(8);
    Form->SetCursorType(-2);
    EXPECT_EQ(Form->GetCursorType(), 1);
}

TEST_F(FrameRenderTest, PanelRectanglesAreDrawnConvertedAndPresented)
{
    ASSERT_TRUE(StartForm());
    Form->SetState(gsScene);
    Form->SetCursorType(-1);
    MoveMouse(-100, -100);
    Form->Render(1);
    Root->SetDirty({VeRect(20, 30, 60, 70)});
    Display->ClearPresents();
    Form->Render(1);
    std::vector<TVeRect> rects = LastRects();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0], VeRect(20, 30, 60, 70));
    EXPECT_EQ(Display->Surface()->PGet(20, 30), Root->Colour);
    EXPECT_EQ(Display->Surface()->PGet(60, 30), 0u);

    // A drawing hook replaces the state's drawing; what it reports off the screen is clipped.
    Form->SetDrawProc([](TVeRGBBits*, TVeRectSet* dirty) { dirty->UnionRect(VeRect(600, -50, 700, 20)); });
    Form->Render(1);
    rects = LastRects();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0], VeRect(600, 0, 640, 20));
    Form->SetDrawProc(nullptr);
}

TEST_F(FrameRenderTest, WaitPictureIsRedrawnOnElevenFramesOfForty)
{
    ASSERT_TRUE(StartForm());
    Form->SetCursorType(-1);
    Form->SetState(gsWait);
    Display->ClearPresents();
    int full = 0;
    for (int i = 0; i < 40; ++i) {
        Form->Render(1);
        TVeRectSet set;
        for (const TVeRect& r : LastRects())
            set.UnionRect(r);
        if (set.Area() == 640 * 480)
            ++full;
    }
    EXPECT_EQ(full, 11);
    // A pass without logic steps does not advance the animation.
    int frame = Form->GetWaitFrame();
    Form->Render(0);
    EXPECT_EQ(Form->GetWaitFrame(), frame);
}

TEST_F(FrameRenderTest, FrameRateBoxIsDrawnInsideItsBoxAndTakenAway)
{
    ShowFPS = true;
    ASSERT_TRUE(StartForm());
    Form->SetState(gsMenu);
    Form->SetCursorType(-1);
    MoveMouse(-100, -100);
    Form->Render(1);
    Form->ConvertImage->BoxFill(0, 0, 639, 479, 0xFFFFFF);
    auto before = Snapshot(Form->ConvertImage);
    Display->ClearPresents();
    Form->Render(1);
    std::vector<TVeRect> rects = LastRects();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0], VeRect(544, 0, 640, 26));
    EXPECT_EQ(Snapshot(Form->ConvertImage), before);
    // The box is toned down on the screen; nothing left of it was touched.
    EXPECT_EQ(Display->Surface()->PGet(546, 24), 0x7F7F7Fu);
    EXPECT_EQ(Display->Surface()->PGet(543, 10), 0u);
}

TEST_F(FrameRenderTest, FullScreenAtWorkingDepthDrawsStraightIntoTheBackSurface)
{
    WindowMode = false;
    ASSERT_TRUE(StartForm());
    EXPECT_EQ(BitDepth, bd32);
    EXPECT_EQ(Form->ConvertImage, nullptr);
    Form->SetState(gsScene);
    Form->SetCursorType(-1);
    Root->SetDirty({VeRect(0, 0, 10, 10)});
    Display->ClearPresents();
    Form->Render(1);
    EXPECT_EQ(Display->Surface()->PGet(5, 5), Root->Colour);
    EXPECT_EQ(Display->Presents().size(), 1u);
    // Inactive in full screen: drawn, not presented.
    Config->Active = false;
    Root->SetDirty({VeRect(20, 0, 30, 10)});
    Form->Render(1);
    EXPECT_EQ(Display->Surface()->PGet(25, 5), Root->Colour);
    EXPECT_EQ(Display->Presents().size(), 1u);
}

TEST_F(FrameRenderTest, ForceRenderDuringAnotherRendererLeavesAFullFrameForTheNext)
{
    ASSERT_TRUE(StartForm());
    Form->SetState(gsMenu);
    Display->ClearPresents();
    std::atomic<bool> held{false}, release{false};
    std::thread other([&] {
        Form->DrawLock->Enter();
        held = true;
        while (!release)
            std::this_thread::yield();
        Form->DrawLock->Release();
    });
    while (!held)
        std::this_thread::yield();
    Form->ForceRender();
    Form->Render(1);  // skipped as well: another thread draws
    EXPECT_TRUE(Form->FullFramePending());
    EXPECT_TRUE(Display->Presents().empty());
    release = true;
    other.join();
    Form->Render(1);
    auto presents = Display->Presents();
    ASSERT_EQ(presents.size(), 1u);
    EXPECT_TRUE(presents[0].Full);
    EXPECT_FALSE(Form->FullFramePending());
    std::vector<std::string> calls = Root->Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "draw"), calls.end());
}

TEST_F(FrameRenderTest, BeginOperationsFlushResetAndDrawAWholeFrame)
{
    ASSERT_TRUE(StartForm());
    Form->FramesDue = 7;
    Display->ClearPresents();
    Form->BeginPlay();
    EXPECT_EQ(Form->GetState(), gsMenu);
    EXPECT_EQ(Form->GetFramesDue(), 0);
    ASSERT_EQ(Display->Presents().size(), 1u);
    EXPECT_TRUE(Display->Presents()[0].Full);
    Form->BeginPlay();  // already there: nothing
    EXPECT_EQ(Display->Presents().size(), 1u);
    Form->BeginState4();
    EXPECT_EQ(Form->GetState(), gsScene);

    // Attach tells the new screen where the pointer is.
    MoveMouse(200, 100);
    Form->Render(0);
    Form->AttachScreen(nullptr);
    EXPECT_EQ(Root->Calls().back(), "attach 200 100");
}
