#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Syncobjs.h"
#include "platform/Threads.h"
#include "support/HangGuard.h"

namespace {

using namespace std::chrono_literals;

template <class F>
bool Eventually(F done)
{
    return zbtest::WaitUntil(done);
}

// No waiter gives up before the test signals it, short of a hang.
constexpr uint32_t WaiterLimitMs = zbtest::HangGuardMs;

struct TFunctionThread : TThread {
    explicit TFunctionThread(std::function<void(TFunctionThread&)> body) : Body(std::move(body)) {}
    ~TFunctionThread() override
    {
        Terminate();
        WaitFor();
    }
    void Execute() override { Body(*this); }
    using TThread::Suspend;
    std::function<void(TFunctionThread&)> Body;
};

}  // namespace

TEST(Event, PulseWakesOnlyCurrentWaitersAndIsNotRemembered)
{
    for (bool manual : {false, true}) {
        TEvent event(manual, false);
        event.PulseEvent();  // nobody waits: lost
        EXPECT_EQ(event.WaitFor(0), wrTimeout);
        EXPECT_EQ(event.WaitFor(20), wrTimeout);

        std::atomic<int> woken{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&] {
                if (event.WaitFor(WaiterLimitMs) == wrSignaled)
                    ++woken;
            });
        EXPECT_TRUE(Eventually([&] { return event.WaitingCount() == 3; }));
        event.PulseEvent();
        // Manual reset wakes every waiter, auto reset exactly one; the rest still wait.
        EXPECT_EQ(event.WaitingCount(), manual ? 0 : 2) << (manual ? "manual" : "auto");
        EXPECT_TRUE(Eventually([&] { return woken.load() >= (manual ? 3 : 1); }));
        EXPECT_EQ(woken.load(), manual ? 3 : 1) << (manual ? "manual" : "auto");
        // The pulse left the event clear: a new waiter is not released by it.
        EXPECT_EQ(event.WaitFor(30), wrTimeout);
        Eventually([&] {
            event.PulseEvent();
            return woken.load() == 3;
        });
        for (auto& t : waiters)
            t.join();
        EXPECT_EQ(woken.load(), 3);
    }
}

TEST(Event, SetEventIsKeptForAutoResetAndStaysForManualReset)
{
    TEvent autoEvent(false, false);
    autoEvent.SetEvent();
    EXPECT_EQ(autoEvent.WaitFor(0), wrSignaled);
    EXPECT_EQ(autoEvent.WaitFor(0), wrTimeout);  // consumed by the first waiter

    TEvent manualEvent(true, true);
    EXPECT_EQ(manualEvent.WaitFor(0), wrSignaled);
    EXPECT_EQ(manualEvent.WaitFor(INFINITE), wrSignaled);
    manualEvent.ResetEvent();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(manualEvent.WaitFor(60), wrTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);

    // Auto reset with two waiters: each SetEvent releases one of them.
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (autoEvent.WaitFor(WaiterLimitMs) == wrSignaled)
                ++woken;
        });
    EXPECT_TRUE(Eventually([&] { return autoEvent.WaitingCount() == 2; }));
    autoEvent.SetEvent();
    EXPECT_EQ(autoEvent.WaitingCount(), 1);
    EXPECT_TRUE(Eventually([&] { return woken.load() >= 1; }));
    EXPECT_EQ(woken.load(), 1);
    autoEvent.SetEvent();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 2);
    EXPECT_EQ(autoEvent.WaitFor(0), wrTimeout);
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads)
{
    TCriticalSection lock;
    lock.Enter();
    lock.Acquire();
    EXPECT_TRUE(lock.TryEnter());
    std::atomic<bool> otherGot{true};
    std::thread([&] {
        otherGot = lock.TryEnter();
        if (otherGot)
            lock.Leave();
    }).join();
    EXPECT_FALSE(otherGot.load());
    lock.Leave();
    lock.Release();
    lock.Leave();
    std::thread([&] {
        std::lock_guard<TCriticalSection> guard(lock);
        otherGot = true;
    }).join();
    EXPECT_TRUE(otherGot.load());
}

TEST(Thread, RunsOnlyWhenStartedAndJoinsOnTerminate)
{
    std::atomic<int> loops{0};
    TFunctionThread thread([&](TFunctionThread& self) {
        while (!self.Terminated()) {
            ++loops;
            std::this_thread::sleep_for(1ms);
        }
        self.ReturnValue = 7;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(loops.load(), 0);
    EXPECT_FALSE(thread.Started());
    thread.Start();
    thread.Start();
    ASSERT_TRUE(Eventually([&] { return loops.load() != 0; }));
    thread.Terminate();
    EXPECT_EQ(thread.WaitFor(), 7);
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(thread.FatalMessage(), "");
    EXPECT_EQ(thread.WaitFor(), 7);  // joining twice is harmless

    // A thread never started is destroyed without a join; Resume starts one not yet started.
    { TFunctionThread idle([](TFunctionThread&) {}); }
    std::atomic<bool> ran{false};
    TFunctionThread resumed([&](TFunctionThread&) { ran = true; });
    resumed.Resume();
    resumed.WaitFor();
    EXPECT_TRUE(ran.load());
}

TEST(Thread, KeepsTheExceptionThatEndedExecute)
{
    TFunctionThread thread([](TFunctionThread&) { throw Exception("GameEnd"); });
    thread.Start();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(thread.FatalMessage(), "GameEnd");
    EXPECT_THROW(std::rethrow_exception(thread.FatalException()), Exception);

    TFunctionThread odd([](TFunctionThread&) { throw 42; });
    odd.Start();
    odd.WaitFor();
    EXPECT_EQ(odd.FatalMessage(), "Unknown exception");
}

TEST(Thread, SuspendWaitsForResumeOrTerminateAndKeepsAnEarlyResume)
{
    std::atomic<int> rounds{0};
    TFunctionThread thread([&](TFunctionThread& self) {
        while (!self.Terminated()) {
            ++rounds;
            self.Suspend();
        }
    });
    thread.Start();
    ASSERT_TRUE(Eventually([&] { return rounds.load() == 1 && thread.Suspended(); }));
    thread.Resume();
    Eventually([&] { return rounds.load() >= 2; });
    EXPECT_EQ(rounds.load(), 2);

    // Suspend from another thread does nothing; Terminate ends the suspension.
    thread.Suspend();
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());

    // A Resume given before the thread parks is not lost.
    TEvent ready(true, false);
    TEvent resumed(true, false);
    TFunctionThread early([&](TFunctionThread& self) {
        ready.SetEvent();
        resumed.WaitFor(WaiterLimitMs);
        self.Suspend();
    });
    early.Start();
    ready.WaitFor(WaiterLimitMs);
    early.Resume();
    resumed.SetEvent();
    std::atomic<bool> joined{false}, rescued{false};
    std::thread watchdog([&] {
        if (!Eventually([&] { return joined.load(); })) {
            rescued = true;
            early.Terminate();  // unblocks the join so that the test fails instead of hanging
        }
    });
    early.WaitFor();
    joined = true;
    watchdog.join();
    EXPECT_FALSE(rescued.load()) << "the early Resume was lost: only Terminate ended the suspension";
}
