// One frame of the scene's weather: moving the particles and drawing both layers over the
// whole screen, for rain (128 streaks) and snow (128 flakes).
#include <benchmark/benchmark.h>

#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"

namespace {

void WeatherFrame(benchmark::State& state)
{
    ZbdataStart();
    {
        TAvgUnit unit(nullptr);
        TVeRGBBits snow(nullptr);
        snow.SetBitDepth(bd32);
        snow.Resize(50, 14);
        snow.Create();
        snow.BoxFill(0, 0, 49, 13, 0x404040);
        unit.SnowImage = &snow;
        TVeRGBBits target(nullptr);
        target.SetBitDepth(bd32);
        target.Create();
        unit.WeatherKind = static_cast<int>(state.range(0));
        unit.WeatherInit();
        for (auto _ : state) {
            unit.WeatherUpdate(1);
            unit.WeatherDraw(false, &target, 0, 0, 0, 0, 640, 480);
            unit.WeatherDraw(true, &target, 0, 0, 0, 0, 640, 480);
            benchmark::DoNotOptimize(target.Bits());
            target.ClearModifyRect();  // as the renderer does once a frame
        }
        unit.SnowImage = nullptr;
    }
    ZbdataFinish();
}

}  // namespace

BENCHMARK(WeatherFrame)->Arg(1)->Arg(2)->Arg(3);
BENCHMARK_MAIN();
