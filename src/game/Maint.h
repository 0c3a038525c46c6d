#pragma once
// The game thread's base: the signal hand-off between screens and the game flow. The flow runs
// on this thread as sequential code and parks in WaitSignal, pumping frames itself, until a
// screen raises MainThreadSignal. The thread holds the form's state lock for its whole life
// except inside WaitSignal and the wrappers.
//
// The thread is owned by the main form and joined at shut-down; MainThread only names it
// while it runs.

#include <atomic>
#include <cstdint>

#include "platform/Classes.h"
#include "platform/Threads.h"

// Unwinds the game thread to its Execute; carries no error.
class EGameEnd : public Exception {
public:
    EGameEnd() : Exception("GameEnd") {}
};

class TMainThread : public TThread {
public:
    TMainThread() = default;
    ~TMainThread() override;

    void SetSignal(int value);
    int GetSignalValue() const { return SignalValue.load(); }
    bool GetSignalFlag() const { return SignalFlag.load(); }

    std::atomic<int32_t> SignalValue{0};
    std::atomic<bool> SignalFlag{false};

protected:
    void Execute() override;
    // The default flow: the wait picture until the window closes.
    virtual void Run();

    void WaitSignal();
    void CheckTerminated();
    void GameQuit();
    void GameAbort();
    void BeginWait();
    void BeginPlay();

    // Audio wrappers: the form's audio service with the state lock released around the call.
    bool PlayBGM(int track, bool loop, bool crossFade);
    void StopBGM(bool fade);
    // Voice, effect, second effect (fade), music (fade), in this order.
    void StopAllSound(bool fade);
    template <class F>
    auto WithoutStateLock(F&& call) -> decltype(call());
    // End of the audio wrappers.

    void AcquireStateLock();
    void ReleaseStateLock();

private:
    int FStateDepth = 0;  // how often this thread holds the state lock
};

extern std::atomic<TMainThread*> MainThread;

void MainThreadSignal(int value);
