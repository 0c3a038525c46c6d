// The frame timer's tick table, the pump's frame-rate modes and counters, and the frame-rate
// counter on an injected clock.
#include <atomic>
#include <chrono>
#include <thread>

#include "game/GameFormHarness.h"

namespace {

class FrameLoopTest : public GameFormHarness {
protected:
    // Steps passed to the frame procedure, one entry per call.
    std::vector<int> InstallFrameProc()
    {
        Form->SetFrameProc([this](int steps) { Steps.push_back(steps); });
        return {};
    }
    std::vector<int> Steps;
};

std::vector<int> DueTicks(TGameForm& form, int ticks)
{
    std::vector<int> due;
    for (int t = 1; t <= ticks; ++t) {
        int before = form.GetFramesDue();
        form.GameTimerTimer(nullptr);
        if (form.GetFramesDue() != before)
            due.push_back(t);
    }
    return due;
}

}  // namespace

TEST_F(FrameLoopTest, TimerCountsThreeFramesPerHundredMillisecondsInRunningStatesOnly)
{
    TGameForm form(nullptr, "ZB", false);
    EXPECT_TRUE(DueTicks(form, 20).empty());  // state 0: nothing counts
    form.State = gsIdle;
    EXPECT_EQ(DueTicks(form, 20), (std::vector<int>{3, 6, 10, 13, 16, 20}));
    form.ResetFrameCounters();
    form.TimerInterval = 5;
    EXPECT_EQ(DueTicks(form, 40), (std::vector<int>{6, 13, 20, 26, 33, 40}));
    form.State = gsClosing;
    EXPECT_TRUE(DueTicks(form, 40).empty());
}

TEST_F(FrameLoopTest, TheRunningTimerWakesOnlyWhenAFrameFallsDue)
{
    TGameForm form(nullptr, "ZB", false);
    std::atomic<int> wakes{0};
    form.GameTimer->OnTimer = [&](TObject* sender) {
        ++wakes;
        form.GameTimerTimer(sender);
    };
    form.TimerInterval = 5;
    form.GameTimer->SetInterval(5);
    form.GameTimer->SetEnabled(true);
    form.SetState(gsIdle);
    const auto end = zbtest::HangDeadline();
    while (form.GetFramesDue() < 9 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    form.GameTimer->SetEnabled(false);
    ASSERT_GE(form.GetFramesDue(), 9);
    // Three frames per twenty ticks: a timer waking on every tick would wake about seven times
    // per frame.
    EXPECT_LE(wakes.load(), form.GetFramesDue() + 3);
}

TEST_F(FrameLoopTest, FrameRateModesDecideWhenAPassRunsAndWithHowManySteps)
{
    ASSERT_TRUE(StartForm());
    Form->SetState(gsMenu);
    InstallFrameProc();

    Form->FPSMode = 0;
    Form->FramesDue = 1;
    Form->FramePump();
    EXPECT_TRUE(Steps.empty());
    Form->FramesDue = 2;
    Form->FramePump();
    Form->FramesDue = 5;
    Form->FramePump();
    EXPECT_EQ(Steps, (std::vector<int>{2, 3}));

    Steps.clear();
    Form->ResetFrameCounters();
    Form->FPSMode = 1;
    Form->FramePump();
    EXPECT_TRUE(Steps.empty());
    Root->AnimeCount = 0;
    Form->FramesDue = 6;  // a 200 ms stall
    Form->FramePump();
    EXPECT_EQ(Steps, (std::vector<int>{6}));
    EXPECT_EQ(Root->AnimeCount.load(), 6);

    // Full speed: a pass with no due frame still runs, without animation or fades.
    Steps.clear();
    Form->FPSMode = 2;
    Form->SE2Fade = -40;
    Form->FramePump();
    EXPECT_EQ(Steps, (std::vector<int>{0}));
    EXPECT_EQ(Root->AnimeCount.load(), 6);
    EXPECT_EQ(Form->SE2Fade, -40);
    Form->FramesDue = Form->GetFramesDone() + 5;
    Form->FramePump();
    EXPECT_EQ(Form->SE2Fade, -30);
}

TEST_F(FrameLoopTest, CountersAreRebasedWithoutLosingTheDifference)
{
    ASSERT_TRUE(StartForm());
    InstallFrameProc();
    Form->FPSMode = 1;
    Form->FramesDone = 1000001;
    Form->FramesDue = 1000004;
    Form->FramePump();
    EXPECT_EQ(Steps, (std::vector<int>{3}));
    EXPECT_EQ(Form->GetFramesDone(), 3);
    EXPECT_EQ(Form->GetFramesDue(), 3);
}

TEST_F(FrameLoopTest, APassThatCannotRenderIsSkippedWithoutConsumingFrames)
{
    ASSERT_TRUE(StartForm());
    InstallFrameProc();
    Form->FPSMode = 1;
    Form->FramesDue = 4;
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
    Form->FramePump();
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(Form->GetFramesDone(), 0);
    release = true;
    other.join();
    Form->FramePump();
    EXPECT_EQ(Steps, (std::vector<int>{4}));
}

TEST_F(FrameLoopTest, AnExceptionInAFrameClosesTheGameAndClosingIsFinal)
{
    ASSERT_TRUE(StartForm());
    Form->SetState(gsScene);
    Form->SetFrameProc([](int) { throw Exception("boom"); });
    Form->FPSMode = 2;
    Form->FramePump();
    EXPECT_EQ(Form->GetState(), gsClosing);
    Form->SetState(gsMenu);
    Form->BeginPlay();
    EXPECT_EQ(Form->GetState(), gsClosing);
    // The close reaches the window on the interface thread: the form hides and asks to quit.
    Form->SetFrameProc(nullptr);
    RunPosted();
    EXPECT_FALSE(Form->Visible());
    RunPosted();
    EXPECT_TRUE(App->Terminated());
}

TEST_F(FrameLoopTest, AFinishedTransitionEndsOnTheNextPassAndSignalsTheGameThread)
{
    ASSERT_TRUE(StartForm());
    struct TIdleThread : TMainThread {
        void Run() override {}
    } thread;
    MainThread = &thread;
    thread.SignalValue = 5;
    Form->SetState(gsTransition);
    Form->FPSMode = 2;
    Form->FramePump();
    EXPECT_EQ(Form->GetState(), gsIdle);
    EXPECT_TRUE(thread.GetSignalFlag());
    EXPECT_EQ(thread.GetSignalValue(), 0);
    MainThread = nullptr;
    MainThreadSignal(3);  // nobody waits: nothing happens
    EXPECT_EQ(thread.GetSignalValue(), 0);
}

TEST_F(FrameLoopTest, MusicFadeOutStopsAtZeroAndSecondEffectFadesMoveTwoPointsPerFrame)
{
    ASSERT_TRUE(StartForm());
    Form->BGMFadeOut = 10;
    Form->Update(3);
    EXPECT_EQ(Form->BGMFadeOut, 4);
    Form->Update(2);
    EXPECT_EQ(Form->BGMFadeOut, -1);
    Form->Update(2);
    EXPECT_EQ(Form->BGMFadeOut, -1);
    Form->SE2Fade = -3;
    Form->Update(2);
    EXPECT_EQ(Form->SE2Fade, 0);
    Form->SE2Fade = 3;
    Form->Update(1);
    EXPECT_EQ(Form->SE2Fade, 1);
    Form->Update(1);
    EXPECT_EQ(Form->SE2Fade, 0);
}

TEST(FpsCounter, MeasuresTheLastSecondRestartsAfterAPauseAndCapsAt999)
{
    TFpsCounter counter;
    uint32_t now = 100000;
    counter.Tick(now);  // the first slot is older than a second: it restarts
    EXPECT_EQ(counter.Value(), 0);
    for (int i = 0; i < 200; ++i) {
        now += 10;
        counter.Tick(now);
    }
    EXPECT_GE(counter.Value(), 99);
    EXPECT_LE(counter.Value(), 101);
    now += 1500;
    EXPECT_EQ(counter.Tick(now), 0);
    for (int i = 0; i < 100; ++i)
        counter.Tick(now + 100);
    for (int i = 0; i < 5000; ++i)
        counter.Tick(now + 300 + static_cast<uint32_t>(i) / 10);
    EXPECT_LE(counter.Value(), 999);
    // Across the clock's wrap the counter keeps counting.
    TFpsCounter wrapping;
    uint32_t t = 0xFFFFFF00u;
    wrapping.Tick(t);
    for (int i = 0; i < 150; ++i) {
        t += 10;
        wrapping.Tick(t);
    }
    EXPECT_GE(wrapping.Value(), 99);
}
