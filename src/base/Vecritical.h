#pragma once
// A recursive lock that knows its owner thread. Besides waiting (Enter), it can be tried
// (Check): the renderers only ever try it and skip a frame when another thread holds it. A try
// also fails while another thread waits in Enter, so that threads that only try (and try again
// and again) cannot keep a waiting one out for ever.
// lock/unlock/try_lock make it usable with std::lock_guard and std::unique_lock.

#include <condition_variable>
#include <mutex>
#include <thread>

class TVeCriticalSection {
public:
    TVeCriticalSection() = default;
    TVeCriticalSection(const TVeCriticalSection&) = delete;
    TVeCriticalSection& operator=(const TVeCriticalSection&) = delete;

    // Waits until free, or raises the count when the caller already holds it.
    void Enter();
    // Never waits: true (count raised) when free or already held by the caller.
    bool Check();
    // Lowers the count, unlocking at zero. A thread that does not hold the lock changes
    // nothing and gets false: it must not free someone else's lock.
    bool Release();
    void Leave() { Release(); }

    bool IsOwned() const;  // held by the calling thread
    int GetCount() const;  // nesting depth, 0 when free
    int GetWaiting() const;  // threads waiting in Enter

    void lock() { Enter(); }
    bool try_lock() { return Check(); }
    void unlock() { Release(); }

private:
    mutable std::mutex FMutex;
    std::condition_variable FFreed;
    std::thread::id FOwner;
    int FCount = 0;
    int FWaiting = 0;
};

// Holds a critical section for a scope when Check succeeded; test it before using what it guards.
class TVeTryLock {
public:
    explicit TVeTryLock(TVeCriticalSection& section) : FSection(section), FHeld(section.Check()) {}
    ~TVeTryLock()
    {
        if (FHeld)
            FSection.Release();
    }
    TVeTryLock(const TVeTryLock&) = delete;
    TVeTryLock& operator=(const TVeTryLock&) = delete;
    explicit operator bool() const { return FHeld; }

private:
    TVeCriticalSection& FSection;
    bool FHeld;
};
