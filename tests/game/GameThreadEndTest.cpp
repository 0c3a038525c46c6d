// Ending the game thread: a close that arrives in the middle of a transition unwinds the flow
// with EGameEnd and the state lock held again; a flow that waits holding the lock twice is
// stopped as an error instead of stalling every other thread.
#include <chrono>
#include <thread>

#include "base/Vememman.h"
#include "game/GameFormHarness.h"
#include "game/Zbeffect.h"

namespace {

struct TSeen {
    std::atomic<bool> Ended{false};
    std::atomic<bool> LockHeldAtEnd{false};
    std::atomic<int> Completed{0};
};

bool OtherThreadCanTake(TCriticalSection* lock)
{
    std::atomic<bool> taken{false};
    std::thread probe([&] {
        if (lock->TryEnter()) {
            taken = true;
            lock->Leave();
        }
    });
    probe.join();
    return taken;
}

// Fades to black over and over (two seconds each) until the window closes.
struct TFadingThread : TMainThread {
    explicit TFadingThread(TSeen& seen) : Seen(seen) {}
    TSeen& Seen;
    void Run() override
    {
        try {
            while (true) {
                FadeColor(2);
                ++Seen.Completed;
            }
        } catch (const EGameEnd&) {
            Seen.LockHeldAtEnd = !OtherThreadCanTake(GameForm->StateLock);
            Seen.Ended = true;
            throw;
        }
    }
};

struct TDoubleLockThread : TMainThread {
    void Run() override
    {
        AcquireStateLock();
        WaitSignal();
    }
};

// Paints the screen white, fades it to black, then asks for a mask wipe whose mask is missing.
struct TFadeThenFailThread : TMainThread {
    explicit TFadeThenFailThread(TSeen& seen) : Seen(seen) {}
    TSeen& Seen;
    std::atomic<int> Green{-1};
    std::atomic<int> Signal{-1};
    std::atomic<int> Objects{-1};
    void Run() override
    {
        {
            std::lock_guard<TCriticalSection> lock(*GameForm->FpsLock);
            GameForm->Target()->BoxFill(0, 0, 639, 479, 0xFFFFFF);
        }
        SignalValue = 7;
        FadeColor(0);
        Signal = SignalValue.load();
        {
            std::lock_guard<TCriticalSection> lock(*GameForm->FpsLock);
            TVeRGBBits* screen = GameForm->Target();
            screen->Lock();
            Green = screen->Bits()[200 * screen->Pitch() + 300 * BytesPerPixel(screen->BitDepth()) + 1];
            screen->Unlock();
        }
        Objects = MemMan->Count();
        FadeOut(109);
    }
};

using zbtest::WaitUntil;

class GameThreadEndTest : public GameFormHarness {};

}  // namespace

TEST_F(GameThreadEndTest, CloseDuringATransitionEndsTheThreadWithTheLockHeldAndTheProgramQuits)
{
    TSeen seen;
    // The first frame pass of the first fade is held until the close begins: however busy the
    // machine, the close lands in the middle of that fade.
    static std::atomic<bool> held;
    held = false;
    FormHookProbe = [this](TGameForm::THookKind kind) {
        if (kind == TGameForm::hkPass && Form->GetState() == gsTransition) {
            held = true;
            WaitUntil([&] { return Form->GetState() == gsClosing; });
        }
    };
    TGameForm::SetGameThreadFactory([&] { return static_cast<TMainThread*>(new TFadingThread(seen)); });
    StartForm(false);  // the thread may have left the idle state already
    ASSERT_TRUE(Form->Visible());
    ASSERT_TRUE(WaitUntil([&] { return held.load(); }));

    Form->Close();
    EXPECT_TRUE(seen.Ended.load());
    EXPECT_TRUE(seen.LockHeldAtEnd.load());
    EXPECT_EQ(seen.Completed.load(), 0);
    EXPECT_EQ(MainThread.load(), nullptr);
    EXPECT_EQ(Form->TransOld, nullptr);
    EXPECT_EQ(Form->TransNew, nullptr);
    EXPECT_TRUE(LogLines().empty());  // the ending is not an error
    EXPECT_TRUE(OtherThreadCanTake(Form->StateLock));
    RunPosted();
    RunPosted();
    EXPECT_TRUE(App->Terminated());
}

TEST_F(GameThreadEndTest, WaitingWithTheStateLockHeldTwiceIsAnErrorThatClosesTheGame)
{
    TGameForm::SetGameThreadFactory([] { return static_cast<TMainThread*>(new TDoubleLockThread()); });
    StartForm(false);  // the thread may have left the idle state already
    ASSERT_TRUE(Form->Visible());
    ASSERT_TRUE(WaitUntil([] { return MainThread.load() == nullptr; }));
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("WaitSignal", 0), 0u) << lines[0];
    EXPECT_EQ(Form->GetState(), gsClosing);
    EXPECT_TRUE(OtherThreadCanTake(Form->StateLock));  // every level given back
    RunPosted();
    EXPECT_FALSE(Form->Visible());
}

TEST_F(GameThreadEndTest, FadeColorEndsOnBlackAndAMissingMaskEndsTheGameWithoutLeakingBuffers)
{
    ZbeffectStart();
    TSeen seen;
    TFadeThenFailThread* thread = nullptr;
    TGameForm::SetGameThreadFactory([&] { return static_cast<TMainThread*>(thread = new TFadeThenFailThread(seen)); });
    StartForm(false);
    ASSERT_TRUE(Form->Visible());
    ASSERT_TRUE(WaitUntil([] { return MainThread.load() == nullptr; }));
    EXPECT_EQ(thread->Green.load(), 0);
    EXPECT_EQ(thread->Signal.load(), 0);  // a transition's end signals 0
    EXPECT_EQ(MemMan->Count(), thread->Objects.load());
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"FadeAlphaMask Not Create", "GameErr"}));
    EXPECT_FALSE(FadeAlphaMask->Loaded);
    EXPECT_EQ(Form->GetState(), gsClosing);
    Form->Close();
    ZbeffectFinish();
}
