#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Vetimer.h"
#include "support/HangGuard.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

template <class F>
bool WaitFor(F condition)
{
    return zbtest::WaitUntil(condition);
}

}  // namespace

TEST(VeTimer, TicksOnItsOwnThreadOnlyWhileEnabled)
{
    TVeTimer timer(nullptr);
    std::atomic<int> ticks{0};
    std::atomic<bool> otherThread{true};
    const auto self = std::this_thread::get_id();
    std::mutex mutex;
    std::vector<Clock::time_point> stamps;  // of every tick, written by the timer's thread
    timer.OnTimer = [&](TObject* sender) {
        if (std::this_thread::get_id() == self || sender != &timer)
            otherThread = false;
        std::lock_guard<std::mutex> lock(mutex);
        stamps.push_back(Clock::now());
        ++ticks;
    };
    timer.SetInterval(5);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), 0);  // not enabled yet

    const auto start = Clock::now();
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return ticks >= 100; }));
    {
        // 100 ticks of 5 ms take half a second at least: no tick comes before its deadline.
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_GT(stamps[99] - start, 400ms);
    }
    // A busy machine delays ticks and drops the periods they miss, so the period shows in the
    // best stretch of 20 ticks, however long that takes to come: each deadline lies beyond the
    // previous tick, so a period of 10 ms or coarser never puts 20 ticks within 180 ms.
    size_t checked = 0;
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(mutex);
        for (; checked + 19 < stamps.size(); ++checked)
            if (stamps[checked + 19] - stamps[checked] < 180ms)
                return true;
        return false;
    }));
    EXPECT_TRUE(otherThread);

    timer.SetEnabled(false);
    const int stopped = ticks;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), stopped);

    timer.SetEnabled(true);
    EXPECT_TRUE(WaitFor([&] { return ticks > stopped; }));
}

TEST(VeTimer, IntervalIsClampedAndChangingItRestartsThePeriod)
{
    TVeTimer timer(nullptr);
    timer.SetInterval(0);
    EXPECT_EQ(timer.GetInterval(), TVeTimer::MinPeriod());
    EXPECT_EQ(TVeTimer::MinPeriod(), 1u);
    timer.SetInterval(4000000000u);
    EXPECT_EQ(timer.GetInterval(), TVeTimer::MaxPeriod());

    std::atomic<int> ticks{0};
    timer.OnTimer = [&](TObject*) { ++ticks; };
    timer.SetInterval(TVeTimer::MaxPeriod());
    timer.SetEnabled(true);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), 0);
    // A long period that is shortened takes effect at once, not after the old deadline.
    timer.SetInterval(5);
    EXPECT_TRUE(WaitFor([&] { return ticks >= 3; }));
    EXPECT_TRUE(timer.GetEnabled());
}

TEST(VeTimer, DisablingWaitsForARunningTick)
{
    TVeTimer timer(nullptr);
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    timer.OnTimer = [&](TObject*) {
        if (finished)
            return;
        inside = true;
        // Once the disabler has begun, a tick that did not hold it back would end after it.
        WaitFor([&] { return !timer.GetEnabled(); });
        std::this_thread::sleep_for(50ms);
        finished = true;
    };
    timer.SetInterval(1);
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return inside.load(); }));
    timer.SetEnabled(false);
    EXPECT_TRUE(finished);
}

TEST(VeTimer, DisablingFromTheTickDoesNotDeadlock)
{
    TVeTimer timer(nullptr);
    std::atomic<int> ticks{0};
    timer.OnTimer = [&](TObject*) {
        ++ticks;
        timer.SetEnabled(false);
    };
    timer.SetInterval(2);
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return !timer.GetEnabled(); }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), 1);

    // And it can be started again, even with a new interval set from a tick.
    timer.OnTimer = [&](TObject*) {
        if (++ticks == 3)
            timer.SetInterval(1);
    };
    timer.SetEnabled(true);
    EXPECT_TRUE(WaitFor([&] { return ticks >= 10; }));
}

TEST(VeTimer, DestroyedWhileRunning)
{
    std::atomic<int> ticks{0};
    {
        TComponent owner(nullptr);
        auto* timer = new TVeTimer(&owner);
        timer->OnTimer = [&](TObject*) {
            ++ticks;
            std::this_thread::sleep_for(2ms);
        };
        timer->SetInterval(1);
        timer->SetEnabled(true);
        ASSERT_TRUE(WaitFor([&] { return ticks > 0; }));
    }
    const int after = ticks;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks.load(), after);
}

TEST(VeTimer, AHandlerCanSkipPeriodsAndARearmBringsTheNextCallForward)
{
    TVeTimer timer(nullptr);
    std::mutex mutex;
    std::vector<unsigned> periods;
    std::vector<Clock::time_point> stamps;
    std::atomic<unsigned> next{4};
    timer.OnTimer = [&](TObject*) {
        std::lock_guard<std::mutex> lock(mutex);
        periods.push_back(timer.Periods());
        stamps.push_back(Clock::now());
        timer.SetNextCall(next);
    };
    timer.SetInterval(5);
    timer.SetEnabled(true);
    auto calls = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return periods.size();
    };
    ASSERT_TRUE(WaitFor([&] { return calls() >= 5; }));
    size_t before;
    {
        // Together under the handler's lock: every call counted in before has read the old value,
        // and the first one after it reads the new.
        std::lock_guard<std::mutex> lock(mutex);
        next = 100000;  // the next call after this one would come in about eight minutes
        before = periods.size();
    }
    ASSERT_TRUE(WaitFor([&] { return calls() > before; }));
    timer.SetEnabled(false);
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(periods[0], 1u);
        for (size_t i = 1; i < 5; ++i)
            EXPECT_EQ(periods[i], 4u);
        // Sixteen periods of 5 ms on one grid; loose below, for a first call that came late.
        EXPECT_GE(stamps[4] - stamps[0], 60ms);
    }

    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return calls() > before + 1; }));
    const size_t skipping = calls();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls(), skipping);
    timer.Rearm();  // the schedule's inputs changed: next period boundary, counting one period
    ASSERT_TRUE(WaitFor([&] { return calls() > skipping; }));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(periods[skipping], 1u);
}
