// The cost of rendering one line of a text panel, as the message window does for each line it
// types: a 600 x 24 panel with 40 bytes of Shift-JIS text at 24 pixels, in both modes.

#include <benchmark/benchmark.h>

#include <string>

#include "panels/Vergbtext.h"

namespace {

void DrawLine(benchmark::State& state)
{
    TComponent owner(nullptr);
    auto* text = new TVeRGBText(&owner);
    text->SetSizeX(600);
    text->SetAntiAliase(state.range(0) != 0);
    text->MakeBuffer(pf32_888);
    std::string line;
    for (int i = 0; i < 20; ++i)
        line += "\x82\xa0";  // a double-byte hiragana, 20 times
    text->SetText(line);
    for (auto _ : state) {
        text->DrawText();
        benchmark::DoNotOptimize(text->ColorBuffer()->Bits());
    }
}

}  // namespace

BENCHMARK(DrawLine)->Arg(0)->Arg(1)->ArgName("antialiased")->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
