// One tick of the main loop with its real work (the program's own TickWork):
// the idle tick while no flight runs; the running tick of 99 in 100, which
// moves the live traffic of 300 or 2,000 aircraft (the crowd of
// live_crowd.hpp); and the once-a-second tick at the daily mark, in which
// every periodic tier and independent task falls due, with 500 static
// aircraft parked among the crowd's taxiing ones and the parked-versus-live
// check on; and that check alone with 2,000 live aircraft taxiing among 500
// static ones. The caches are swept before each tick, as the program's other
// threads and its 10 ms sleep leave them; only the tick itself is timed (the
// thread's own time).

#include "app/main_loop.hpp"
#include "app/program_tick_work.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "live_crowd.hpp"
#include "traffic/collisions.hpp"

#include <benchmark/benchmark.h>


namespace {

constexpr std::uint32_t kParked = 500;

// Static aircraft in the simulator, each beside one of the crowd's aircraft
// on the ground: some within reach of it, most a little too far.
void parkAmongTheCrowd()
{
    staticAircraft.clear();
    std::uint32_t placed = 0;
    for (const tzo::LiveAircraft& a : liveAircraft) {
        if (placed == kParked)
            break;
        if (!a.onGround)
            continue;
        tzo::AircraftRecord s;
        s.recordId = ++placed;
        s.callsign = "PARK" + std::to_string(placed);
        s.objectId = 50000 + placed;
        s.state = tzo::AircraftState::InSimulator;
        s.radius = a.radius;
        // 30 to 120 m north of it.
        s.stand.latitude = a.latitude + (30.0 + (placed % 10) * 10.0) / 111132.95;
        s.stand.longitude = a.longitude;
        staticAircraft.push_back(s);
    }
}

void setUp(std::uint32_t live)
{
    benchcrowd::fill(live);
    // No simulator: its requests are not part of the tick's own cost.
    simErrorFlag.store(true);
    AUTO_RANGE.setValue(true);
    COLLISION_USER_AIR.setValue(true);
    COLLISION_LIVE_PARKED_GND.setValue(true);
    parkAmongTheCrowd();
}

void tearDown()
{
    trafficQueue.setIntakeOpen(false);
    gf_resetTraffic();
    staticAircraft.clear();
    removalQueue.clear();
    simErrorFlag.store(false);
}

// No flight running: notifications drained, one second counted down.
void BM_tickNoFlight(benchmark::State& state)
{
    setUp(300);
    tzo::ProgramTickWork work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(false);
    for (auto _ : state)
        loop.round();
    tearDown();
}
BENCHMARK(BM_tickNoFlight);

// Flight running, no second pending: the live traffic of N aircraft.
void BM_runningTick(benchmark::State& state)
{
    const auto live = static_cast<std::uint32_t>(state.range(0));
    setUp(live);
    tzo::ProgramTickWork work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(true);
    benchcrowd::Feed feed(live);
    benchcrowd::CacheSweep caches;
    for (auto _ : state) {
        secondTick.store(false);
        feed.beforeTick();
        caches.sweep();
        const double start = benchcrowd::threadSeconds();
        loop.round();
        state.SetIterationTime(benchcrowd::threadSeconds() - start);
    }
    tearDown();
}
BENCHMARK(BM_runningTick)->Arg(300)->Arg(2000)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The daily mark: every tier and independent task, the parked-versus-live
// check over every taxiing aircraft (each moved since the last check).
void BM_tickWithPeriodicWork(benchmark::State& state)
{
    const auto live = static_cast<std::uint32_t>(state.range(0));
    setUp(live);
    tzo::ProgramTickWork work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(true);
    benchcrowd::Feed feed(live);
    benchcrowd::CacheSweep caches;
    for (auto _ : state) {
        secondsCounter.store(86399);
        for (auto& s : staticAircraft)
            s.state = tzo::AircraftState::InSimulator;
        removalQueue.clear();
        feed.beforeTick();
        caches.sweep();
        secondTick.store(true);
        const double start = benchcrowd::threadSeconds();
        loop.round();
        state.SetIterationTime(benchcrowd::threadSeconds() - start);
    }
    tearDown();
}
BENCHMARK(BM_tickWithPeriodicWork)->Arg(300)->Arg(2000)->Iterations(500)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The parked-versus-live check alone, at its worst: all 2,000 live aircraft
// taxiing and each moved since the last check, 500 static aircraft among
// them; nothing else of the second's work runs (a TickWork that only checks).
struct ParkedCheckOnly : tzo::TickWork {
    bool avoidCollisionWithLive(const tzo::LiveAircraft& live, tzo::AircraftRecord& parked) override
    {
        return gf_avoidCollisionWithLive(live, parked);
    }
};

void BM_parkedLiveCheck(benchmark::State& state)
{
    setUp(2000);
    for (auto& a : liveAircraft) {
        a.onGround = true;
        a.movementPhase = tzo::kPhaseGround;
    }
    parkAmongTheCrowd();
    ParkedCheckOnly work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop(work, clock);
    flightRunning.store(true);
    benchcrowd::CacheSweep caches;
    for (auto _ : state) {
        secondsCounter.store(0);
        for (auto& s : staticAircraft)
            s.state = tzo::AircraftState::InSimulator;
        for (auto& a : liveAircraft)
            a.latitude += 1e-7;
        removalQueue.clear();
        caches.sweep();
        secondTick.store(true);
        const double start = benchcrowd::threadSeconds();
        loop.round();
        state.SetIterationTime(benchcrowd::threadSeconds() - start);
    }
    state.counters["removed"] = static_cast<double>(removalQueue.size());
    tearDown();
}
BENCHMARK(BM_parkedLiveCheck)->Iterations(500)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
