#include "platform/Forms.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>

TApplication* Application = nullptr;

namespace {

// Read from other threads too (a message box's guard), so an atomic rather than a volatile
// flag; lock-free, so the handler may set it.
std::atomic<int> CloseSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

std::atomic<TCloseSignalHook> CloseHook{nullptr};
static_assert(std::atomic<TCloseSignalHook>::is_always_lock_free);

extern "C" void OnCloseSignalHandler(int)
{
    // The interrupted code may be between a failed call and its look at errno.
    const int savedErrno = errno;
    CloseSignal.store(1);
    if (TCloseSignalHook hook = CloseHook.load())
        hook();
    errno = savedErrno;
}

}  // namespace

void InstallCloseSignals()
{
    struct sigaction action {};
    action.sa_handler = OnCloseSignalHandler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    // SIGHUP: the terminal that started the game closed, or the session that showed it dropped.
    // Whoever started the game with either ignored (nohup, a script's background job that a
    // Ctrl+C meant for the script must spare) asked for it to run on: they stay ignored.
    for (const int number : {SIGINT, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        sigaction(number, &action, nullptr);
    }
}

void SetCloseSignalHook(TCloseSignalHook hook)
{
    CloseHook.store(hook);
}

bool CloseSignalRaised()
{
    return CloseSignal.load() != 0;
}

void ResetCloseSignal()
{
    CloseSignal.store(0);
}

void TApplication::Post(std::function<void()> message)
{
    if (!message)
        return;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FQueue.push_back(std::move(message));
        if (FWake)
            FWake();
    }
    FPosted.notify_one();
}

void TApplication::SetEventWake(std::function<void()> wake)
{
    std::lock_guard<std::mutex> lock(FLock);
    FWake = std::move(wake);
    FWakeable.store(static_cast<bool>(FWake));
}

void TApplication::PostQuitMessage(int exitCode)
{
    Post([this, exitCode] {
        FExitCode.store(exitCode);
        FQuit.store(true);
    });
}

bool TApplication::HandleOne()
{
    std::function<void()> message;
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FQueue.empty())
            return false;
        message = std::move(FQueue.front());
        FQueue.pop_front();
    }
    message();
    return true;
}

void TApplication::CheckSignals()
{
    if (CloseSignal.exchange(0) != 0) {
        if (OnCloseSignal)
            OnCloseSignal();
    }
}

void TApplication::ProcessMessages()
{
    CheckSignals();
    if (EventPump)
        EventPump(0);
    while (!FQuit.load() && HandleOne()) {
    }
}

void TApplication::Run()
{
    while (!FQuit.load()) {
        CheckSignals();
        bool handled = false;
        while (!FQuit.load() && HandleOne())
            handled = true;
        if (FQuit.load())
            break;
        if (!handled && OnIdle) {
            bool done = true;
            TIdleEvent idle = OnIdle;  // the handler may clear itself
            idle(this, done);
            continue;
        }
        if (EventPump) {
            EventPump(FWakeable.load() ? WakeableIdleWaitMs : IdleWaitMs);
        } else {
            std::unique_lock<std::mutex> lock(FLock);
            FPosted.wait_for(lock, std::chrono::milliseconds(IdleWaitMs), [&] { return !FQueue.empty(); });
        }
    }
}

bool SetCurrentDir(const std::string& folder)
{
    return !folder.empty() && chdir(folder.c_str()) == 0;
}

std::string GetCurrentDir()
{
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) == nullptr)
        return "";
    return buffer;
}
