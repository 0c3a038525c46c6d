#include "game/Maint.h"

#include <string>

#include "base/Vememman.h"
#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "game/Zbeffect.h"
#include "game/Zbglobals.h"
#include "panels/Vergbpanel.h"

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
    if (GameForm && GameForm->StateLock && FStateDepth != 1) {
        // Released once, a lock held twice would stay held and stall every other thread that
        // needs it; one not held cannot be released. Both are faults of the flow.
        throw Exception("WaitSignal: state lock held " + std::to_string(FStateDepth) + " times");
    }
    ReleaseStateLock();
    Waiting.store(true);
    try {
        while (!Terminated() && !SignalFlag.load()) {
            if (!GameForm)
                break;
            GameForm->FramePump();
        }
        Waiting.store(false);
        WaitsDone.fetch_add(1);
        CheckTerminated();
    } catch (...) {
        Waiting.store(false);
        WaitsDone.fetch_add(1);
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
    if (GameForm)
        GameForm->MarkFailed();
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

void TMainThread::WaitWithoutStateLock(const std::function<void()>& wait)
{
    const int depth = FStateDepth;
    while (FStateDepth > 0)
        ReleaseStateLock();
    auto restore = [&] {
        while (FStateDepth < depth)
            AcquireStateLock();
    };
    try {
        wait();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TMainThread::RemoveScreen(TVeRGBPanel* panel)
{
    if (GameForm)
        WaitWithoutStateLock([panel] { GameForm->RemoveScreen(panel); });
}

void TMainThread::AwaitFramePass()
{
    if (GameForm)
        WaitWithoutStateLock([] { GameForm->AwaitFramePass(); });
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
        GameEnded();
    } catch (const Exception& e) {
        if (ErrLog)
            ErrLog->Add(e.Message);
        if (GameForm) {
            GameForm->MarkFailed();
            GameForm->RequestClose(false);
        }
    } catch (...) {
        if (ErrLog)
            ErrLog->Add(LogUnknownException);
        if (GameForm) {
            GameForm->MarkFailed();
            GameForm->RequestClose(false);
        }
    }
    while (FStateDepth > 0)
        ReleaseStateLock();
    TMainThread* self = this;
    MainThread.compare_exchange_strong(self, nullptr);
}

// ---- Screen transitions between the flow's screens ----------------------------------------

namespace {

// Two fresh buffers, the first holding the current screen; the first is not leaked when the
// second cannot be made.
void MakeTransitionPair(TVeRGBBits*& oldScreen, TVeRGBBits*& newScreen)
{
    oldScreen = GameForm->CreateEffectBuffer();
    try {
        newScreen = GameForm->CreateEffectBuffer();
    } catch (...) {
        MemMan->Delete(oldScreen);
        throw;
    }
    GameForm->DrawScreenTo(oldScreen);
}

// The resource a service effect needs, loaded for one transition and freed however it ends.
class TTransitionResource {
public:
    TTransitionResource(int flowEffect, int serviceEffect) : FEffect(serviceEffect)
    {
        if (FEffect == 11 && WaterTable)
            WaterTable->Load(PackFileMan);
        else if (FEffect == 12 && HalationImage)
            HalationImage->Load(PackFileMan, BitDepth);
        else if ((FEffect == 100 || FEffect == 101) && FadeAlphaMask)
            FadeAlphaMask->Load(PackFileMan, TMainThread::FadeMaskOf(flowEffect));
    }
    ~TTransitionResource()
    {
        if (FEffect == 11 && WaterTable)
            WaterTable->Free();
        else if (FEffect == 12 && HalationImage)
            HalationImage->Free();
        else if ((FEffect == 100 || FEffect == 101) && FadeAlphaMask)
            FadeAlphaMask->Free();
    }
    TTransitionResource(const TTransitionResource&) = delete;
    TTransitionResource& operator=(const TTransitionResource&) = delete;

private:
    int FEffect;
};

}  // namespace

int TMainThread::TransitionEffectOf(int effect)
{
    if (effect >= 0 && effect <= 12)
        return effect;
    if (effect >= 100 && effect <= 116)
        return effect == 109 ? 100 : 101;
    return 0;
}

const char* TMainThread::FadeMaskOf(int effect)
{
    if (effect >= 100 && effect < 100 + FadeMaskCount)
        return FadeMaskFileNames[effect - 100];
    return "";
}

void TMainThread::FadeOut(int effect)
{
    if (!GameForm)
        return;
    TVeRGBBits* oldScreen = nullptr;
    TVeRGBBits* newScreen = nullptr;
    MakeTransitionPair(oldScreen, newScreen);
    GameForm->DrawEffectBuffer(newScreen);
    Transition(effect, oldScreen, newScreen);
}

void TMainThread::FadeIn(int effect, TVeRGBPanel* panel)
{
    if (!GameForm)
        return;
    TVeRGBBits* oldScreen = nullptr;
    TVeRGBBits* newScreen = nullptr;
    MakeTransitionPair(oldScreen, newScreen);
    if (panel && newScreen->Lock()) {
        panel->Draw(newScreen);
        newScreen->Unlock();
    }
    Transition(effect, oldScreen, newScreen);
}

void TMainThread::FadeColor(int effect)
{
    if (!GameForm)
        return;
    TVeRGBBits* oldScreen = nullptr;
    TVeRGBBits* newScreen = nullptr;
    MakeTransitionPair(oldScreen, newScreen);
    newScreen->BoxFill(0, 0, 639, 479, 0);
    Transition(effect, oldScreen, newScreen);
}

void TMainThread::Transition(int effect, TVeRGBBits* oldScreen, TVeRGBBits* newScreen)
{
    if (!GameForm) {
        if (MemMan) {
            MemMan->Delete(oldScreen);
            MemMan->Delete(newScreen);
        }
        return;
    }
    int service = TransitionEffectOf(effect);
    try {
        TTransitionResource resource(effect, service);
        // The form takes both pictures over, and deletes them itself when it refuses them.
        if (GameForm->StartTransitionFrame(service, oldScreen, newScreen))
            WaitSignal();
    } catch (...) {
        if (MemMan) {
            MemMan->Delete(oldScreen);  // still ours only when the resource failed to load
            MemMan->Delete(newScreen);
        }
        throw;
    }
}
