#pragma once
// The class library's thread, owned and joined: it is created not running, Start (or Resume)
// runs Execute on a new thread, and the owner ends it with Terminate and WaitFor. It never
// deletes itself. An exception escaping Execute is kept (FatalException) instead of ending
// the process.
//
// The destructor terminates and joins, but by then the derived part is already destroyed:
// a derived class whose Execute uses its own members calls Terminate and WaitFor in its
// own destructor (or its owner does so before deleting it).

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Classes.h"

class TThread : public TObject {
public:
    TThread() = default;
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Runs Execute on a new thread; a second call does nothing.
    void Start();
    // Starts a thread never started, or ends a self-suspension (Suspend).
    void Resume();
    // Asks Execute to end: sets Terminated and ends a self-suspension so it can see it.
    void Terminate();
    // Joins the thread (when it was started) and returns ReturnValue. Safe from several
    // threads; called from the thread itself it returns at once.
    int WaitFor();

    bool Terminated() const { return FTerminated.load(); }
    bool Started() const { return FStarted.load(); }
    bool Finished() const { return FFinished.load(); }
    bool Suspended() const;
    // True when called on the thread that runs Execute.
    bool IsCurrent() const { return FThreadId.load() == std::this_thread::get_id(); }
    std::exception_ptr FatalException() const;
    // The message of the kept exception ("" when none).
    std::string FatalMessage() const;

    std::atomic<int> ReturnValue{0};

protected:
    virtual void Execute() = 0;
    // Called only by the thread itself: parks it until Resume or Terminate. A Resume that
    // came since the last suspension is kept, so a wake-up given just before the thread
    // parks is not lost (the thread re-checks its work and may suspend again).
    void Suspend();

private:
    void Run();

    std::thread FThread;
    std::mutex FJoinLock;
    mutable std::mutex FStateLock;
    std::condition_variable FResumed;
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<std::thread::id> FThreadId{};
    bool FSuspended = false;
    bool FResumePending = false;
    std::exception_ptr FFatal;
};
