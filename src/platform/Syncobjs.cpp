#include "platform/Syncobjs.h"

#include <chrono>

TEvent::TEvent(bool manualReset, bool initialState) : FManualReset(manualReset), FSignaled(initialState) {}

void TEvent::ReleaseWaiters(bool all)
{
    bool any = false;
    for (TWaiter* waiter : FWaiters) {
        if (waiter->Released)
            continue;
        waiter->Released = true;
        any = true;
        if (!all)
            break;
    }
    if (any)
        FWake.notify_all();
}

void TEvent::SetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (FManualReset) {
        FSignaled = true;
        ReleaseWaiters(true);
        return;
    }
    // Auto-reset: hand the signal to the longest waiter that has none yet, else keep it.
    for (TWaiter* waiter : FWaiters) {
        if (!waiter->Released) {
            waiter->Released = true;
            FWake.notify_all();
            return;
        }
    }
    FSignaled = true;
}

void TEvent::ResetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = false;
}

void TEvent::PulseEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    ReleaseWaiters(FManualReset);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (FSignaled) {
        if (!FManualReset)
            FSignaled = false;
        return wrSignaled;
    }
    if (timeoutMs == 0)
        return wrTimeout;
    TWaiter self;
    auto position = FWaiters.insert(FWaiters.end(), &self);
    if (timeoutMs == INFINITE) {
        FWake.wait(lock, [&] { return self.Released; });
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        FWake.wait_until(lock, deadline, [&] { return self.Released; });
    }
    FWaiters.erase(position);
    return self.Released ? wrSignaled : wrTimeout;
}

int TEvent::WaitingCount()
{
    std::lock_guard<std::mutex> lock(FMutex);
    int count = 0;
    for (const TWaiter* waiter : FWaiters)
        if (!waiter->Released)
            ++count;
    return count;
}
