#include "base/Vetimer.h"

#include <algorithm>

TVeTimer::TVeTimer(TComponent* owner) : TComponent(owner) {}

TVeTimer::~TVeTimer()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FQuit = true;
        FEnabled = false;
    }
    FWake.notify_all();
    if (!FThread.joinable())
        return;
    if (OnTimerThread())
        FThread.detach();  // deleted from its own tick: the thread ends as the tick returns
    else
        FThread.join();
}

void TVeTimer::SetInterval(unsigned milliseconds)
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FInterval = std::clamp(milliseconds, MinPeriod(), MaxPeriod());
        ++FGeneration;
    }
    FWake.notify_all();
}

unsigned TVeTimer::GetInterval() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FInterval;
}

void TVeTimer::SetEnabled(bool enabled)
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (enabled) {
        if (FEnabled)
            return;
        FEnabled = true;
        ++FGeneration;
        if (!FThread.joinable())
            FThread = std::thread(&TVeTimer::Run, this);
        lock.unlock();
        FWake.notify_all();
        return;
    }
    if (!FEnabled)
        return;
    FEnabled = false;
    ++FGeneration;
    FWake.notify_all();
    if (!OnTimerThread())
        FTickDone.wait(lock, [this] { return !FInTick; });
}

bool TVeTimer::GetEnabled() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FEnabled;
}

void TVeTimer::SetNextCall(unsigned periods)
{
    if (OnTimerThread())
        FNextCall = std::max(periods, 1u);
}

void TVeTimer::Rearm()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FRearm = true;
    }
    FWake.notify_all();
}

void TVeTimer::Run()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(FMutex);
    while (!FQuit) {
        if (!FEnabled) {
            FWake.wait(lock, [this] { return FQuit || FEnabled; });
            continue;
        }
        const uint64_t generation = FGeneration;
        const auto period = std::chrono::milliseconds(FInterval);
        auto deadline = Clock::now() + period;
        FPeriods = 1;
        FRearm = false;
        for (;;) {
            const bool changed = FWake.wait_until(lock, deadline, [&] {
                return FQuit || FGeneration != generation || FRearm;
            });
            if (FQuit || FGeneration != generation)
                break;
            if (changed) {
                // Rearmed while waiting: move to the first boundary of the grid still ahead.
                FRearm = false;
                const auto now = Clock::now();
                if (deadline > now)
                    deadline -= ((deadline - now) / period) * period;
                FPeriods = 1;
                continue;
            }
            TNotifyEvent handler = OnTimer;
            FInTick = true;
            FNextCall = 1;
            lock.unlock();
            if (handler) {
                try {
                    handler(this);
                } catch (...) {
                    // An exception must not end the timer's thread (and the process with it).
                }
            }
            lock.lock();
            FInTick = false;
            FTickDone.notify_all();
            FPeriods = FRearm ? 1 : FNextCall;
            FRearm = false;
            deadline += FPeriods * period;
            const auto now = Clock::now();
            if (deadline <= now)
                deadline += ((now - deadline) / period + 1) * period;
        }
    }
}
