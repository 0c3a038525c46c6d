// Playing a 640x480 MPEG-1 movie with its clock far ahead: how fast the decode thread decodes
// and converts pictures (the frame thread only copies the last one each call).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/Movie.h"
#include "support/MovieFixtures.h"

namespace {

constexpr int Frames = 100;

const std::string& ClipPath()
{
    static MovieTest::TClipFolder folder;
    static std::string path = [] {
        TMovieClip clip;
        clip.Width = 640;
        clip.Height = 480;
        clip.MovingBar = true;
        clip.Segments = {{Frames / 2, 0x336699}, {Frames / 2, 0x996633}};
        return folder.Make("bench.mpg", clip);
    }();
    return path;
}

void BM_MovieDecodeWholeClip(benchmark::State& state)
{
    std::vector<uint8_t> pixels(640 * 480 * 4);
    TPixelTarget target{pixels.data(), 640 * 4, 640, 480, 4};
    TMovieDecoder decoder;
    int64_t now = 0;
    decoder.SetClock([&] { return now; });
    if (!decoder.Open(ClipPath())) {
        state.SkipWithError("no clip");
        return;
    }
    int64_t pictures = 0;
    for (auto _ : state) {
        now = 0;
        decoder.Start(640, 480, 4, false);
        now = int64_t(1) << 40;  // every picture is due at once
        while (!decoder.Update(target).Ended) {
        }
        pictures += Frames;
    }
    state.counters["pictures/s"] = benchmark::Counter(double(pictures), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MovieDecodeWholeClip)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
