// Instructions per second of the script machine on a tight arithmetic loop, and of trigger
// conditions evaluated the way the game flow asks for them.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/Vefileman.h"
#include "game/Zbdata.h"
#include "scenario/Avgu.h"
#include "scenario/Zbasm.h"

namespace {

constexpr int Iterations = 1000000;
constexpr int InstructionsPerIteration = 6;

const char* const LoopScript =
    ".trigger Loop group=0 priority=100\n"
    "    push 3\n    push 4\n    mul\n    push 12\n    eq\n"
    ".end\n"
    ".function Loop\n"
    "    push 0\n"
    "again:\n"
    "    push 1\n    add\n    dup\n    push 1000000\n    lt\n    jnz again\n"
    "    end\n";

class TBenchWorld {
public:
    TBenchWorld()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zbbenchscriptXXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        FFolder = pattern;
        std::vector<uint8_t> bytes;
        std::string error;
        if (!AssembleScript(LoopScript, bytes, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        std::ofstream(FFolder + "/Loop.Wps", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ZbdataStart();
        FFiles.InitDir(FFolder);
        Unit.Host.ScriptFileMan = &FFiles;
        if (!Unit.InitScenario(nullptr))
            std::abort();
        Unit.ResourcesReady = true;
        Unit.RunBudget = INT64_MAX;
    }
    ~TBenchWorld()
    {
        std::filesystem::remove_all(FFolder);
        ZbdataFinish();
    }

    TAvgUnit Unit{nullptr};

private:
    std::string FFolder;
    TFileMan FFiles{nullptr};
};

void BM_ArithmeticLoop(benchmark::State& state)
{
    TBenchWorld world;
    int64_t instructions = 0;
    for (auto _ : state) {
        if (!world.Unit.StartScript(0, 0))
            state.SkipWithError("the loop did not end");
        instructions += int64_t(Iterations) * InstructionsPerIteration + 2;
    }
    state.counters["instructions/s"] = benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ArithmeticLoop)->Unit(benchmark::kMillisecond);

void BM_TriggerCondition(benchmark::State& state)
{
    TBenchWorld world;
    int64_t tests = 0;
    for (auto _ : state) {
        if (!world.Unit.TestTrigger(0, 0))
            state.SkipWithError("the condition was false");
        ++tests;
    }
    state.counters["conditions/s"] = benchmark::Counter(static_cast<double>(tests), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TriggerCondition);

}  // namespace

BENCHMARK_MAIN();
