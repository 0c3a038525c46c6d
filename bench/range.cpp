#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "archive/Verange.h"

namespace {

constexpr size_t BodySize = 0x40048;

// A system-save body: 72 bytes of sparse flags, then a read-message table of a few dozen
// scenario blocks with short range lists, then the zeros of the unused table.
std::vector<uint8_t> SaveLikeBody()
{
    std::vector<uint8_t> body(BodySize, 0);
    std::mt19937 gen(1);
    for (int i = 0; i < 72; ++i)
        if (gen() % 4 == 0)
            body[static_cast<size_t>(i)] = static_cast<uint8_t>(gen());
    size_t pos = 80;
    for (int block = 0; block < 40; ++block) {
        int ranges = 1 + static_cast<int>(gen() % 12);
        body[pos] = static_cast<uint8_t>(ranges * 4);
        body[pos + 4] = static_cast<uint8_t>(block);
        for (int i = 8; i < 16; ++i)
            body[pos + static_cast<size_t>(i)] = static_cast<uint8_t>(gen());
        pos += 16;
        uint16_t first = 0;
        for (int r = 0; r < ranges; ++r) {
            first = static_cast<uint16_t>(first + 2 + gen() % 50);
            uint16_t last = static_cast<uint16_t>(first + gen() % 200);
            body[pos] = static_cast<uint8_t>(first);
            body[pos + 1] = static_cast<uint8_t>(first >> 8);
            body[pos + 2] = static_cast<uint8_t>(last);
            body[pos + 3] = static_cast<uint8_t>(last >> 8);
            pos += 4;
            first = last;
        }
    }
    return body;
}

std::vector<uint8_t> RandomBody()
{
    std::vector<uint8_t> body(BodySize);
    std::mt19937 gen(2);
    for (uint8_t& b : body)
        b = static_cast<uint8_t>(gen());
    return body;
}

void Encode(benchmark::State& state, const std::vector<uint8_t>& raw)
{
    TRangeEncode encoder;
    encoder.CreateBuffer();
    std::vector<uint8_t> coded(raw.size() * 4);
    for (auto _ : state) {
        bool ok = encoder.Encode(raw.data(), coded.data(), static_cast<int64_t>(coded.size()),
                                 static_cast<int64_t>(raw.size()));
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(raw.size()));
    state.counters["coded_bytes"] = static_cast<double>(encoder.OutCount);
}

void Decode(benchmark::State& state, const std::vector<uint8_t>& raw)
{
    TRangeEncode encoder;
    encoder.CreateBuffer();
    std::vector<uint8_t> coded(raw.size() * 4);
    encoder.Encode(raw.data(), coded.data(), static_cast<int64_t>(coded.size()), static_cast<int64_t>(raw.size()));
    TRangeDecode decoder;
    decoder.CreateBuffer();
    std::vector<uint8_t> back(raw.size());
    for (auto _ : state) {
        bool ok = decoder.Decode(coded.data(), back.data(), encoder.OutCount, static_cast<int64_t>(back.size()));
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(raw.size()));
}

void BM_EncodeSaveBody(benchmark::State& state) { Encode(state, SaveLikeBody()); }
void BM_DecodeSaveBody(benchmark::State& state) { Decode(state, SaveLikeBody()); }
void BM_EncodeRandom(benchmark::State& state) { Encode(state, RandomBody()); }
void BM_DecodeRandom(benchmark::State& state) { Decode(state, RandomBody()); }

}  // namespace

BENCHMARK(BM_EncodeSaveBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSaveBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
