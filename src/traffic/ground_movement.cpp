#include "traffic/ground_movement.hpp"

#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/collisions.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/motion.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic/track_following.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using tzo::LiveAircraft;
using tzo::TrackSample;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr double kMetresPerDegree = 111132.95;
using tzo::kFeetPerNm;
constexpr double kFiftyMetresNm = 0.02699784017278618;
constexpr double kHundredMetresNm = 0.05399568034557236;
// A push back or pull out needs room even for an aircraft whose size is
// unknown (a radius of 0 would put every manoeuvre sample on the stand).
constexpr double kLeastManoeuvreRadiusNm = 0.0054; // 10 m

double lf_manoeuvreRadius(const LiveAircraft& a)
{
    return std::max(a.radius, kLeastManoeuvreRadiusNm);
}
constexpr double kRestSpeedKt = 5.0;
constexpr double kRestDriftNm = 0.018898488120950324; // 35 m

tzo::LatLon lf_at(const TrackSample& s)
{
    return {s.latitude, s.longitude};
}

double lf_distanceToNext(const LiveAircraft& a)
{
    return a.samples.size() < 2 ? 0.0
                                : gf_greatCircleDistanceNm({a.latitude, a.longitude}, lf_at(a.samples[1]));
}

std::int32_t lf_travelTicks(double nm, double knots)
{
    return static_cast<std::int32_t>(std::clamp(nm * 360000.0 / std::max(knots, 1.0), 25.0, 1.0e8));
}

std::string lf_standName(std::uint32_t id)
{
    if (id == 0)
        return "sid==0?";
    const tzo::ParkPos* stand = gf_standById(id);
    return stand ? gf_standNameOfId(id) : "unknown";
}

void lf_leavingLights(LiveAircraft& a)
{
    gf_queueLights(a.objectId, tzo::LightStates{1, 1, 0, 1, 0, 1, 0});
}

// The queue cut back to its newest sample, which now stands for the aircraft.
void lf_startManoeuvre(LiveAircraft& a, const char* what)
{
    TrackSample newest = a.samples.back();
    newest.latitude = a.latitude;
    newest.longitude = a.longitude;
    newest.dueTick = liveTickCounter.load();
    a.samples.clear();
    a.samples.push_back(newest);
    a.departurePending = false;
    a.extrapolationCount = 0;
    if (LOG.value())
        gf_logLine(fmt::format("{:8}: {:8} {} {}", lf_standName(a.standId), a.callsign, what, gf_currentTimeText()));
}

void lf_appendAt(LiveAircraft& a, const tzo::LatLon& p, double knots)
{
    TrackSample s = a.samples.back();
    const double d = gf_greatCircleDistanceNm(lf_at(s), p);
    s.latitude = p.latitude;
    s.longitude = p.longitude;
    s.groundSpeed = knots;
    s.stationary = false;
    s.airborne = false;
    s.dueTick = s.dueTick + static_cast<std::uint32_t>(lf_travelTicks(d, knots));
    a.samples.push_back(s);
}

// A taxiing aircraft whose reports end standing: one that came to rest may
// take a stand near it. One that just left its stand is not drawn back in.
void lf_atRest(LiveAircraft& a)
{
    const std::uint32_t before = a.previousPhase;
    if (!a.towed &&
        (before == tzo::kPhaseParked || before == tzo::kPhasePushBack || before == tzo::kPhaseLeaveStand))
        return;
    if (a.extrapolationCount == 0) {
        if (a.samples.size() < 2 || a.samples[1].groundSpeed > kRestSpeedKt ||
            gf_greatCircleDistanceNm({a.latitude, a.longitude}, lf_at(a.samples.back())) > kRestDriftNm)
            return;
    }
    gf_taxiIntoStand(a, true);
}

} // namespace

void lf_insertMidpoint(LiveAircraft& a)
{
    if (a.samples.size() < 2)
        return;
    const TrackSample& c = a.samples[0];
    const TrackSample& n = a.samples[1];
    TrackSample m = n;
    m.latitude = (c.latitude + n.latitude) / 2.0;
    m.longitude = c.longitude + gf_wrapLongitudeDelta(n.longitude - c.longitude) / 2.0;
    m.dueTick = c.dueTick + static_cast<std::uint32_t>(static_cast<std::int32_t>(n.dueTick - c.dueTick) / 2);
    m.groundSpeed = (c.groundSpeed + n.groundSpeed) / 2.0;
    m.altitude = (c.altitude + n.altitude) / 2.0;
    m.stationary = false;
    a.samples.insert(a.samples.begin() + 1, m);
}

void lf_splitSpeedChange(LiveAircraft& a)
{
    if (a.samples.size() < 2)
        return;
    const double c = a.samples[0].groundSpeed;
    const double n = a.samples[1].groundSpeed;
    if (std::abs(c - n) > 5.0 && (c > 0.0 || n > 0.0) &&
        gf_greatCircleDistanceNm(lf_at(a.samples[0]), lf_at(a.samples[1])) >= kHundredMetresNm)
        lf_insertMidpoint(a);
}

void lf_buildCurve(LiveAircraft& a, double angle)
{
    if (a.samples.size() < 3)
        return;
    const TrackSample control = a.samples[1];
    TrackSample& end = a.samples[2];
    if (end.groundSpeed == 0.0)
        end.groundSpeed = (a.samples[0].groundSpeed + control.groundSpeed) / 2.0;
    const double east = kMetresPerDegree * std::cos(a.latitude * kDeg);
    a.curve.originLatitude = a.latitude;
    a.curve.originLongitude = a.longitude;
    a.curve.startTime = 0.0;
    a.curve.endTime = 1.0;
    a.curve.controlNorth = (control.latitude - a.latitude) * kMetresPerDegree;
    a.curve.controlEast = gf_wrapLongitudeDelta(control.longitude - a.longitude) * east;
    a.curve.endNorth = (end.latitude - a.latitude) * kMetresPerDegree;
    a.curve.endEast = gf_wrapLongitudeDelta(end.longitude - a.longitude) * east;
    a.curveParameter = 0.0;
    a.curveAngle = angle;
    a.samples.erase(a.samples.begin() + 1);
}

void lf_retimeTaxi(LiveAircraft& a)
{
    if (a.samples.size() < 2)
        return;
    const TrackSample& c = a.samples[0];
    const TrackSample& n = a.samples[1];
    const std::uint32_t now = liveTickCounter.load();
    if (n.stationary) {
        std::int32_t target = std::max<std::int32_t>(static_cast<std::int32_t>(n.dueTick - c.dueTick), 25);
        std::int64_t rel = static_cast<std::int32_t>(c.dueTick - now) + static_cast<std::int64_t>(target);
        rel = std::max<std::int64_t>(rel, 25);
        std::uint32_t due = now + static_cast<std::uint32_t>(rel);
        if (a.extrapolationCount == 0) {
            const auto off = static_cast<std::int32_t>(due - n.dueTick);
            if (off > a.latestRetiming)
                due = n.dueTick + static_cast<std::uint32_t>(a.latestRetiming);
            else if (off < -a.earliestRetiming)
                due = n.dueTick - static_cast<std::uint32_t>(a.earliestRetiming);
        }
        a.samples[1].dueTick = tzo::gf_tickReached(due, now) ? due : now;
        return;
    }
    a.turnRate = a.baseTurnRate;
    const double d = a.curveActive() ? std::hypot(a.curve.endNorth, a.curve.endEast) / 1852.0 : lf_distanceToNext(a);
    const std::int32_t t = lf_travelTicks(d, lf_segmentSpeed(a));
    const double angle = a.curveActive() ? std::abs(a.curveAngle) : (a.pendingTurn > 3.0 ? a.pendingTurn : 0.0);
    if (angle > 0.0 && d > 0.0 && a.turnRate > 0.0) {
        const double n = std::round(angle * kDeg / a.turnRate / 100.0);
        const double r = t / std::max(n, 1.0);
        if (angle <= 45.0) {
            const double divisor = r >= 1.2 ? std::min({r * 10.0 / angle, r * 30.0 / (d * 1852.0), r}) : r;
            if (divisor > 0.0)
                a.turnRate /= divisor;
        }
        else {
            a.turnRate *= std::min(std::min(angle, 90.0) / 30.0, r);
            if (angle >= 90.0) {
                a.earliestRetiming = std::max(a.earliestRetiming, 2000);
                a.latestRetiming = std::max(a.latestRetiming, 2000);
            }
        }
        // A turn must still finish within its segment.
        a.turnRate = std::max(a.turnRate, angle * kDeg / t);
    }
    lf_setDueTick(a, t);
    if (a.curveActive())
        a.curveStep = 1.0 / std::max<std::int32_t>(static_cast<std::int32_t>(a.samples[1].dueTick - now), 25);
}

void lf_taxiStep(LiveAircraft& a)
{
    if (a.movementPhase == tzo::kPhasePushBack) {
        --a.manoeuvreCountdown;
        if (a.manoeuvreCountdown == 1 && a.samples.size() >= 3) {
            // The tug swings the tail through a quarter turn from the point
            // behind the stand to the sample at the side. A straight push back
            // (only when the turn samples are missing) drops one sample.
            if (a.samples.size() >= 4 && a.turnRate > 0.0) {
                lf_buildCurve(a, 90.0);
                const double m = std::round(kPi / 2.0 / a.turnRate / 100.0);
                a.curveStep = 1.0 / std::max(m, 1.0);
            }
            else
                a.samples.erase(a.samples.begin() + 1);
        }
        else if (a.manoeuvreCountdown < 1) {
            a.bearingToNext = a.heading;
            a.extrapolationCount = 0;
            a.departurePending = false;
            gf_queueEngineStart(a.objectId);
            gf_setThrottle(a, 0);
            gf_setFlaps(a, 1);
            a.setPhase(tzo::kPhaseLeaveStand);
        }
    }
    else if (a.movementPhase == tzo::kPhaseParked) {
        a.resetRetiming();
        // The reports have shown the aircraft moving off its stand: it leaves
        // by push back or pull out, once.
        if (a.leftStand) {
            a.departurePending = true;
            a.leftStand = false;
        }
        if (a.departurePending && a.samples.size() >= 2) {
            const double need = gf_headingDifference(a.stand.heading, gf_initialBearing({a.latitude, a.longitude},
                                                                                      lf_at(a.samples[1])));
            if (std::abs(need) < kPi / 2.0)
                lf_pullOut(a);
            else
                lf_pushBack(a);
        }
    }
    else if (a.samples.size() >= 2 && !a.samples[1].stationary) {
        if (a.samples.size() >= 3) {
            if (a.samples[2].stationary)
                lf_splitSpeedChange(a);
            else {
                const double turn = std::abs(lf_turnBetweenLegs(a)) / kDeg;
                const TrackSample& c = a.samples[0];
                const TrackSample& n = a.samples[1];
                const bool samePlace = a.samples[2].latitude == c.latitude && a.samples[2].longitude == c.longitude;
                if (turn > 45.0 && gf_greatCircleDistanceNm(lf_at(c), lf_at(n)) > kFiftyMetresNm &&
                    c.groundSpeed <= 43.0 && static_cast<std::int32_t>(n.dueTick - c.dueTick) >= 600)
                    lf_insertMidpoint(a);
                else if (turn > 3.0 && turn <= 160.0 && !samePlace)
                    lf_buildCurve(a, turn);
                else
                    lf_splitSpeedChange(a);
            }
        }
        else if (a.extrapolationCount == 0)
            lf_splitSpeedChange(a);
        if (a.curveActive())
            a.pendingTurn = 0.0;
        else if (a.samples.size() >= 2) {
            const double bearing = gf_initialBearing({a.latitude, a.longitude}, lf_at(a.samples[1]));
            a.pendingTurn = std::abs(gf_headingDifference(a.heading, bearing)) / kDeg;
            a.bearingToNext = bearing;
        }
    }
    if (liveParkingOn && a.movementPhase == tzo::kPhaseGround && !a.samples.empty() && a.samples.back().stationary)
        lf_atRest(a);
    lf_retimeTaxi(a);
}

void lf_pullOut(LiveAircraft& a)
{
    lf_startManoeuvre(a, "pull out");
    const double knots = tzo::kStandWalkingKt;
    a.samples.front().groundSpeed = knots;
    const tzo::LatLon p = gf_destinationPoint({a.stand.latitude, a.stand.longitude}, a.stand.heading,
                                              2.0 * lf_manoeuvreRadius(a) * kFeetPerNm);
    lf_appendAt(a, p, knots);
    a.setPhase(tzo::kPhaseGround);
    a.bearingToNext = a.heading;
    lf_leavingLights(a);
    gf_queueEngineStart(a.objectId);
    gf_setThrottle(a, 0);
    gf_setFlaps(a, 1);
}

void lf_pushBack(LiveAircraft& a)
{
    const tzo::LatLon stand{a.stand.latitude, a.stand.longitude};
    // The nose ends toward where the reports go; the tail swings the other way.
    const tzo::LatLon reported = a.samples.empty() ? stand : lf_at(a.samples.back());
    const bool noseRight =
        reported.latitude == stand.latitude && reported.longitude == stand.longitude
            ? true
            : gf_headingDifference(a.stand.heading, gf_initialBearing(stand, reported)) >= 0.0;
    const double tailSide = a.stand.heading + (noseRight ? -kPi / 2.0 : kPi / 2.0);
    lf_startManoeuvre(a, "push back");
    const double knots = tzo::gf_liveCategoryValues(a.category).towingSpeed;
    const double back = a.stand.heading + kPi;
    const double radius = lf_manoeuvreRadius(a);
    const tzo::LatLon behind = gf_destinationPoint(stand, back, 2.5 * radius * kFeetPerNm);
    lf_appendAt(a, behind, knots);
    lf_insertMidpoint(a);
    const tzo::LatLon side = gf_destinationPoint(behind, tailSide, radius * kFeetPerNm);
    lf_appendAt(a, side, knots);
    lf_appendAt(a, gf_destinationPoint(side, tailSide, radius * kFeetPerNm), knots);
    // The tail leads toward the first new sample, not toward the report.
    a.bearingToNext = gf_initialBearing({a.latitude, a.longitude}, lf_at(a.samples[1]));
    lf_leavingLights(a);
    a.setPhase(tzo::kPhasePushBack);
    a.manoeuvreCountdown = 2;
}
