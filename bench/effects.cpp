// One drawn frame of each transition effect at 24 and 32 bits, 640x480, with the effect
// resources made by the data makers.

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "archive/Vefileman.h"
#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbeffect.h"
#include "game/Zbeffectdata.h"

namespace {

TBitDepth DepthOf(const benchmark::State& state)
{
    return state.range(0) == 24 ? bd24 : bd32;
}

std::unique_ptr<TVeRGBBits> Screen(TBitDepth depth, uint32_t colour)
{
    auto b = std::make_unique<TVeRGBBits>(nullptr);
    b->SetBitDepth(depth);
    b->Create();
    b->BoxFill(0, 0, 639, 479, colour);
    return b;
}

// The resources live in a scratch folder for the whole run.
struct TResources {
    TResources()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "effectbenchXXXXXX").string();
        if (::mkdtemp(pattern.data()))
            Folder = pattern;
        WriteEffectData(Folder);
        Files.InitDir(Folder);
        ZbdataStart();
        ZbeffectStart();
        WaterTable->Load(&Files);
        FadeAlphaMask->Load(&Files, FadeMaskFileNames[7]);
    }
    ~TResources()
    {
        ZbeffectFinish();
        ZbdataFinish();
        std::error_code error;
        std::filesystem::remove_all(Folder, error);
    }
    std::string Folder;
    TFileMan Files{nullptr};
};

TResources& Resources()
{
    static TResources resources;
    return resources;
}

template <class Effect>
void Frame(benchmark::State& state, Effect effect, int level)
{
    Resources();
    const TBitDepth depth = DepthOf(state);
    auto dest = Screen(depth, 0x102030), old = Screen(depth, 0x405060), fresh = Screen(depth, 0x8090A0);
    TVeRectSet dirty;
    for (auto _ : state) {
        effect(dest.get(), &dirty, old.get(), fresh.get(), level);
        benchmark::DoNotOptimize(dest->Bits());
    }
}

void BM_Fade(benchmark::State& state) { Frame(state, TransFade, 64); }
void BM_Slide(benchmark::State& state)
{
    Frame(state, [](auto d, auto s, auto o, auto n, int l) { return TransSlide(d, s, o, n, l, 2); }, 80);
}
void BM_ZoomIn(benchmark::State& state) { Frame(state, TransZoomIn, 18); }
void BM_ZoomBlur(benchmark::State& state) { Frame(state, TransZoomBlur, 18); }
void BM_Water(benchmark::State& state) { Frame(state, TransWater, 20); }
void BM_MaskFade(benchmark::State& state) { Frame(state, TransMaskFade, 128); }

}  // namespace

BENCHMARK(BM_Fade)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Slide)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZoomIn)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZoomBlur)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Water)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaskFade)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
