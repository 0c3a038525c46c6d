// Cost of mixing one device period of eight playing voices (six whole sounds, two streams).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "media/Vedsound.h"

namespace {

std::vector<uint8_t> ToneAdp(uint32_t frames, double freq)
{
    std::vector<int16_t> pcm(size_t(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i)
        pcm[i * 2] = pcm[i * 2 + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * freq * i / 44100));
    return DirectX::EncodeAdp(pcm.data(), frames, 2, 44100);
}

void MixEightVoices(benchmark::State& state)
{
    const int period = static_cast<int>(state.range(0));
    DirectX::TDSound device(nullptr);
    device.EnableOffline();
    std::vector<std::unique_ptr<TMemoryStream>> files;
    std::vector<DirectX::TCustomDSoundBuffer*> voices;
    for (int i = 0; i < 8; ++i) {
        auto adp = ToneAdp(44100 * 2, 200.0 + 100 * i);
        files.push_back(std::make_unique<TMemoryStream>());
        files.back()->Write(adp.data(), int64_t(adp.size()));
        files.back()->SetPosition(0);
        DirectX::TCustomDSoundBuffer* voice;
        if (i < 6)
            voice = device.CreateBufferFromAdp(files.back().get(), false, false, false);
        else
            voice = device.CreateStreamFromAdp(files.back().get(), false, false);
        voice->SetVolume(-300 * i);
        voice->Play(true);
        voices.push_back(voice);
    }
    std::vector<int16_t> out(size_t(period) * 2);
    for (auto _ : state) {
        device.Mix(out.data(), period);
        benchmark::DoNotOptimize(out.data());
    }
    // Share of one core the mixer needs to keep up with the device, in percent.
    double audioSeconds = double(state.iterations()) * period / 44100.0;
    state.counters["core_percent"] =
        benchmark::Counter(audioSeconds / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (auto* voice : voices)
        delete voice;
}

// The refill side: decoding and resampling one second of 22050 Hz stereo to the device rate.
void DecodeOneSecond(benchmark::State& state)
{
    std::vector<int16_t> pcm(22050 * 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(8000 * std::sin(i * 0.01));
    auto adp = DirectX::EncodeAdp(pcm.data(), 22050, 2, 22050);
    TMemoryStream file;
    file.Write(adp.data(), int64_t(adp.size()));
    file.SetPosition(0);
    DirectX::TAdpReader reader;
    reader.Open(&file);
    std::vector<int16_t> out(2 * 4096);
    for (auto _ : state) {
        reader.Rewind();
        while (reader.Read(out.data(), 4096) > 0)
            benchmark::DoNotOptimize(out.data());
    }
    state.counters["core_percent"] =
        benchmark::Counter(double(state.iterations()) / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(DecodeOneSecond);
BENCHMARK(MixEightVoices)->Arg(1024)->Arg(4096)->UseRealTime();
BENCHMARK_MAIN();
