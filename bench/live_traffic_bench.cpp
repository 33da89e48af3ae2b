// One tick of the live traffic with 300, 2,000, 5,000 and 10,000 live aircraft
// in the simulator (the crowd of live_crowd.hpp), two reports taken per tick
// and the positions handed over; every 100 ticks the simulator's answer on
// the aircraft around the user comes in for 500 objects. Between two ticks
// the caches are swept, so that the records are not all hot from the tick
// before, as in the running program. Each tick is timed on its own (the
// thread's own time), so that the mean, the 99th percentile and the mean per
// aircraft are reported.

#include "live_crowd.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

void BM_liveTrafficTick(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    benchcrowd::fill(count);
    // No simulator: its requests are not part of the tick's own cost.
    simErrorFlag.store(true);
    benchcrowd::Feed feed(count);
    benchcrowd::CacheSweep caches;
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        feed.beforeTick();
        caches.sweep();
        const double start = benchcrowd::threadSeconds();
        gf_liveTraffic();
        const double seconds = benchcrowd::threadSeconds() - start;
        micros.push_back(seconds * 1e6);
        state.SetIterationTime(seconds);
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0.0;
    for (const double m : micros)
        sum += m;
    const double mean = sum / static_cast<double>(micros.size());
    state.counters["mean_us"] = mean;
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["ns_per_aircraft"] = mean * 1000.0 / count;
    trafficQueue.setIntakeOpen(false);
    gf_resetTraffic();
    simErrorFlag.store(false);
}
BENCHMARK(BM_liveTrafficTick)
    ->Arg(300)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(10000)
    ->Iterations(3000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
