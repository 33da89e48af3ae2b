#pragma once
// Live aircraft moved by hand: one made from samples, and one tick of the
// driver's segment step and motion at a time.

#include "traffic_fixture.hpp"

#include "realtraffic/link_state.hpp"
#include "simconnect/sim_ids.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/motion.hpp"
#include "traffic/track_following.hpp"

#include <numbers>
#include <vector>

namespace traffictest {

constexpr double kDeg = std::numbers::pi / 180.0;

inline tzo::TrackSample sample(double lat, double lon, double altitude, double knots, std::uint32_t due,
                               bool airborne)
{
    tzo::TrackSample s;
    s.latitude = lat;
    s.longitude = lon;
    s.altitude = altitude;
    s.groundSpeed = knots;
    s.dueTick = due;
    s.airborne = airborne;
    return s;
}

inline std::vector<tzo::EventCommand> takeEvents(std::uint32_t eventId)
{
    std::lock_guard lock(simQueueMutex);
    std::vector<tzo::EventCommand> out;
    for (const auto& e : eventQueue)
        if (e.eventId == eventId)
            out.push_back(e);
    return out;
}

inline double metresBetween(double lat1, double lon1, double lat2, double lon2)
{
    return gf_greatCircleDistanceNm({lat1, lon1}, {lat2, lon2}) * 1852.0;
}

struct Motion : TrafficTest {
    ~Motion() override
    {
        qnhValue.store(1013);
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }

    tzo::LiveAircraft& add(tzo::AircraftCategory category, std::vector<tzo::TrackSample> samples)
    {
        tzo::LiveAircraft a;
        a.callsign = "SWR100";
        a.category = category;
        a.state = tzo::AircraftState::InSimulator;
        a.objectId = 1001 + static_cast<std::uint32_t>(liveAircraft.size());
        a.recordId = 20001 + static_cast<std::uint32_t>(liveAircraft.size());
        const auto& v = tzo::gf_liveCategoryValues(category);
        a.baseTurnRate = a.turnRate = v.baseTurnRate;
        a.towingSpeed = v.towingSpeed;
        a.radius = 0.01;
        a.staticPitch = 0.6 * kDeg;
        a.takeOffPitch = -8.0 * kDeg;
        a.climbPitch = -6.0 * kDeg;
        a.rotationSlots = 300;
        a.flareSlots = 300;
        a.samples.assign(samples.begin(), samples.end());
        a.latitude = samples.front().latitude;
        a.longitude = samples.front().longitude;
        a.altitude = samples.front().altitude;
        a.onGround = !samples.front().airborne;
        a.movementPhase = a.onGround ? tzo::kPhaseGround : tzo::kPhaseFlight;
        a.heightAboveGround = a.onGround ? 0.0 : samples.front().altitude;
        liveAircraft.push_back(std::move(a));
        return liveAircraft.back();
    }

    // One tick as the driver runs it, then the counter advances.
    void tick(tzo::LiveAircraft& a)
    {
        if (!a.samples.empty() && tzo::gf_tickReached(liveTickCounter.load(), a.samples.front().dueTick))
            lf_trackStep(a);
        if (a.state == tzo::AircraftState::InSimulator && !a.samples.empty() && !a.samples.front().stationary)
            lf_moveTick(a);
        liveTickCounter.fetch_add(1);
    }
};

} // namespace traffictest
