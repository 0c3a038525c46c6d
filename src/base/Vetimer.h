#pragma once
// The periodic timer component. Its own thread sleeps to absolute deadlines on the monotonic
// clock, each one period after the last, so ticks do not drift; when a tick runs so long that
// deadlines have passed, the missed ones are dropped rather than fired in a burst. A handler that
// only counts periods can ask to be called again several periods later, so the thread wakes only
// when there is work; the deadlines stay on the same grid of periods.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/Classes.h"

class TVeTimer : public TComponent {
public:
    explicit TVeTimer(TComponent* owner);
    ~TVeTimer() override;

    // Runs on the timer's thread once per period while enabled. Assign it while disabled.
    TNotifyEvent OnTimer;

    // The period in milliseconds, clamped to MinPeriod()..MaxPeriod(); restarts a running timer.
    void SetInterval(unsigned milliseconds);
    unsigned GetInterval() const;
    // Disabling waits until a tick in progress has returned, except when called from the tick
    // itself, which simply becomes the last one.
    void SetEnabled(bool enabled);
    bool GetEnabled() const;

    // From the handler only: the number of periods this call stands for (those since the previous
    // call, or 1 after Rearm), and how many periods later the next call comes (1 unless set).
    unsigned Periods() const { return FPeriods; }
    void SetNextCall(unsigned periods);
    // From any thread: what the handler's schedule depends on changed, so the next call comes at
    // the next period boundary and stands for one period.
    void Rearm();

    // The timer's capabilities: the shortest and longest period it keeps.
    static unsigned MinPeriod() { return 1; }
    static unsigned MaxPeriod() { return 1000000; }

private:
    void Run();
    bool OnTimerThread() const { return std::this_thread::get_id() == FThread.get_id(); }

    mutable std::mutex FMutex;
    std::condition_variable FWake;     // the thread: settings changed or quitting
    std::condition_variable FTickDone; // disablers waiting for a running tick
    unsigned FInterval = 1000;
    bool FEnabled = false;
    bool FQuit = false;
    bool FInTick = false;
    bool FRearm = false;
    uint64_t FGeneration = 0;  // raised by every restart
    // Timer thread only.
    unsigned FPeriods = 1;
    unsigned FNextCall = 1;
    std::thread FThread;
};
