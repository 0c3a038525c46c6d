// The transition service as the frame loop drives it: levels per drawn frame, refusals, the end
// one update after the last level, and a close that arrives while a transition runs.
#include <chrono>
#include <thread>

#include "base/Vememman.h"
#include "game/GameFormHarness.h"
#include "game/Zbdef.h"

namespace {

// Green byte of one pixel (both screen depths keep blue, green, red first).
int GreenAt(TVeRGBBits* bits, int x = 300, int y = 200)
{
    if (!bits->Lock())
        return -1;
    int value = bits->Bits()[static_cast<ptrdiff_t>(y) * bits->Pitch() + x * BytesPerPixel(bits->BitDepth()) + 1];
    bits->Unlock();
    return value;
}

class TransitionServiceTest : public GameFormHarness {
protected:
    // Black old screen, mid-grey new screen: a fade shows its level as the pixel value.
    void Pair(TVeRGBBits*& oldImage, TVeRGBBits*& newImage)
    {
        oldImage = Form->CreateEffectBuffer();
        newImage = Form->CreateEffectBuffer();
        newImage->BoxFill(0, 0, 639, 479, 0x808080);
    }
    // One pump pass with the given number of frames due.
    void Pass(int frames)
    {
        Form->FramesDue.fetch_add(frames);
        Form->FramePump();
    }
};

struct TIdleThread : TMainThread {
    void Run() override {}
};

}  // namespace

TEST_F(TransitionServiceTest, FadeRenderedEveryFrameDrawsThirtyThreeLevelsAndEndsOnTheNextUpdate)
{
    ASSERT_TRUE(StartForm());
    Form->FPSMode = 2;
    TIdleThread thread;
    MainThread = &thread;
    TVeRGBBits *oldImage, *newImage;
    Pair(oldImage, newImage);
    ASSERT_TRUE(Form->StartTransitionFrame(0, oldImage, newImage));
    EXPECT_EQ(oldImage, nullptr);  // taken over
    EXPECT_EQ(Form->GetState(), gsTransition);

    std::vector<int> levels{GreenAt(Form->Target())};  // drawn at the start
    while (!Form->IsTransitionIdle() && levels.size() < 100) {
        Pass(1);
        levels.push_back(GreenAt(Form->Target()));
    }
    ASSERT_EQ(levels.size(), 33u);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(levels[i], 4 * i) << i;
    // The last level is on screen; the end and the signal come with the next update.
    EXPECT_EQ(Form->GetState(), gsTransition);
    EXPECT_FALSE(thread.GetSignalFlag());
    thread.SignalValue = 9;
    Pass(1);
    EXPECT_EQ(Form->GetState(), gsIdle);
    EXPECT_TRUE(thread.GetSignalFlag());
    EXPECT_EQ(thread.GetSignalValue(), 0);
    EXPECT_EQ(Form->TransOld, nullptr);
    EXPECT_EQ(Form->TransNew, nullptr);
    MainThread = nullptr;
}

TEST_F(TransitionServiceTest, SlowRendersSkipFadeLevelsButStepEffectsAdvanceOneStepAndStillFramesDrawNothing)
{
    ASSERT_TRUE(StartForm());
    TVeRGBBits* dest = Form->CreateEffectBuffer();
    TVeRGBBits *oldImage, *newImage;
    Pair(oldImage, newImage);
    ASSERT_TRUE(Form->SetTransition(0, oldImage, newImage));
    dest->Lock();
    TVeRectSet dirty;
    Form->AdvanceTransition(3);
    Form->DrawTransition(dest, &dirty);
    EXPECT_EQ(GreenAt(dest), 0);  // the first frame always shows the old screen
    std::vector<int> fade;
    for (int i = 0; i < 3; ++i) {
        Form->AdvanceTransition(2);
        Form->DrawTransition(dest, nullptr);
        fade.push_back(GreenAt(dest));
    }
    EXPECT_EQ(fade, (std::vector<int>{20, 28, 36}));

    // Unchanged progress: nothing drawn, nothing marked, the frame stays.
    dest->BoxFill(0, 0, 639, 479, 0x010101);
    dirty.SetRectEmpty();
    Form->DrawTransition(dest, &dirty);
    EXPECT_TRUE(dirty.IsRectEmpty());
    EXPECT_EQ(GreenAt(dest), 1);

    Pair(oldImage, newImage);
    ASSERT_TRUE(Form->SetTransition(7, oldImage, newImage));  // replaces the running fade
    Form->DrawTransition(dest, nullptr);
    EXPECT_EQ(Form->TransStep, 0);
    for (int i = 1; i <= 3; ++i) {
        Form->AdvanceTransition(2);
        Form->DrawTransition(dest, nullptr);
        EXPECT_EQ(Form->TransStep, i);
    }
    int steps = 3;
    while (!Form->IsTransitionIdle() && steps < 100) {
        Form->AdvanceTransition(5);
        Form->DrawTransition(dest, nullptr);
        ++steps;
    }
    EXPECT_EQ(steps, 36);
    EXPECT_EQ(GreenAt(dest), 0x80);
    dest->Unlock();
    Form->EndTransition();
    MemMan->Delete(dest);
}

TEST_F(TransitionServiceTest, UnknownEffectShowsTheNewScreenAtOnceAndRefusedPicturesAreFreed)
{
    ASSERT_TRUE(StartForm());
    TVeRGBBits* dest = Form->CreateEffectBuffer();
    TVeRGBBits *oldImage, *newImage;
    Pair(oldImage, newImage);
    ASSERT_TRUE(Form->SetTransition(50, oldImage, newImage));
    dest->Lock();
    TVeRectSet dirty;
    Form->DrawTransition(dest, &dirty);
    dest->Unlock();
    EXPECT_EQ(GreenAt(dest), 0x80);
    EXPECT_FALSE(dirty.IsRectEmpty());
    EXPECT_TRUE(Form->IsTransitionIdle());
    Form->EndTransition();

    // A running transition survives a refused hand-over; the refused pictures do not leak.
    Pair(oldImage, newImage);
    ASSERT_TRUE(Form->SetTransition(1, oldImage, newImage));
    TVeRGBBits* running = Form->TransOld;
    TVeRGBBits* small = MemMan->CreateVCL<TVeRGBBits>();
    small->Resize(320, 240);
    small->Create();
    TVeRGBBits* other = Form->CreateEffectBuffer();
    TVeRGBBits* kept = small;
    EXPECT_FALSE(Form->SetTransition(0, small, other));
    EXPECT_EQ(small, nullptr);
    EXPECT_EQ(other, nullptr);
    EXPECT_FALSE(MemMan->IsRecorded(kept));
    EXPECT_EQ(Form->TransOld, running);
    EXPECT_EQ(Form->TransEffect, 1);
    TVeRGBBits* none = nullptr;
    other = Form->CreateEffectBuffer();
    EXPECT_FALSE(Form->StartTransitionFrame(0, none, other));
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(Form->GetState(), gsIdle);

    // A buffer that cannot be made is logged and thrown.
    TBitDepth depth = BitDepth;
    BitDepth = bdNone;
    EXPECT_THROW(Form->CreateEffectBuffer(), EGameErr);
    BitDepth = depth;
    EXPECT_EQ(LogLines(), std::vector<std::string>{"CreateEffectBuffer Error"});
    MemMan->Delete(dest);
}

TEST(TransitionEffectMapping, FlowEffectsMapToServiceEffectsAndMasks)
{
    EXPECT_EQ(TMainThread::TransitionEffectOf(11), 11);
    EXPECT_EQ(TMainThread::TransitionEffectOf(109), 100);
    EXPECT_EQ(TMainThread::TransitionEffectOf(116), 101);
    EXPECT_EQ(TMainThread::TransitionEffectOf(50), 0);
    EXPECT_EQ(TMainThread::TransitionEffectOf(200), 0);
    EXPECT_EQ(TMainThread::TransitionEffectOf(-1), 0);
    EXPECT_STREQ(TMainThread::FadeMaskOf(109), "FadeMask09_StripesB.bmp");
    EXPECT_STREQ(TMainThread::FadeMaskOf(13), "");
}
