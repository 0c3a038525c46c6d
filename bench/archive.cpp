// Opening an archive of 10,000 members and restoring one of them through a file manager.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "archive/Vefileman.h"
#include "archive/Vepack.h"
#include "support/ArchiveFixtures.h"

namespace {

constexpr int MemberCount = 10000;

std::string MemberName(int i)
{
    char name[64];
    std::snprintf(name, sizeof(name), "Folder%02d\\picture_%05d.png", i % 50, i);
    return name;
}

// Members of 1 KB, except every hundredth of 64 KB (the size of a picture).
size_t MemberSize(int i)
{
    return i % 100 == 0 ? 65536 : 1024;
}

class TBenchArchive {
public:
    TBenchArchive()
    {
        FPath = (std::filesystem::temp_directory_path() / ("bench_archive_" + std::to_string(::getpid()) + ".pak")).string();
        TVePackWriter writer;
        writer.Begin(FPath);
        for (int i = 0; i < MemberCount; ++i) {
            TByteVector bytes = PatternBytes(static_cast<uint32_t>(i), MemberSize(i));
            writer.Add(MemberName(i), bytes.data(), bytes.size());
        }
        if (!writer.Finish())
            std::fprintf(stderr, "cannot write %s: %s\n", FPath.c_str(), writer.LastError().c_str());
    }
    ~TBenchArchive() { std::filesystem::remove(FPath); }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

const TBenchArchive& Archive()
{
    static TBenchArchive archive;
    return archive;
}

void BM_InitPack10000(benchmark::State& state)
{
    const std::string& path = Archive().Path();
    for (auto _ : state) {
        TFileMan man(nullptr);
        bool opened = man.InitPack(path);
        benchmark::DoNotOptimize(opened);
    }
}
BENCHMARK(BM_InitPack10000)->Unit(benchmark::kMillisecond);

void BM_OpenMember(benchmark::State& state)
{
    TFileMan man(nullptr);
    man.InitPack(Archive().Path());
    // Arg 1: a 1 KB member; arg 100: a 64 KB one. Names in another case, as the game asks.
    int step = static_cast<int>(state.range(0));
    int i = 1;
    for (auto _ : state) {
        std::string name = MemberName(i);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        TStream* stream = man.Open(name);
        benchmark::DoNotOptimize(stream);
        man.Close(stream);
        i = (i + step * 37) % MemberCount;
        if (step == 100)
            i -= i % 100;
        else if (i % 100 == 0)
            ++i;
    }
}
BENCHMARK(BM_OpenMember)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_FindAllPng(benchmark::State& state)
{
    TFileMan man(nullptr);
    man.InitPack(Archive().Path());
    for (auto _ : state) {
        man.FindFirst("Folder07\\*.png");
        std::string name;
        int count = 0;
        while (man.FindNext(name))
            ++count;
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_FindAllPng)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
