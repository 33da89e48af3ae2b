#include "traffic/track_following.hpp"

#include "foundation/settings.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/motion.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic/stand_learning.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

using tzo::LiveAircraft;
using tzo::TrackSample;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr std::int32_t kWeekTicks = 60480000;
// Feet above its standing height at which an aircraft reaching a ground
// sample counts as down.
constexpr double kTouchdownSlackFt = 2.0;

std::uint32_t lf_now()
{
    return liveTickCounter.load();
}

tzo::LatLon lf_at(const TrackSample& s)
{
    return {s.latitude, s.longitude};
}

bool lf_rotorcraft(const LiveAircraft& a)
{
    return a.category == tzo::AircraftCategory::Rotorcraft;
}

void lf_lowerAllowances(LiveAircraft& a)
{
    a.earliestRetiming = std::max(a.earliestRetiming - 100, 1000);
    a.latestRetiming = std::max(a.latestRetiming - 100, 1000);
}

void lf_dropStationaryInAir(LiveAircraft& a)
{
    while (a.samples.size() >= 2 && !a.onGround && a.samples[1].stationary && !lf_rotorcraft(a))
        a.samples.pop_front();
}

} // namespace

tzo::LatLon gf_destinationPoint(const tzo::LatLon& position, double bearing, double feet)
{
    const double angle = feet * 4.787404208238998e-8;
    const double lat1 = position.latitude * kDeg;
    const double lon1 = position.longitude * kDeg;
    const double lat2 = std::asin(std::clamp(
        std::sin(lat1) * std::cos(angle) + std::cos(lat1) * std::sin(angle) * std::cos(bearing), -1.0, 1.0));
    const double lon2 = lon1 + std::atan2(std::sin(bearing) * std::sin(angle) * std::cos(lat1),
                                          std::cos(angle) - std::sin(lat1) * std::sin(lat2));
    return {lat2 / kDeg, gf_wrapLongitudeDelta(lon2 / kDeg)};
}

double lf_segmentSpeed(const LiveAircraft& a)
{
    if (a.samples.size() < 2)
        return 1.0;
    const TrackSample& c = a.samples[0];
    const TrackSample& n = a.samples[1];
    if (c.groundSpeed > 0.0 || n.groundSpeed > 0.0)
        return std::max((c.groundSpeed + n.groundSpeed) / 2.0, 1.0);
    const double ticks = static_cast<std::int32_t>(n.dueTick - c.dueTick);
    if (ticks <= 0.0)
        return 1.0;
    const double d = gf_greatCircleDistanceNm(lf_at(c), lf_at(n));
    return std::max(d * 360000.0 / ticks, 1.0);
}

void lf_setDueTick(LiveAircraft& a, std::int32_t ticks)
{
    if (a.samples.size() < 2)
        return;
    TrackSample& n = a.samples[1];
    const std::uint32_t now = lf_now();
    std::int64_t target = static_cast<std::int64_t>(static_cast<std::int32_t>(now - n.dueTick)) + ticks;
    // target is relative to the reported due tick from here on
    if (a.extrapolationCount == 0)
        target = std::clamp<std::int64_t>(target, -a.earliestRetiming, a.latestRetiming);
    std::uint32_t due = n.dueTick + static_cast<std::uint32_t>(static_cast<std::int32_t>(target));
    if (!tzo::gf_tickReached(due, now))
        due = now;
    n.dueTick = due;
}

double lf_turnBetweenLegs(const LiveAircraft& a)
{
    if (a.samples.size() < 3)
        return 0.0;
    const double bearing = gf_initialBearing(lf_at(a.samples[1]), lf_at(a.samples[2]));
    return gf_headingDifference(a.heading, bearing);
}

void lf_airStep(LiveAircraft& a)
{
    if (a.samples.size() < 2)
        return;
    const TrackSample& c = a.samples[0];
    const TrackSample& n = a.samples[1];
    if (n.stationary) {
        if (lf_rotorcraft(a))
            lf_retimeTaxi(a);
        return;
    }
    double speed = lf_segmentSpeed(a);
    if (a.landing && !n.airborne)
        speed = c.groundSpeed > 0.0 ? c.groundSpeed : 100.0;
    const double d = gf_greatCircleDistanceNm({a.latitude, a.longitude}, lf_at(n));
    const double t = std::clamp(d * 360000.0 / speed, 25.0, 1.0e8);
    lf_setDueTick(a, static_cast<std::int32_t>(t));
}

void lf_startSegment(LiveAircraft& a)
{
    a.clearCurve();
    if (a.samples.size() < 2)
        return;
    TrackSample& n = a.samples[1];
    if (!n.stationary && n.latitude == a.samples[0].latitude && n.longitude == a.samples[0].longitude)
        n.stationary = true;
    if (!n.stationary)
        a.bearingToNext = gf_initialBearing({a.latitude, a.longitude}, lf_at(n));
    // A ground sample reached in the air: the aircraft touches down here,
    // unless the simulator's ground under it lies lower (a report counted as
    // on the ground may be far up); it then flies on down to that ground.
    if (a.movementPhase == tzo::kPhaseFlight && !a.onGround && !a.samples[0].airborne &&
        (std::isnan(a.groundAltitude) || a.altitude <= a.groundAltitude + a.staticCgHeight + kTouchdownSlackFt))
        lf_touchdown(a);
    if (a.onGround)
        lf_taxiStep(a);
    else
        lf_airStep(a);
    if (a.samples.size() < 2)
        return;
    const TrackSample& next = a.samples[1];
    if (next.stationary) {
        a.latitudeStep = a.longitudeStep = 0.0;
        if (!a.rollingAfterLanding && !a.takeOffRun)
            lf_lowerAllowances(a);
    }
    else {
        const double span = std::max<std::int32_t>(static_cast<std::int32_t>(next.dueTick - lf_now()), 25);
        a.latitudeStep = (next.latitude - a.latitude) / span;
        a.longitudeStep = gf_wrapLongitudeDelta(next.longitude - a.longitude) / span;
        if (a.onGround)
            lf_takeOffCheck(a);
        else
            lf_airSegment(a, static_cast<std::int32_t>(span));
    }
    a.workingTrueAirspeed = next.groundSpeed;
    a.samples.pop_front();
}

void lf_trackStep(LiveAircraft& a)
{
    lf_dropStationaryInAir(a);
    while (a.samples.size() < 2) {
        if (!lf_extrapolateTrack(a)) {
            if (a.movementPhase != tzo::kPhaseParked)
                lf_learnSoftOption(a);
            gf_removeAircraft(a);
            a.samples.clear();
            return;
        }
        lf_dropStationaryInAir(a);
    }
    lf_startSegment(a);
}

bool lf_extrapolateTrack(LiveAircraft& a)
{
    if (a.samples.empty())
        return false;
    if (a.movementPhase == tzo::kPhaseToStand)
        lf_arriveAtStand(a);
    std::int32_t count = 0;
    if (a.extrapolationCount < 0)
        return false;
    if (a.extrapolationCount == 1) {
        a.extrapolationCount = -1;
        return false;
    }
    if (a.extrapolationCount > 1)
        count = a.extrapolationCount - 1;
    else {
        if (!gf_categoryWanted(a.category))
            return false;
        if (a.onGround)
            count = a.movementPhase == tzo::kPhaseParked || a.movementPhase == tzo::kPhasePushBack ? 1 : 10;
        else {
            count = 8;
            const bool userKnown = !tzo::gf_isNearZero(userAircraft.latitude, userAircraft.longitude);
            if (userKnown && gf_greatCircleDistanceNm({a.latitude, a.longitude},
                                                      {userAircraft.latitude, userAircraft.longitude}) >=
                                 LATERAL_RANGE.value() - 0.5)
                return false;
        }
    }
    lf_appendExtrapolatedSample(a, count);
    return true;
}

void lf_appendExtrapolatedSample(LiveAircraft& a, std::int32_t count)
{
    TrackSample s = a.samples.back();
    const TrackSample newest = s;
    a.extrapolationCount = count;
    const bool parked = a.movementPhase == tzo::kPhaseParked;
    double speed = 0.0;
    if (newest.stationary || parked)
        speed = 0.0;
    else if (a.onGround) {
        const double g = newest.groundSpeed;
        if (a.takeOffRun) {
            speed = g <= 30 ? 40 : g <= 60 ? 80 : g <= 100 ? 110 : g <= 140 ? 150 : g <= 160 ? 170 : 180;
            s.verticalSpeed = g <= 100 ? 0.0 : g <= 140 ? 600.0 : g <= 160 ? 1200.0 : 2400.0;
        }
        else if (a.rollingAfterLanding)
            speed = g >= 140 ? 100 : g >= 100 ? 80 : g >= 80 ? 60 : g >= 60 ? 30 : 20;
    }
    else {
        const bool early = a.landing && count > 5;
        speed = early ? newest.groundSpeed : std::max(newest.groundSpeed * (a.landing ? 0.9 : 0.95), 1.0);
    }
    const double seconds = a.onGround ? 3.0 : 8.0;
    s.groundSpeed = speed;
    s.stationary = speed == 0.0;
    if (speed > 0.0) {
        const tzo::LatLon p =
            gf_destinationPoint(lf_at(newest), a.heading, speed * seconds / 3600.0 * 6076.115485564304);
        s.latitude = p.latitude;
        s.longitude = p.longitude;
    }
    if (a.landing) {
        s.verticalSpeed = -667.0;
        s.altitude = a.onGround ? 0.0 : std::max(newest.altitude - 10.005 * seconds, 0.0);
    }
    else if (a.movementPhase == tzo::kPhaseTakeOff) {
        s.verticalSpeed = 1500.0;
        s.altitude = newest.altitude + 25.0 * seconds;
    }
    std::int32_t due = static_cast<std::int32_t>(seconds * 100.0);
    if (a.movementPhase == tzo::kPhaseLeaveStand)
        due = 30000;
    if (parked)
        due = kWeekTicks;
    s.dueTick = newest.dueTick + static_cast<std::uint32_t>(due);
    if (!tzo::gf_tickReached(s.dueTick, lf_now() + 25))
        s.dueTick = lf_now() + 25;
    a.samples.push_back(s);
}
