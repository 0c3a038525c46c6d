#pragma once
// Synchronisation objects of the class library: the re-entrant critical section and the
// Windows-style event with SetEvent, ResetEvent and PulseEvent.

#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>

constexpr uint32_t INFINITE = 0xFFFFFFFFu;

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// Re-entrant on its owning thread, as every lock of the game expects. Usable with
// std::lock_guard and std::unique_lock.
class TCriticalSection {
public:
    TCriticalSection() = default;
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }
    void Acquire() { FMutex.lock(); }
    void Release() { FMutex.unlock(); }
    bool TryEnter() { return FMutex.try_lock(); }

    void lock() { FMutex.lock(); }
    void unlock() { FMutex.unlock(); }
    bool try_lock() { return FMutex.try_lock(); }

private:
    std::recursive_mutex FMutex;
};

// A manual-reset event stays signalled until ResetEvent and releases every waiter; an
// auto-reset event releases one waiter and clears itself. PulseEvent releases only threads
// already waiting (all of them, or one for auto-reset) and leaves the event clear: a pulse
// with nobody waiting is lost. Each waiter is recorded so that a pulse reaches exactly the
// threads that waited at that moment, never one that starts waiting afterwards.
class TEvent {
public:
    explicit TEvent(bool manualReset = false, bool initialState = false);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    void PulseEvent();
    // Waits at most timeoutMs milliseconds (INFINITE: no limit; 0: only tests).
    TWaitResult WaitFor(uint32_t timeoutMs);
    // Threads inside WaitFor that no signal has released yet. Tests wait on it before they
    // signal: a thread that has announced itself may not have reached its wait.
    int WaitingCount();

private:
    struct TWaiter {
        bool Released = false;
    };
    void ReleaseWaiters(bool all);

    std::mutex FMutex;
    std::condition_variable FWake;
    std::list<TWaiter*> FWaiters;  // in arrival order
    bool FManualReset;
    bool FSignaled;
};
