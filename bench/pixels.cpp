// Full-screen (640x480) pixel operations at 24 and 32 bits, with pixman's compositing of the
// same work as the yardstick: OVER of an x8r8g8b8 source through an a8 mask, and through a
// constant 50% mask.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/Vealpha.h"
#include "base/Vergbbits.h"

#ifdef ZB_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int W = 640;
constexpr int H = 480;

TBitDepth DepthOf(const benchmark::State& state)
{
    return state.range(0) == 24 ? bd24 : bd32;
}

struct TScene {
    TComponent Owner{nullptr};
    TVeRGBBits* Dest;
    TVeRGBBits* Src;
    TVeRGBBits* Src2;
    TVeRGBBits* Other;  // the other depth, for conversion
    TVeAlpha* Mask;

    explicit TScene(TBitDepth depth)
    {
        Dest = Make(depth, 1);
        Src = Make(depth, 2);
        Src2 = Make(depth, 3);
        Other = Make(depth == bd24 ? bd32 : bd24, 4);
        Mask = new TVeAlpha(&Owner);
        Mask->Resize(W, H);
        Mask->Create();
        std::mt19937 rng(5);
        for (int i = 0; i < W * H; ++i)
            Mask->Bits()[i] = static_cast<uint8_t>(rng());
    }

    TVeRGBBits* Make(TBitDepth depth, uint32_t seed)
    {
        auto* b = new TVeRGBBits(&Owner);
        b->SetBitDepth(depth);
        b->Resize(W, H);
        b->Create();
        std::mt19937 rng(seed);
        const int bytes = W * BytesPerPixel(depth);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < bytes; ++x)
                b->Bits()[y * b->Pitch() + x] = static_cast<uint8_t>(rng());
        return b;
    }
};

void Finish(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * W * H);
}

void BM_Draw(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->Draw(0, 0, s.Src, 0, 0, W, H);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_ConvertCopyFromOtherDepth(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->ConvertCopy(0, 0, s.Other, 0, 0, W, H);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_DrawAlphaMask(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->DrawAlphaMask(0, 0, s.Src, 0, 0, W, H, s.Mask);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_AlphaBlend64InPlace(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->AlphaBlend(0, 0, s.Src, 0, 0, W, H, 64);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_AlphaBlend64TwoSources(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->AlphaBlend(0, 0, s.Src, 0, 0, s.Src2, 0, 0, W, H, 64);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_SaturationAdd(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->SaturationAdd(0, 0, s.Src, 0, 0, W, H);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_DrawKey(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->DrawKey(0, 0, s.Src, 0, 0, W, H, VeRGB(0x102030));
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

// A buffer blended onto itself one row lower: the rows overlap.
void BM_AlphaBlend64SelfOverlap(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->AlphaBlend(0, 1, s.Dest, 0, 0, W, H - 1, 64);
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * W * (H - 1));
}

void BM_ToneChange(benchmark::State& state)
{
    TScene s(DepthOf(state));
    for (auto _ : state) {
        s.Dest->ToneChange(0, 0, W - 1, H - 1, 0x818181);  // just over 1: bright pixels clamp
        s.Dest->ClearModifyRect();
        benchmark::ClobberMemory();
    }
    Finish(state);
}

BENCHMARK(BM_Draw)->Arg(24)->Arg(32);
BENCHMARK(BM_ConvertCopyFromOtherDepth)->Arg(24)->Arg(32);
BENCHMARK(BM_DrawAlphaMask)->Arg(24)->Arg(32);
BENCHMARK(BM_AlphaBlend64InPlace)->Arg(24)->Arg(32);
BENCHMARK(BM_AlphaBlend64TwoSources)->Arg(24)->Arg(32);
BENCHMARK(BM_SaturationAdd)->Arg(24)->Arg(32);
BENCHMARK(BM_DrawKey)->Arg(24)->Arg(32);
BENCHMARK(BM_AlphaBlend64SelfOverlap)->Arg(24)->Arg(32);
BENCHMARK(BM_ToneChange)->Arg(24)->Arg(32);

#ifdef ZB_HAVE_PIXMAN

struct TPixmanScene {
    TScene Ours{bd32};
    pixman_image_t* Dest;
    pixman_image_t* Src;
    pixman_image_t* Mask;
    pixman_image_t* Half;

    TPixmanScene()
    {
        Dest = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, reinterpret_cast<uint32_t*>(Ours.Dest->Bits()),
                                        Ours.Dest->Pitch());
        Src = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, reinterpret_cast<uint32_t*>(Ours.Src->Bits()),
                                       Ours.Src->Pitch());
        Mask = pixman_image_create_bits(PIXMAN_a8, W, H, reinterpret_cast<uint32_t*>(Ours.Mask->Bits()),
                                        Ours.Mask->Pitch());
        const pixman_color_t half = {0, 0, 0, 0x8080};
        Half = pixman_image_create_solid_fill(&half);
    }
    ~TPixmanScene()
    {
        pixman_image_unref(Dest);
        pixman_image_unref(Src);
        pixman_image_unref(Mask);
        pixman_image_unref(Half);
    }
};

void BM_PixmanOverA8Mask(benchmark::State& state)
{
    TPixmanScene s;
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s.Src, s.Mask, s.Dest, 0, 0, 0, 0, 0, 0, W, H);
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_PixmanOverHalfMask(benchmark::State& state)
{
    TPixmanScene s;
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s.Src, s.Half, s.Dest, 0, 0, 0, 0, 0, 0, W, H);
        benchmark::ClobberMemory();
    }
    Finish(state);
}

BENCHMARK(BM_PixmanOverA8Mask);
BENCHMARK(BM_PixmanOverHalfMask);

#endif

}  // namespace

BENCHMARK_MAIN();
