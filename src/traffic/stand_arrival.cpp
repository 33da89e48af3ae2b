#include "traffic/stand_arrival.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/collisions.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/motion.hpp"
#include "traffic/new_aircraft.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/stand_learning.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>

using tzo::LiveAircraft;
using tzo::TrackSample;

std::deque<std::uint32_t> coupleSearchIds;
bool liveParkingOn = true;

namespace {

constexpr double kParkedWithinNm = 0.0010799136069114472;     // 2 m
constexpr std::uint32_t kLeastWayTicks = 100;
// The last metres into a stand, over which the aircraft slows from walking
// pace to this speed and then to a standstill.
constexpr double kSlowingNm = 0.0032397408207343412; // 6 m
constexpr double kSlowingKt = 3.0;
constexpr std::uint32_t kStopAfterTicks = 50;

std::int64_t lf_steadyNow100ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

std::uint32_t lf_travelTicks(const tzo::LatLon& from, const tzo::LatLon& to, double knots)
{
    const double ticks = gf_greatCircleDistanceNm(from, to) * 360000.0 / std::max(knots, 1.0);
    return static_cast<std::uint32_t>(std::clamp(ticks, static_cast<double>(kLeastWayTicks), 1.0e8));
}

} // namespace

void gf_serveCoupleSearch()
{
    if (coupleSearchIds.empty())
        return;
    const std::uint32_t id = coupleSearchIds.front();
    coupleSearchIds.pop_front();
    LiveAircraft* a = gf_findLiveAircraft(id);
    if (a == nullptr || a->couplesSearched != 0)
        return;
    lf_searchForCoupledCsAroundThisTime(gf_nowDayHour(), *a);
    a->couplesSearched = 1;
}

void lf_learnCargoStand(tzo::AircraftRecord& a)
{
    if (!a.cargo || a.standIsCargo || a.standId == 0)
        return;
    tzo::ParkPos* stand = gf_standById(a.standId);
    if (stand == nullptr)
        return;
    stand->cargo = true;
    stand->cargoChanged = true;
    // The aircraft now stands on a cargo stand: dark cabin, and its learning
    // compares with the stand's new flag.
    a.standIsCargo = true;
    gf_countStandUpdate();
    gf_logLine(fmt::format("{} stand: {}, cargo attribute set to true, {} parked here", parkAirportCode.get(),
                           gf_standNameOfId(a.standId), gf_formatStatusLine(a)));
}

void lf_arriveAtStand(LiveAircraft& a)
{
    const double d = gf_greatCircleDistanceNm({a.latitude, a.longitude}, {a.stand.latitude, a.stand.longitude});
    if (d > kParkedWithinNm) {
        if (a.movementPhase != tzo::kPhaseGround)
            a.setPhase(tzo::kPhaseGround);
        return;
    }
    a.setPhase(tzo::kPhaseParked);
    lf_markStandOccupied(a.standId, true);
    a.parkedSince = gf_nowDayHour();
    if (a.towed && LOG.value())
        gf_logLine(fmt::format("          towed aircraft {} parks", gf_formatStatusLine(a)));
    if (!a.samples.empty())
        a.samples.front().stationary = true;
    a.atStandTime = lf_steadyNow100ns();
    a.standApproachCount = 0;
    a.standApproachStart = -1.0;
    a.standApproachReference = -1.0;
    lf_learnCargoStand(a);
    gf_shutdownAtStand(a);
    if (LOG.value())
        gf_logLine(fmt::format("{:8}: {:8} arrived at stand {}", gf_standNameOfId(a.standId), a.callsign,
                               gf_currentTimeText()));
    coupleSearchIds.push_back(a.recordId);
    const tzo::ParkPos* stand = gf_standById(a.standId);
    const bool standCargo = stand != nullptr ? stand->cargo : a.standIsCargo;
    if (!a.airline.empty() && a.cargo == standCargo && lf_addRealOption(a.standId, a, false, false, a.parkedSince))
        gf_noteSoftLearning(a.recordId, a.parkedSince.hh);
    gf_limitParked(false);
}

void lf_appendStandSamples(LiveAircraft& a, const tzo::StandPlace& place)
{
    if (a.samples.empty())
        return;
    TrackSample& last = a.samples.back();
    last.groundSpeed = tzo::kStandWalkingKt;
    const tzo::LatLon from{last.latitude, last.longitude};
    const tzo::LatLon to{place.latitude, place.longitude};
    TrackSample in = last;
    in.latitude = place.latitude;
    in.longitude = place.longitude;
    in.groundSpeed = 0.0;
    in.trueHeading = place.heading;
    in.headingKnown = true;
    in.track = tzo::gf_radiansToDegrees(place.heading);
    in.altitude = 0.0;
    in.verticalSpeed = 0.0;
    in.airborne = false;
    in.stationary = from.latitude == to.latitude && from.longitude == to.longitude;
    // At walking pace, and over the last metres slower down to a standstill
    // on the stand: each leg takes the mean of its two ends' speeds.
    const double way = gf_greatCircleDistanceNm(from, to);
    std::uint32_t travel = 0;
    if (way > kSlowingNm) {
        TrackSample slow = in;
        const double share = (way - kSlowingNm) / way;
        slow.latitude = from.latitude + (to.latitude - from.latitude) * share;
        slow.longitude = from.longitude + gf_wrapLongitudeDelta(to.longitude - from.longitude) * share;
        slow.groundSpeed = kSlowingKt;
        travel = lf_travelTicks(from, {slow.latitude, slow.longitude}, (tzo::kStandWalkingKt + kSlowingKt) / 2.0);
        slow.dueTick = a.samples.front().dueTick + travel;
        a.samples.push_back(slow);
        travel += lf_travelTicks({slow.latitude, slow.longitude}, to, kSlowingKt / 2.0);
    } else {
        travel = lf_travelTicks(from, to, tzo::kStandWalkingKt / 2.0);
    }
    in.dueTick = a.samples.front().dueTick + travel;
    TrackSample stop = in;
    stop.stationary = true;
    stop.dueTick = a.samples.front().dueTick + kStopAfterTicks + travel;
    a.samples.push_back(in);
    a.samples.push_back(stop);
    a.bearingToNext = place.heading;
    a.extrapolationCount = 0;
    a.resetRetiming();
}

void gf_startLiveryChange(LiveAircraft& a)
{
    if (a.samples.empty())
        return;
    const std::uint32_t next = liveTickCounter.load() + 1;
    if (a.movementPhase != tzo::kPhaseParked) {
        TrackSample copy = a.samples.front();
        copy.latitude = a.latitude;
        copy.longitude = a.longitude;
        copy.bank = a.bank;
        copy.altitude = a.altitude;
        TrackSample& front = a.samples.front();
        if (front.latitude == a.latitude && front.longitude == a.longitude)
            front.stationary = true;
        copy.dueTick = next;
        a.samples.push_front(copy);
    } else {
        if (a.samples.size() >= 2) {
            gf_logLine(fmt::format("{:8}: {} {} livery change stream.size: {} !", a.callsign, gf_currentTimeText(),
                                   gf_standNameOfId(a.standId), a.samples.size()));
            a.samples.resize(1);
        }
        TrackSample& front = a.samples.front();
        front.stationary = true;
        front.track = tzo::gf_radiansToDegrees(a.heading);
        TrackSample copy = front;
        copy.dueTick = next;
        a.samples.push_front(copy);
    }
    a.state = tzo::AircraftState::LiveryChange;
}
