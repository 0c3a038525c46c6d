#pragma once
// The class library's application object: the interface thread's message loop. Other threads
// post closures or the quit message; the loop runs them on the interface thread, lets the
// display layer deliver its events through EventPump, and calls OnIdle whenever it finds
// nothing to do. SIGINT, SIGTERM and SIGHUP, once InstallCloseSignals has run, call OnCloseSignal
// on the interface thread (the game closes its window in order).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Classes.h"

using TIdleEvent = std::function<void(TObject* sender, bool& done)>;

class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* owner = nullptr) : TComponent(owner) {}
    // The forms it owns go first, while the application they use in their own destruction
    // is still whole.
    ~TApplication() override { DestroyComponents(); }

    std::string Title;
    // Set and read on the interface thread only.
    TIdleEvent OnIdle;
    std::function<void()> OnCloseSignal;
    // Waits at most timeoutMs for display events and handles them (interface thread); without
    // one the loop only sleeps until something is posted.
    std::function<void(int timeoutMs)> EventPump;
    // Any thread: sets or clears what ends the pump's wait early (run when a closure is posted).
    // With one the idle loop wakes only for events, posts and the signal check.
    void SetEventWake(std::function<void()> wake);

    // Any thread: queue a closure for the interface thread; never waits for that thread.
    void Post(std::function<void()> message);
    // Any thread: the loop ends after the messages posted before it.
    void PostQuitMessage(int exitCode);
    bool Terminated() const { return FQuit.load(); }
    int ExitCode() const { return FExitCode.load(); }

    // Runs the loop until the quit message.
    void Run();
    // Handles what is queued now (and one round of display events) without waiting.
    void ProcessMessages();

    // How long the loop sleeps when idle: short enough for a signal to be seen promptly.
    static constexpr int IdleWaitMs = 20;
    // The same with a pump that posts wake: only signals are waited for by polling.
    static constexpr int WakeableIdleWaitMs = 100;

private:
    bool HandleOne();
    void CheckSignals();

    std::mutex FLock;
    std::condition_variable FPosted;
    std::deque<std::function<void()>> FQueue;
    std::function<void()> FWake;  // guarded by FLock, so that a cleared one is never running
    std::atomic<bool> FWakeable{false};
    std::atomic<bool> FQuit{false};
    std::atomic<int> FExitCode{0};
};

extern TApplication* Application;

// SIGINT, SIGTERM and SIGHUP set a flag that the running loop turns into OnCloseSignal; a SIGINT
// or SIGHUP that was ignored when the program started stays ignored.
void InstallCloseSignals();
// Also called by the signal's handler, after it set the flag, while set: async-signal-safe
// code only (a blocking wait that the loop cannot see uses it to end the wait).
using TCloseSignalHook = void (*)();
void SetCloseSignalHook(TCloseSignalHook hook);
// True once a close signal arrived (for tests).
bool CloseSignalRaised();
void ResetCloseSignal();

// Makes the folder the current directory; false when it cannot.
bool SetCurrentDir(const std::string& folder);
std::string GetCurrentDir();
