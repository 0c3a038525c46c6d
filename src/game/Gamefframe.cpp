#include "base/Vememman.h"
#include "game/Gamef.h"
#include "game/Maint.h"
#include "media/Vedsound.h"
#include "platform/Winapi.h"

namespace {

// Logic frames fall due on these ticks of each cycle: 3 per 100 ms with either period.
bool FrameDueOnTick(int interval, int& tick)
{
    if (interval == 10) {
        bool due = tick == 3 || tick == 6 || tick == 10;
        if (tick >= 10)
            tick = 0;
        return due;
    }
    bool due = tick == 6 || tick == 13 || tick == 20;
    if (tick >= 20)
        tick = 0;
    return due;
}

// Ticks from tick (as FrameDueOnTick left it) to the next tick on which a frame falls due.
int TicksToNextDue(int interval, int tick)
{
    static constexpr int Due10[] = {3, 6, 10};
    static constexpr int Due5[] = {6, 13, 20};
    for (int due : interval == 10 ? Due10 : Due5)
        if (due > tick)
            return due - tick;
    return 1;
}

// Outside the counting states the timer only looks in now and then; SetState rearms it as soon
// as counting starts.
constexpr unsigned IdleCheckPeriods = 200;

constexpr int RebaseLimit = 1000000;

}  // namespace

void TFpsCounter::Reset()
{
    for (int i = 0; i < 5; ++i) {
        FStart[i] = 0;
        FCount[i] = 0;
    }
    FIndex = 0;
    FValue = 0;
}

int TFpsCounter::Tick()
{
    return Tick(timeGetTime());
}

int TFpsCounter::Tick(uint32_t now)
{
    // Differences in unsigned arithmetic, so the clock's wrap does not stall the counter.
    uint32_t age = now - FStart[FIndex];
    if (age >= 1000) {
        FStart[FIndex] = now;
        FCount[FIndex] = 1;
        FValue = 0;
        return 0;
    }
    if (age >= 250) {
        uint32_t previous = FStart[FIndex];
        FIndex = (FIndex + 1) % 5;
        FStart[FIndex] = previous + 250;
        FCount[FIndex] = 1;
        int sum = 0;
        for (int i = 0; i < 5; ++i)
            if (i != FIndex)
                sum += FCount[i];
        FValue = sum > 999 ? 999 : sum;
        return FValue;
    }
    ++FCount[FIndex];
    return FValue;
}

TWaitThread::~TWaitThread()
{
    Terminate();
    WaitFor();
}

void TWaitThread::Execute()
{
    while (!Terminated()) {
        while (!Terminated() && GameForm && GameForm->GetState() == gsWait)
            GameForm->FramePump();
        if (!Terminated())
            Suspend();
    }
}

void TGameForm::GameTimerTimer(TObject* sender)
{
    // Called by the timer only on ticks where a frame falls due; the ticks in between are
    // counted here all at once. Called from elsewhere, it counts one tick.
    TVeTimer* timer = sender != nullptr && sender == GameTimer ? GameTimer : nullptr;
    TGameFormState s = State.load();
    if (s < gsIdle || s > gsTransition) {
        if (timer)
            timer->SetNextCall(IdleCheckPeriods);
        return;
    }
    const int periods = timer ? static_cast<int>(timer->Periods()) : 1;
    int tick = TickCount.load();
    int due = 0;
    for (int i = 0; i < periods; ++i) {
        ++tick;
        if (FrameDueOnTick(TimerInterval, tick))
            ++due;
    }
    TickCount.store(tick);
    if (due > 0) {
        FramesDue.fetch_add(due);
        PulseTimerEvent();
    }
    if (timer)
        timer->SetNextCall(static_cast<unsigned>(TicksToNextDue(TimerInterval, tick)));
}

void TGameForm::PulseTimerEvent()
{
    if (TimerEvent)
        TimerEvent->PulseEvent();
}

void TGameForm::ResetFrameCounters()
{
    TickCount.store(0);
    FramesDue.store(0);
    FramesDone.store(0);
    if (GameTimer)
        GameTimer->Rearm();  // the next due frame is counted from here
}

void TGameForm::SetState(TGameFormState s)
{
    if (HookProbe && s != gsWait && s != gsClosing && State.load() == gsWait)
        HookProbe(hkLeaveWait);
    // Closing is final: nothing may reopen a form that is shutting down.
    auto counting = [](TGameFormState state) { return state >= gsIdle && state <= gsTransition; };
    bool started = false;
    auto store = [&] {
        TGameFormState current = State.load();
        while (current != gsClosing && !State.compare_exchange_weak(current, s)) {
        }
        started = current != gsClosing && !counting(current) && counting(s);
    };
    if (StateLock) {
        std::lock_guard<TCriticalSection> lock(*StateLock);
        store();
    } else {
        store();
    }
    if (started && GameTimer)
        GameTimer->Rearm();  // the timer counts from the next tick on
}

void TGameForm::SetCursorType(int type)
{
    if (type >= -1 && type <= 7)
        CursorType.store(type);
}

void TGameForm::SetFrameProc(TFrameProc proc)
{
    std::lock_guard<std::mutex> lock(FHookLock);
    FrameProc = std::move(proc);
}

void TGameForm::SetRedrawProc(TRedrawProc proc)
{
    std::lock_guard<std::mutex> lock(FHookLock);
    RedrawProc = std::move(proc);
}

void TGameForm::SetDrawProc(TDrawProc proc)
{
    std::lock_guard<std::mutex> lock(FHookLock);
    DrawProc = std::move(proc);
}

void TGameForm::RemoveScreen(TVeRGBPanel* panel)
{
    // Hooks are called only inside a pass or a forced frame, both under the draw lock: holding
    // it, none is running, and once the frame procedure is gone nothing installs them again.
    std::unique_lock<TVeCriticalSection> pass;
    if (DrawLock)
        pass = std::unique_lock<TVeCriticalSection>(*DrawLock);
    if (panel)
        DetachScreen(panel);
    TFrameProc frame;
    TRedrawProc redraw;
    TDrawProc draw;
    std::lock_guard<std::mutex> lock(FHookLock);
    frame.swap(FrameProc);
    redraw.swap(RedrawProc);
    draw.swap(DrawProc);
}

void TGameForm::AwaitFramePass()
{
    if (DrawLock)
        std::lock_guard<TVeCriticalSection> pass(*DrawLock);
}

uint32_t TGameForm::Now() const
{
    return Clock ? Clock() : timeGetTime();
}

void TGameForm::FramePump()
{
    TFPSMode mode = FPSMode.load();
    if (PumpWait) {
        PumpWait(mode);
    } else if (mode == 0 || mode == 1) {
        if (TimerEvent)
            TimerEvent->WaitFor(100);
        else
            Sleep(100);
    } else {
        Sleep(3);
    }
    if (State.load() == gsClosing || DrawLock == nullptr)
        return;

    // One pass at a time: a pass that finds another running is skipped and leaves its due
    // frames for the next one.
    bool rendered = false;
    {
        TVeTryLock pass(*DrawLock);
        if (!pass)
            return;
        // The wait thread may have slept into another state: its pass would run the new
        // screen's frame procedure beside the game thread, which is still setting that screen up.
        if (WaitThread && WaitThread->IsCurrent() && State.load() != gsWait)
            return;
        if (HookProbe)
            HookProbe(hkPass);
        int done = FramesDone.load();
        if (done > RebaseLimit) {
            FramesDue.fetch_sub(done);
            FramesDone.store(0);
        }
        int steps = FramesDue.load() - FramesDone.load();
        if (steps < 0)
            steps = 0;  // a reset between the two reads
        bool run = (mode == 0) ? steps > 1 : (mode == 1) ? steps != 0 : true;
        if (!run)
            return;
        FramesDone.fetch_add(steps);
        try {
            if (State.load() != gsClosing)
                Update(steps);
            if (State.load() != gsClosing) {
                Render(steps);
                rendered = true;
            }
        } catch (const EGameEnd&) {
            throw;  // the game thread ending from inside a frame: not a failure
        } catch (...) {
            if (State.load() != gsClosing) {
                MarkFailed();
                RequestClose(false);
            }
        }
    }
    // Full speed with vertical sync is paced by the presentation, waited for with no lock held.
    if (rendered && mode == 2 && FDisplay)
        FDisplay->WaitPresented(20);
}

void TGameForm::Update(int steps)
{
    DispatchInput();
    TGameFormState s = State.load();
    if (steps > 0 && s >= gsMenu && s <= gsScene && FRoot && StateLock) {
        std::lock_guard<TCriticalSection> lock(*StateLock);
        for (int i = 0; i < steps; ++i)
            FRoot->Anime();
    }
    TFrameProc proc = CopyHook(FrameProc);
    if (proc) {
        if (HookProbe)
            HookProbe(hkFrame);
        proc(steps);
    }
    if (State.load() == gsTransition) {
        if (IsTransitionIdle()) {
            EndTransition();
            SetState(gsIdle);
            MainThreadSignal(0);
        } else {
            AdvanceTransition(steps);
        }
    }
    if (steps > 0)
        StepFades(steps);
}

void TGameForm::StepFades(int steps)
{
    if (!SoundLock)
        return;
    // Under the sound lock: the game thread may start or stop these channels meanwhile.
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (BGMFadeOut >= 0) {
        BGMFadeOut -= 2 * steps;
        int other = BGMCurrent ^ 1;
        if (BGMFadeOut <= 0) {
            StopBGMStream(other);
            BGMFadeOut = -1;
        } else if (BGMStream[other]) {
            BGMStream[other]->SetVolume(VolumeAttenuation(BGMFadeOut));
        }
    }
    if (SE2Fade < 0) {
        SE2Fade += 2 * steps;
        if (SE2Fade >= 0) {
            if (SE2Buffer)
                SE2Buffer->SetVolume(VolumeAttenuation(VolumeSE.load()));
            SE2Fade = 0;
        } else if (SE2Buffer) {
            SE2Buffer->SetVolume(VolumeAttenuation(VolumeSE.load() + SE2Fade));
        }
    } else if (SE2Fade > 0) {
        SE2Fade -= 2 * steps;
        if (SE2Fade <= 0) {
            StopSE2(false);
            SE2Fade = 0;
        } else if (SE2Buffer) {
            SE2Buffer->SetVolume(VolumeAttenuation(SE2Fade));
        }
    }
}
