// The per-frame cost of the panel tree: a 640x480 screen of 200 panels in which one 32x32
// panel changes its block each frame. A frame at 30 frames per second lasts 33 ms.

#include <benchmark/benchmark.h>

#include <vector>

#include "panels/Vergbpanel.h"

namespace {

TVeRGBBits* MakePicture(TComponent* owner, int w, int h, uint32_t colour)
{
    auto* picture = new TVeRGBBits(owner);
    picture->Resize(w, h);
    picture->Create();
    picture->BoxFill(0, 0, w - 1, h / 2 - 1, colour);
    picture->BoxFill(0, h / 2, w - 1, h - 1, colour ^ 0xFFFFFF);
    picture->ClearModifyRect();
    return picture;
}

// Ten screens of 160x120 (some hidden), each with nineteen 32x32 buttons in two blocks, half
// of them colour-keyed: 1 + 10 + 190 = 201 panels.
struct TScreen {
    TComponent Owner{nullptr};
    TVeRGBPanel* Root;
    TVeRGBPanel* Changing = nullptr;
    TVeRGBBits* Surface;

    TScreen()
    {
        Surface = MakePicture(&Owner, 640, 480, 0x000000);
        Root = new TVeRGBPanel(&Owner);
        Root->SetImage(MakePicture(&Owner, 640, 480, 0x204060));
        TVeRGBBits* button = MakePicture(&Owner, 32, 64, 0x808080);
        TVeRGBBits* back = MakePicture(&Owner, 160, 120, 0x402010);
        for (int s = 0; s < 10; ++s) {
            auto* screen = new TVeRGBPanel(&Owner);
            screen->SetImage(back);
            screen->SetOffsetX((s % 4) * 160);
            screen->SetOffsetY((s / 4) * 120);
            screen->SetParent(Root);
            for (int b = 0; b < 19; ++b) {
                auto* p = new TVeRGBPanel(&Owner);
                p->SetNumBlock(2);
                p->SetImage(button);
                p->SetMaskMode(b % 2 ? mmColorKey : mmOpaque);
                p->SetOffsetX((b % 5) * 32);
                p->SetOffsetY((b / 5) * 30);
                p->SetParent(screen);
                if (s == 5 && b == 7)
                    Changing = p;
            }
        }
        Root->AllCreate();
        Root->Draw(Surface);
    }
};

void BM_UpdateOneChangedPanel(benchmark::State& state)
{
    TScreen screen;
    int block = 0;
    TVeRectSet flip;
    for (auto _ : state) {
        block ^= 1;
        screen.Changing->SetBlockIndex(block);
        screen.Root->GetModifiedRectSet(&flip);
        benchmark::DoNotOptimize(screen.Root->Update(screen.Surface));
    }
}
BENCHMARK(BM_UpdateOneChangedPanel);

void BM_UpdateNothingChanged(benchmark::State& state)
{
    TScreen screen;
    TVeRectSet flip;
    for (auto _ : state) {
        screen.Root->GetModifiedRectSet(&flip);
        benchmark::DoNotOptimize(screen.Root->Update(screen.Surface));
    }
}
BENCHMARK(BM_UpdateNothingChanged);

void BM_DrawWholeTree(benchmark::State& state)
{
    TScreen screen;
    for (auto _ : state)
        benchmark::DoNotOptimize(screen.Root->Draw(screen.Surface));
}
BENCHMARK(BM_DrawWholeTree);

}  // namespace

BENCHMARK_MAIN();
