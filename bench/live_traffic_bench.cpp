// One tick of the live traffic with 300 and with 2000 live aircraft in the
// simulator (70 % in the air, 10 to 30 samples each, moving along them), two reports taken per
// tick and the positions handed over; every 100 ticks the simulator's answer
// on the aircraft around the user comes in for 500 objects. Each tick is timed on its own, so that
// the mean and the 99th percentile are reported.

#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_traffic.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace {

constexpr std::uint32_t kFirstHexid = 0x400000;

tzo::TrafficRecord reportOf(std::uint32_t i, double timestamp, bool airborne)
{
    tzo::TrafficRecord r;
    r.model = "A320";
    r.callsign = "SWR" + std::to_string(i);
    r.registration = "HB-" + std::to_string(i);
    r.hexid = kFirstHexid + i;
    // Spread over a few degrees; each report moves the aircraft on.
    r.latitude = 45.0 + (i % 100) * 0.05 + timestamp * 1e-4;
    r.longitude = 7.0 + (i / 100) * 0.05;
    r.airborne = airborne;
    r.altitude = airborne ? 12000.0 : 0.0;
    r.groundSpeed = airborne ? 280.0 : 15.0;
    // A turn on every report, so that none is thinned out.
    r.track = static_cast<double>(static_cast<std::uint64_t>(timestamp) % 360);
    r.timestamp = timestamp;
    r.expiryTick = liveTickCounter.load() + tzo::kRecordLifeTicks;
    return r;
}

void fill(std::uint32_t count)
{
    gf_resetTraffic();
    g_validModels = {"A320"};
    g_largeModels = {"A320"};
    // No simulator: its requests are not part of the tick's own cost.
    simErrorFlag.store(true);
    liveAircraft.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool airborne = i % 10 < 7;
        tzo::TrafficRecord r = reportOf(i, 1000.0, airborne);
        tzo::AircraftRecord record = gf_makeAircraftRecord(r);
        record.recordId = r.hexid;
        tzo::LiveAircraft& a = liveAircraft.emplace_back(r, std::move(record), r.timestamp);
        a.state = tzo::AircraftState::InSimulator;
        a.objectId = 100 + i;
        a.movementPhase = airborne ? tzo::kPhaseFlight : tzo::kPhaseGround;
        a.onGround = !airborne;
        a.latitude = a.samples.front().latitude;
        a.longitude = a.samples.front().longitude;
        a.altitude = a.samples.front().altitude;
        a.heightAboveGround = airborne ? 10000.0 : 0.0;
        // A track along which the aircraft moves, its segment steps due as
        // in a run: one sample every 10 s, the aircraft's steps spread.
        const int samples = 10 + static_cast<int>(i % 21);
        for (int s = 1; s < samples; ++s) {
            tzo::TrackSample next = a.samples.back();
            next.latitude += airborne ? 0.01 : 0.0005;
            next.longitude += (s % 2 == 0 ? 1.0 : -1.0) * (airborne ? 0.005 : 0.0003);
            a.samples.push_back(next);
        }
        for (std::size_t s = 0; s < a.samples.size(); ++s)
            a.samples[s].dueTick = static_cast<std::uint32_t>(s * 1000 + i % 1000);
    }
    trafficQueue.setIntakeOpen(true);
}

void BM_liveTrafficTick(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    fill(count);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    std::uint32_t next = 0;
    double timestamp = 1010.0;
    for (auto _ : state) {
        // Two reports of aircraft in turn, as the reader would have queued them.
        for (int k = 0; k < 2; ++k) {
            const std::uint32_t i = next++ % count;
            if (i == 0)
                timestamp += 10.0;
            trafficQueue.push(reportOf(i, timestamp, i % 10 < 7));
        }
        if (liveTickCounter.load() % 100 == 0) {
            // Low, on the ground: each answer also moves the aircraft's altitude.
            for (std::uint32_t k = 0; k < std::min(count, 500u); ++k)
                tzo::gf_pushSimNotification({100 + k, 1, 0, tzo::NOTIFY_IN_RANGE_DATA, 1400.0, 5.0});
        }
        const auto start = std::chrono::steady_clock::now();
        gf_liveTraffic();
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0.0;
    for (const double m : micros)
        sum += m;
    state.counters["mean_us"] = sum / static_cast<double>(micros.size());
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    trafficQueue.setIntakeOpen(false);
    gf_resetTraffic();
    simErrorFlag.store(false);
}
BENCHMARK(BM_liveTrafficTick)->Arg(300)->Arg(2000)->Iterations(20000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
