#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Syncobjs.h"
#include "platform/Threads.h"

namespace {

using namespace std::chrono_literals;

// Waits (bounded) until `count` threads are parked inside WaitFor; the event gives no way to
// see its waiters, so the test threads announce themselves just before they wait.
void SettleWaiters(std::atomic<int>& entered, int count)
{
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (entered.load() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
}

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

        std::atomic<int> entered{0};
        std::atomic<int> woken{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&] {
                ++entered;
                if (event.WaitFor(5000) == wrSignaled)
                    ++woken;
            });
        SettleWaiters(entered, 3);
        event.PulseEvent();
        std::this_thread::sleep_for(200ms);
        // Manual reset wakes every waiter, auto reset exactly one.
        EXPECT_EQ(woken.load(), manual ? 3 : 1) << (manual ? "manual" : "auto");
        // The pulse left the event clear: a new waiter is not released by it.
        EXPECT_EQ(event.WaitFor(30), wrTimeout);
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (woken.load() < 3 && std::chrono::steady_clock::now() < deadline) {
            event.PulseEvent();
            std::this_thread::sleep_for(5ms);
        }
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
    std::atomic<int> entered{0};
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            ++entered;
            if (autoEvent.WaitFor(5000) == wrSignaled)
                ++woken;
        });
    SettleWaiters(entered, 2);
    autoEvent.SetEvent();
    std::this_thread::sleep_for(100ms);
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
    while (loops.load() == 0)
        std::this_thread::sleep_for(1ms);
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
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!(rounds.load() == 1 && thread.Suspended()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(thread.Suspended());
    thread.Resume();
    while (rounds.load() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
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
        resumed.WaitFor(5000);
        self.Suspend();
    });
    early.Start();
    ready.WaitFor(5000);
    early.Resume();
    resumed.SetEvent();
    std::atomic<bool> joined{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !joined; ++i)
            std::this_thread::sleep_for(10ms);
        if (!joined)
            early.Terminate();  // unblocks the join so that the test fails instead of hanging
    });
    auto start = std::chrono::steady_clock::now();
    early.WaitFor();
    joined = true;
    watchdog.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}
