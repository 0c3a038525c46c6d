#include "game/Maint.h"

#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"

std::atomic<TMainThread*> MainThread{nullptr};

void MainThreadSignal(int value)
{
    if (TMainThread* thread = MainThread.load())
        thread->SetSignal(value);
}

TMainThread::~TMainThread()
{
    Terminate();
    WaitFor();
}

void TMainThread::SetSignal(int value)
{
    SignalValue.store(value);
    SignalFlag.store(true);
}

void TMainThread::AcquireStateLock()
{
    if (GameForm && GameForm->StateLock) {
        GameForm->StateLock->Enter();
        ++FStateDepth;
    }
}

void TMainThread::ReleaseStateLock()
{
    if (FStateDepth > 0 && GameForm && GameForm->StateLock) {
        --FStateDepth;
        GameForm->StateLock->Leave();
    }
}

void TMainThread::CheckTerminated()
{
    if (Terminated())
        throw EGameEnd();
}

void TMainThread::WaitSignal()
{
    SignalFlag.store(false);
    ReleaseStateLock();
    try {
        while (!Terminated() && !SignalFlag.load()) {
            if (!GameForm)
                break;
            GameForm->FramePump();
        }
        CheckTerminated();
    } catch (...) {
        AcquireStateLock();
        throw;
    }
    AcquireStateLock();
}

void TMainThread::GameQuit()
{
    if (GameForm)
        GameForm->RequestClose(true);
    Terminate();
    throw EGameEnd();
}

void TMainThread::GameAbort()
{
    GameQuit();
}

void TMainThread::BeginWait()
{
    ReleaseStateLock();
    if (GameForm)
        GameForm->BeginWait();
    AcquireStateLock();
}

void TMainThread::BeginPlay()
{
    ReleaseStateLock();
    if (GameForm)
        GameForm->BeginPlay();
    AcquireStateLock();
}

void TMainThread::Run()
{
    SignalValue.store(0);
    BeginWait();
    while (!Terminated())
        WaitSignal();
}

void TMainThread::Execute()
{
    AcquireStateLock();
    try {
        Run();
    } catch (const EGameEnd&) {
    } catch (const Exception& e) {
        if (ErrLog)
            ErrLog->Add(e.Message);
        if (GameForm)
            GameForm->RequestClose(false);
    } catch (...) {
        if (ErrLog)
            ErrLog->Add(LogUnknownException);
        if (GameForm)
            GameForm->RequestClose(false);
    }
    while (FStateDepth > 0)
        ReleaseStateLock();
    TMainThread* self = this;
    MainThread.compare_exchange_strong(self, nullptr);
}

void TMainThread::FadeOut(int) {}
void TMainThread::FadeIn(int, TVeRGBPanel*) {}
void TMainThread::FadeColor(int) {}
void TMainThread::Transition(int, TVeRGBBits*, TVeRGBBits*) {}
int TMainThread::TransitionEffectOf(int effect) { return effect; }
const char* TMainThread::FadeMaskOf(int) { return ""; }
