// The message window's per-message and per-frame work: laying out a full four-line message
// (four lines through the text maker) and the text fade from one message to the next.

#include <benchmark/benchmark.h>

#include <string>

#include "base/Vealpha.h"
#include "base/Vememman.h"
#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "scenario/Popupu.h"

namespace {

std::string FullMessage()
{
    std::string text;
    for (int line = 0; line < 4; ++line) {
        for (int i = 0; i < 24; ++i)
            text += "\x82\xa0";
        text += line < 3 ? "\n" : "";
    }
    return text;
}

struct TPopupBench {
    TPopupBench()
    {
        ZbdataStart();
        MemMan = new TMemMan(nullptr);
        Popup = new TPopupWin(nullptr);
        Popup->Setup(nullptr);  // no pictures: only the text planes matter here
    }
    ~TPopupBench()
    {
        delete Popup;
        delete MemMan;
        MemMan = nullptr;
        ZbdataFinish();
    }
    TPopupWin* Popup;
};

void LayoutMessage(benchmark::State& state)
{
    TPopupBench b;
    const std::string text = FullMessage();
    for (auto _ : state) {
        b.Popup->SetMesText(text);
        benchmark::DoNotOptimize(b.Popup->MesText->Alpha()->Bits());
    }
}

void FadeStep(benchmark::State& state)
{
    // One iteration is a whole fade, so the untimed layout before it (some thirty times a step)
    // is paid once per eight steps; with the short minimum time below the run takes seconds,
    // not minutes, and still times thousands of steps.
    TPopupBench b;
    const std::string text = FullMessage();
    b.Popup->OpenMesWin(true);
    int64_t steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.Popup->FadeMesText(text);
        state.ResumeTiming();
        do {
            ++steps;
            benchmark::DoNotOptimize(b.Popup->MesText->Alpha()->Bits());
        } while (!b.Popup->UpdateMesWin(false));
    }
    // Per step: the time shown is per fade.
    state.SetItemsProcessed(steps);
    state.counters["steps_per_fade"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(LayoutMessage)->Unit(benchmark::kMicrosecond);
BENCHMARK(FadeStep)->Unit(benchmark::kMicrosecond)->MinTime(0.05);
BENCHMARK_MAIN();
