#pragma once
// A crowd of live aircraft in the simulator for the benchmarks of the live
// traffic and of the main loop's tick: 70 % in the air, 10 to 30 samples each
// along which they move, their segment steps spread as in a run; reports of
// them in turn as the reader would have queued them; and a walk through more
// memory than the caches near the core hold, so that a tick finds the records
// where the running program finds them, not all hot from the tick before.

#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_traffic.hpp"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace benchcrowd {

constexpr std::uint32_t kFirstHexid = 0x400000;

inline tzo::TrafficRecord reportOf(std::uint32_t i, double timestamp, bool airborne)
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

inline bool airborneAt(std::uint32_t i)
{
    return i % 10 < 7;
}

// The live table with count aircraft in the simulator, object ids from 100.
inline void fill(std::uint32_t count)
{
    gf_resetTraffic();
    g_validModels = {"A320"};
    g_largeModels = {"A320"};
    liveAircraft.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool airborne = airborneAt(i);
        tzo::TrafficRecord r = reportOf(i, 1000.0, airborne);
        tzo::AircraftRecord record = gf_makeAircraftRecord(r);
        record.recordId = r.hexid;
        record.radius = 17.95 / 1852.0; // half an A320's span
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

// What arrives between two ticks: two reports of aircraft in turn and, every
// 100 ticks, the simulator's answer on 500 objects around the user (low, on
// the ground: each answer also moves the aircraft's altitude).
class Feed {
public:
    explicit Feed(std::uint32_t count) : m_count(count) {}
    void beforeTick()
    {
        for (int k = 0; k < 2; ++k) {
            const std::uint32_t i = m_next++ % m_count;
            if (i == 0)
                m_timestamp += 10.0;
            trafficQueue.push(reportOf(i, m_timestamp, airborneAt(i)));
        }
        if (liveTickCounter.load() % 100 == 0) {
            for (std::uint32_t k = 0; k < std::min(m_count, 500u); ++k)
                tzo::gf_pushSimNotification({100 + k, 1, 0, tzo::NOTIFY_IN_RANGE_DATA, 1400.0, 5.0});
        }
    }

private:
    std::uint32_t m_count;
    std::uint32_t m_next = 0;
    double m_timestamp = 1010.0;
};

// Between two ticks of the program the other threads run, and 10 ms pass:
// the caches near the core hold something else by the next one.
class CacheSweep {
public:
    void sweep()
    {
        for (std::size_t i = 0; i < m_memory.size(); i += 64)
            m_memory[i] = static_cast<std::uint8_t>(m_memory[i] + 1);
    }

private:
    std::vector<std::uint8_t> m_memory = std::vector<std::uint8_t>(32u << 20);
};

// The time this thread has run: a tick's own cost, on a machine shared with
// other work where waiting for a core is none of it.
inline double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace benchcrowd
