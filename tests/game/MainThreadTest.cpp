// The game thread's hand-off: a screen's signal wakes the waiting thread with its value, and
// closing the window ends a waiting thread with the state lock taken back.
#include <chrono>
#include <thread>

#include "game/GameFormHarness.h"

namespace {

// What the thread saw; it outlives the thread, which the form deletes when it closes.
struct TSeen {
    std::atomic<int> Woken{-1};
    std::atomic<bool> Ended{false};
    std::atomic<bool> LockHeldAtEnd{false};
};

struct TRecordingThread : TMainThread {
    explicit TRecordingThread(TSeen& seen) : Woken(seen.Woken), Ended(seen.Ended), LockHeldAtEnd(seen.LockHeldAtEnd) {}
    std::atomic<int>& Woken;
    std::atomic<bool>& Ended;
    std::atomic<bool>& LockHeldAtEnd;
    void Run() override
    {
        WaitSignal();
        Woken = SignalValue.load();
        try {
            WaitSignal();
        } catch (const EGameEnd&) {
            // Another thread must not get the state lock now: this one holds it again.
            std::atomic<bool> taken{false};
            std::thread probe([&] {
                if (GameForm->StateLock->TryEnter()) {
                    taken = true;
                    GameForm->StateLock->Leave();
                }
            });
            probe.join();
            LockHeldAtEnd = !taken;
            Ended = true;
            throw;
        }
    }
};

class MainThreadTest : public GameFormHarness {};

}  // namespace

TEST_F(MainThreadTest, SignalWakesTheWaitAndClosingEndsItWithTheLockHeld)
{
    TSeen seen;
    TSeen* thread = &seen;
    TGameForm::SetGameThreadFactory([&] { return static_cast<TMainThread*>(new TRecordingThread(seen)); });
    ASSERT_TRUE(StartForm(false));
    std::atomic<int> calls{0};
    Form->SetFrameProc([&](int) {
        if (++calls == 3)
            MainThreadSignal(42);
    });
    zbtest::WaitUntil([&] { return thread->Woken.load() != -1; }, std::chrono::milliseconds(2));
    EXPECT_EQ(thread->Woken.load(), 42);
    Form->SetFrameProc(nullptr);

    Form->Close();
    EXPECT_TRUE(thread->Ended.load());
    EXPECT_TRUE(thread->LockHeldAtEnd.load());
    EXPECT_EQ(MainThread.load(), nullptr);
    EXPECT_TRUE(LogLines().empty());  // the ending is not an error
}
