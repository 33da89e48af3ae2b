// One tick of the main loop: the idle case that runs 100 times a second, and
// the once-a-second tick in which every periodic tier and independent task is
// due (the daily mark), with live and parked aircraft in the tables.

#include "app/main_loop.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "traffic/live_traffic.hpp"

#include <benchmark/benchmark.h>

namespace {

void fillTables()
{
    AUTO_RANGE.setValue(true);
    COLLISION_USER_AIR.setValue(true);
    COLLISION_LIVE_PARKED_GND.setValue(true);
    liveAircraft.clear();
    staticAircraft.clear();
    for (std::uint32_t i = 0; i < 300; ++i) {
        tzo::LiveAircraft a;
        a.recordId = 20000 + i;
        a.callsign = "SWR" + std::to_string(i);
        a.state = tzo::AircraftState::InSimulator;
        a.onGround = i % 3 == 0;
        a.movementPhase = i % 2 == 0 ? 2 : 5;
        liveAircraft.push_back(a);
    }
    for (std::uint32_t i = 1; i <= 200; ++i) {
        tzo::AircraftRecord p;
        p.recordId = i;
        p.state = tzo::AircraftState::InSimulator;
        staticAircraft.push_back(p);
    }
}

struct AllOnWork : tzo::TickWork {
    bool parkAirportActive() override { return true; }
    bool parkAirportHasStands() override { return true; }
};

// No flight running: notifications drained, one second counted down.
void BM_tickNoFlight(benchmark::State& state)
{
    fillTables();
    AllOnWork work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(false);
    for (auto _ : state)
        loop.round();
}
BENCHMARK(BM_tickNoFlight);

// Flight running, no second pending: the tick of 99 in 100.
void BM_idleTick(benchmark::State& state)
{
    fillTables();
    AllOnWork work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(true);
    for (auto _ : state) {
        secondTick.store(false);
        loop.round();
    }
}
BENCHMARK(BM_idleTick);

void BM_tickWithPeriodicWork(benchmark::State& state)
{
    fillTables();
    AllOnWork work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(true);
    for (auto _ : state) {
        state.PauseTiming();
        secondsCounter.store(86399);
        // Every aircraft moved since the last parked-versus-live check.
        for (auto& a : liveAircraft)
            a.latitude += 0.0001;
        secondTick.store(true);
        state.ResumeTiming();
        loop.round();
    }
}
BENCHMARK(BM_tickWithPeriodicWork);

} // namespace

BENCHMARK_MAIN();
