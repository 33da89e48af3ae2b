// The static parking's long ticks on the main loop: the first plan at its
// worst (nothing reaches the wanted number: every offset, both passes) and
// the renewal with 150 static aircraft, over 500 stands of 20 to 50 options.

#include "airports/stand_builder.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/hour_fit.hpp"
#include "parking/parking_plan.hpp"
#include "traffic/live_traffic.hpp"

#include <benchmark/benchmark.h>

namespace {

void buildStands(bool fitting)
{
    standtest::StandBuilder b;
    for (int i = 0; i < 500; ++i) {
        b.stand("S" + std::to_string(i), 0, 300.0 * i);
        const int options = 20 + i % 31;
        for (int o = 0; o < options; ++o) {
            // Day 2 only: on day 4 nothing fits, so the search runs to the end.
            const std::uint32_t day = fitting ? 3 : 2;
            b.option("A" + std::to_string(o % 7), "A320", day, std::to_string(o % 48), o % 2 == 1)
                .callsigns("CS" + std::to_string(i * 64 + o))
                .registration("R" + std::to_string(i * 64 + o));
        }
    }
    b.install();
}

void planWorst(benchmark::State& state)
{
    buildStands(false);
    PARK_SOFT.setValue(true);
    parking_percentage.setValue(100);
    nowDayHour.store(DayHour{4, 20}.toU64());
    for (auto _ : state) {
        lf_planStaticParking();
        benchmark::DoNotOptimize(staticParkingPlan.size());
    }
}
BENCHMARK(planWorst)->Unit(benchmark::kMillisecond);

void renewal(benchmark::State& state)
{
    buildStands(true);
    parking_percentage.setValue(40);
    nowDayHour.store(DayHour{3, 20}.toU64());
    for (auto _ : state) {
        state.PauseTiming();
        staticAircraft.clear();
        for (std::uint32_t id = 1; id <= 150; ++id) {
            tzo::AircraftRecord a;
            a.airline = "A" + std::to_string(id % 7);
            a.model = "A320";
            a.firstCallsign = "CS" + std::to_string(id * 64);
            a.callsign = a.firstCallsign + "*";
            a.standId = id * 3;
            a.parkedSince = {3, id % 20};
            a.state = tzo::AircraftState::InSimulator;
            a.objectId = id;
            staticAircraft.push_back(a);
        }
        removalQueue.clear();
        state.ResumeTiming();
        gf_adjustParking();
        benchmark::DoNotOptimize(removalList.size());
    }
}
BENCHMARK(renewal)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
