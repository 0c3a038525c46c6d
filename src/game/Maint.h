#pragma once
// The game thread's base: the signal hand-off between screens and the game flow. The flow runs
// on this thread as sequential code and parks in WaitSignal, pumping frames itself, until a
// screen raises MainThreadSignal. The thread holds the form's state lock for its whole life
// except inside WaitSignal and the wrappers.
//
// The thread is owned by the main form and joined at shut-down; MainThread only names it
// while it runs.

#include <atomic>
#include <functional>
#include <cstdint>

#include "platform/Classes.h"
#include "platform/Threads.h"

class TVeRGBBits;
class TVeRGBPanel;

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

    // The service effect for a flow effect, and the fade-mask file it needs ("" when none).
    static int TransitionEffectOf(int effect);
    static const char* FadeMaskOf(int effect);

    std::atomic<int32_t> SignalValue{0};
    std::atomic<bool> SignalFlag{false};
    // True while the flow is parked in WaitSignal with the flag cleared: a signal given now is
    // the one it reads (tests drive the flow by it).
    std::atomic<bool> Waiting{false};
    // How many waits have ended.
    std::atomic<uint32_t> WaitsDone{0};

protected:
    void Execute() override;
    // The default flow: the wait picture until the window closes.
    virtual void Run();
    // Called when EGameEnd reached Execute, with the state lock still held.
    virtual void GameEnded() {}

    // Parks the flow until a signal, running frames itself with the state lock released (it
    // must be held exactly once); EGameEnd when the thread is ended, the lock held again.
    void WaitSignal();
    void CheckTerminated();
    // Close the window, end this thread, unwind with EGameEnd.
    [[noreturn]] void GameQuit();
    [[noreturn]] void GameAbort();
    void BeginWait();
    void BeginPlay();
    // The form's RemoveScreen with the state lock given up: returns once no frame pass runs, so
    // that the screen's unit may be deleted.
    void RemoveScreen(TVeRGBPanel* panel);
    // The form's AwaitFramePass with the state lock given up.
    void AwaitFramePass();

    // Audio wrappers: the form's audio service with the state lock released around the call.
    bool PlayBGM(int track, bool loop, bool crossFade);
    void StopBGM(bool fade);
    // Voice, effect, second effect (fade), music (fade), in this order.
    void StopAllSound(bool fade);
    // Runs call with this thread's hold on the state lock given up; defined beside the audio
    // wrappers and used only there.
    template <class F>
    auto WithoutStateLock(F&& call) -> decltype(call());
    // End of the audio wrappers.

    // ---- Screen transitions between the flow's screens -------------------------------------
    // Each ends in Transition: current screen -> the loading screen, -> panel drawn whole,
    // -> black.
    void FadeOut(int effect);
    void FadeIn(int effect, TVeRGBPanel* panel);
    void FadeColor(int effect);
    // Maps the flow's effect number to the service's, loads the effect's resource, starts the
    // transition and waits for its end; the resource is freed however the wait ends. Takes
    // both pictures over.
    void Transition(int effect, TVeRGBBits* oldScreen, TVeRGBBits* newScreen);
    // ---- end of screen transitions ---------------------------------------------------------

    void AcquireStateLock();
    void ReleaseStateLock();

private:
    // Runs wait with every hold on the state lock given up (not only one, as the audio wrappers
    // do), and takes them back after it: a frame pass it waits for may be waiting for that lock.
    void WaitWithoutStateLock(const std::function<void()>& wait);
    int FStateDepth = 0;  // how often this thread holds the state lock
};

extern std::atomic<TMainThread*> MainThread;

void MainThreadSignal(int value);
