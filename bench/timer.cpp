// The timer's achieved period: runs it for about three seconds at each interval and reports
// the mean period, its error against the asked one, and the worst single gap.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Vetimer.h"

namespace {

using Clock = std::chrono::steady_clock;

void TimerPeriod(benchmark::State& state)
{
    const unsigned interval = static_cast<unsigned>(state.range(0));
    const int ticksWanted = static_cast<int>(3000 / interval);
    for (auto _ : state) {
        std::vector<Clock::time_point> stamps;
        stamps.reserve(static_cast<size_t>(ticksWanted) + 1);
        std::mutex mutex;
        std::atomic<bool> done{false};
        TVeTimer timer(nullptr);
        timer.OnTimer = [&](TObject*) {
            std::lock_guard<std::mutex> lock(mutex);
            if (static_cast<int>(stamps.size()) <= ticksWanted)
                stamps.push_back(Clock::now());
            else
                done = true;
        };
        timer.SetInterval(interval);
        timer.SetEnabled(true);
        while (!done)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        timer.SetEnabled(false);

        std::lock_guard<std::mutex> lock(mutex);
        const double total = std::chrono::duration<double, std::milli>(stamps.back() - stamps.front()).count();
        const double mean = total / static_cast<double>(stamps.size() - 1);
        double worst = 0;
        for (size_t i = 1; i < stamps.size(); ++i)
            worst = std::max(worst, std::chrono::duration<double, std::milli>(stamps[i] - stamps[i - 1]).count());
        state.counters["period_ms"] = mean;
        state.counters["error_pct"] = (mean - interval) * 100.0 / interval;
        state.counters["worst_gap_ms"] = worst;
        state.counters["ticks"] = static_cast<double>(stamps.size() - 1);
    }
}

}  // namespace

BENCHMARK(TimerPeriod)->Arg(10)->Arg(5)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
