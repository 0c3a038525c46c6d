// What a flip costs the frame thread (the copy of its rectangles into the window's front
// copy, nothing else), and what the interface thread then spends uploading and presenting.
// Runs on the headless driver unless SDL_VIDEODRIVER says otherwise.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "media/Veddraw.h"
#include "platform/Display.h"

using namespace DirectX;

namespace {

// An enabled display at the given depth for the length of one benchmark.
class TOpenDisplay {
public:
    explicit TOpenDisplay(TBitDepth depth) : FDisplay(nullptr)
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        FDisplay.SetBitDepth(depth);
        FDisplay.SetNoVSync(true);
        FDisplay.SetEnabled(true);
        if (FDisplay.GetEnabled())
            FDisplay.Surface()->BoxFill(0, 0, 639, 479, 0x336699);
    }
    ~TOpenDisplay() { FDisplay.SetEnabled(false); }
    TDDraw& operator*() { return FDisplay; }
    bool Ok() const { return FDisplay.GetEnabled(); }

private:
    TDDraw FDisplay;
};

// 100 disjoint 32x32 rectangles spread over the screen, as a busy frame of cursors would give.
TVeRectSet CursorRects()
{
    TVeRectSet set;
    for (int i = 0; i < 100; ++i) {
        const int x = (i % 10) * 64, y = (i / 10) * 48;
        set.UnionRect(VeRect(x, y, x + 32, y + 32));
    }
    return set;
}

void BM_FlipCursorRects(benchmark::State& state)
{
    TOpenDisplay display(static_cast<TBitDepth>(state.range(0)));
    if (!display.Ok()) {
        state.SkipWithError("display did not open");
        return;
    }
    const TVeRectSet rects = CursorRects();
    for (auto _ : state)
        benchmark::DoNotOptimize((*display).FlipModifyRect(rects));
    state.SetBytesProcessed(state.iterations() * 100 * 32 * 32 * state.range(0));
}
BENCHMARK(BM_FlipCursorRects)->Arg(bd24)->Arg(bd32);

void BM_FlipFullScreen(benchmark::State& state)
{
    TOpenDisplay display(static_cast<TBitDepth>(state.range(0)));
    if (!display.Ok()) {
        state.SkipWithError("display did not open");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize((*display).Flip());
    state.SetBytesProcessed(state.iterations() * 640 * 480 * state.range(0));
}
BENCHMARK(BM_FlipFullScreen)->Arg(bd24)->Arg(bd32);

// The interface thread's share of a full-screen frame: upload and present.
void BM_PumpFullScreen(benchmark::State& state)
{
    TOpenDisplay display(bd32);
    if (!display.Ok()) {
        state.SkipWithError("display did not open");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        (*display).Flip();
        state.ResumeTiming();
        while (!Display::WaitPresented(0))
            Display::PumpEvents(0);
    }
}
BENCHMARK(BM_PumpFullScreen);

}  // namespace

BENCHMARK_MAIN();
