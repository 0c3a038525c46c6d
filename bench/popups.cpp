// The message window's per-message and per-frame work: laying out a full four-line message
// (four lines through the text maker) and one step of the text fade.

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
    TPopupBench b;
    const std::string text = FullMessage();
    b.Popup->OpenMesWin(true);
    for (auto _ : state) {
        state.PauseTiming();
        b.Popup->FadeMesText(text);
        state.ResumeTiming();
        b.Popup->UpdateMesWin(false);
        benchmark::DoNotOptimize(b.Popup->MesText->Alpha()->Bits());
    }
}

}  // namespace

BENCHMARK(LayoutMessage)->Unit(benchmark::kMicrosecond);
BENCHMARK(FadeStep)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
