#include "traffic/track_samples.hpp"

#include "airports/airport_services.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "realtraffic/traffic_line.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/new_aircraft.hpp"
#include "traffic/removal.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>

using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::TrackSample;
using tzo::TrafficRecord;

namespace {

using tzo::kRadiansPerDegree;
constexpr double kNearRepeatDegrees = 0.00015;
constexpr double kStopRestartNm = 0.011879049676025918; // 22 m
constexpr std::uint32_t kLongStopTicks = 1500;          // 15 s
// A parked sample is due one week after the arrival.
constexpr std::int64_t kParkedSampleDelayTicks = 60480000;

tzo::LatLon lf_at(const TrackSample& s)
{
    return {s.latitude, s.longitude};
}

tzo::LatLon lf_at(const LiveAircraft& a)
{
    return {a.latitude, a.longitude};
}

bool lf_samePlace(const TrackSample& a, const TrackSample& b)
{
    return a.latitude == b.latitude && a.longitude == b.longitude;
}

bool lf_inSimulator(const LiveAircraft& a)
{
    return a.state == AircraftState::InSimulator;
}

// |b - heading| wrapped into -pi..pi, as an absolute angle.
double lf_offHeading(double bearing, double heading)
{
    return std::fabs(gf_headingDifference(heading, bearing));
}

std::uint32_t lf_tick()
{
    return liveTickCounter.load();
}

std::int64_t lf_steadyNow100ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

bool lf_endsWithGhostMark(const std::string& callsign)
{
    return !callsign.empty() && callsign.back() == '_';
}

// The manoeuvre is over: the front sample due at once, the retiming window back.
void lf_endManoeuvre(LiveAircraft& a)
{
    if (!a.samples.empty())
        a.samples.front().dueTick = lf_tick() + 1;
    a.manoeuvreCountdown = 0;
    a.resetRetiming();
}

} // namespace

void lf_updateRoute(LiveAircraft& a, const TrafficRecord& r)
{
    if (!r.destination.empty() && r.destination != a.destination)
        a.destination = r.destination;
    if (!r.departure.empty() && r.departure != a.departure)
        a.departure = r.departure;
}

bool lf_routeChanged(LiveAircraft& a, const TrafficRecord& r)
{
    bool changed = false;
    const auto take = [&](std::string& mine, const std::string& reported) {
        if (!reported.empty() && mine.empty()) {
            mine = reported;
            changed = true;
            return false;
        }
        return !reported.empty() && !mine.empty() && reported != mine;
    };
    const bool destinationDiffers = take(a.destination, r.destination);
    const bool departureDiffers = take(a.departure, r.departure);
    if (!destinationDiffers || !departureDiffers)
        return changed;
    // A flight that went out from the park airport and is reported as flying
    // back to it is the same flight seen from the other end.
    if (a.departure == parkAirportIata.get() && r.destination == a.departure)
        return changed;
    a.departure = r.departure;
    a.destination = r.destination;
    if (a.onGround && a.movementPhase != tzo::kPhaseToStand && a.movementPhase != tzo::kPhaseParked) {
        a.setPhase(tzo::kPhaseGround);
        a.workingHeading = a.heading;
    }
    return true;
}

bool gf_reportChecks(LiveAircraft& a, const TrafficRecord& r)
{
    if (a.approach || a.takeOffRun)
        return true;
    if (a.state == AircraftState::New) {
        lf_updateRoute(a, r);
        if (a.registration.empty() && !r.registration.empty())
            a.registration = r.registration;
        if (a.callsign.empty() && !r.callsign.empty()) {
            a.callsign = r.callsign;
            // A live aircraft is its own first callsign, whenever it changes.
            a.firstCallsign = a.callsign;
        }
        return true;
    }
    if (a.state != AircraftState::InSimulator || a.movementPhase == tzo::kPhaseLeaveStand)
        return true;

    const bool routeChanged = lf_routeChanged(a, r);
    if (!r.callsign.empty() && r.callsign != a.callsign && r.callsign != a.registration) {
        a.callsign = r.callsign;
        a.firstCallsign = a.callsign;
        a.secondCallsign.clear();
        if (!lf_endsWithGhostMark(a.callsign))
            tzo::gf_liveStepHooks().ghostRule(a.callsign);
        else if (gf_ownsGhostCallsign(a.callsign))
            return false;
    } else if (!routeChanged) {
        return true;
    }

    // A new flight.
    if (!GUID_CHANGES.value())
        return true;
    if (LOG.value())
        gf_logLine(fmt::format("          {}", gf_formatStatusLine(a)));
    tzo::gf_liveStepHooks().startLiveryChange(a);
    a.keptHeading = a.heading;
    a.keepHeading = true;
    removalQueue.push_back(a.objectId);
    return false;
}

bool lf_stationaryFilter(LiveAircraft& a, TrackSample& s)
{
    if (a.samples.empty())
        return true;
    const TrackSample& last = a.samples.back();
    const bool exact = lf_samePlace(s, last);
    if (exact)
        s.stationary = true;
    if (a.category == tzo::AircraftCategory::Rotorcraft)
        return true;
    const bool flying = s.airborne || (lf_inSimulator(a) && !a.onGround);
    if (!exact) {
        if (std::fabs(s.latitude - last.latitude) <= kNearRepeatDegrees &&
            std::fabs(s.longitude - last.longitude) <= kNearRepeatDegrees) {
            if (flying)
                return false;
            if (a.takeOffRun && s.groundSpeed > 0.0 && last.groundSpeed >= 50.0)
                return false;
            // The jitter of a standing aircraft's reports: it stands where it
            // stood, from the time of this report on.
            const std::uint32_t due = s.dueTick;
            s = last;
            s.dueTick = due;
            s.groundSpeed = 0.0;
            s.stationary = true;
            return true;
        }
        if (s.groundSpeed != 0.0)
            return true;
        if (!a.takeOffRun && !s.airborne)
            return true;
        return last.groundSpeed < 50.0;
    }
    if (flying)
        return false;
    if (a.takeOffRun && s.groundSpeed > 0.0 && last.groundSpeed >= 30.0)
        return false;
    if (s.groundSpeed > 0.0)
        s.groundSpeed = 0.0;
    return true;
}

bool lf_approachFilter(LiveAircraft& a, TrackSample& s)
{
    if (a.samples.empty())
        return true;
    if (lf_samePlace(s, a.samples.back()))
        return false;
    constexpr double kRightAngle = 90.0 * kRadiansPerDegree;
    if (a.samples.size() < 2) {
        const double off = lf_offHeading(gf_initialBearing(lf_at(a.samples.front()), lf_at(s)), a.heading);
        if (a.approach) {
            if (off >= kRightAngle)
                return false;
        } else if (off >= 150.0 * kRadiansPerDegree) {
            if (a.manoeuvreCountdown > 0)
                return false;
            // The aircraft has gone past the sample: it starts again from
            // where it is.
            TrackSample here = a.samples.front();
            here.latitude = a.latitude;
            here.longitude = a.longitude;
            here.dueTick = lf_tick() + 1;
            a.samples.clear();
            a.samples.push_back(here);
        }
    } else {
        if (lf_offHeading(gf_initialBearing(lf_at(a.samples.back()), lf_at(s)), a.heading) >= kRightAngle) {
            a.samples.pop_back();
            if (a.samples.size() >= 2 &&
                lf_offHeading(gf_initialBearing(lf_at(a.samples.back()), lf_at(s)), a.heading) >= kRightAngle)
                a.samples.pop_back();
        }
    }
    if (a.manoeuvreCountdown > 0) {
        a.manoeuvreCountdown = 0;
        a.resetRetiming();
    }
    const TrackSample& last = a.samples.back();
    if (lf_samePlace(s, last)) {
        s.stationary = true;
        return true;
    }
    s.stationary = false;
    if (s.groundSpeed > last.groundSpeed && s.groundSpeed > 40.0)
        s.groundSpeed = last.groundSpeed;
    return true;
}

void lf_leaveStand(LiveAircraft& a)
{
    if (a.manoeuvreCountdown > 0) {
        if (a.movementPhase == tzo::kPhaseParked && a.departureLearning && !a.samples.empty()) {
            const std::int64_t parked =
                static_cast<std::int32_t>(lf_tick() - a.samples.front().dueTick) + kParkedSampleDelayTicks;
            a.towed = (a.category == tzo::AircraftCategory::Heavy && parked < 360000) ||
                      (a.category == tzo::AircraftCategory::Large && parked < 150000) ||
                      (a.category == tzo::AircraftCategory::Buzjets && parked < 90000);
            a.departureLearning = false;
        }
        lf_endManoeuvre(a);
    }
    if (!a.airline.empty() && a.cargo == a.standIsCargo) {
        const DayHour now = gf_nowDayHour();
        if (lf_addRealOption(a.standId, a, true, true, now))
            gf_noteSoftLearning(a.recordId, now.hh);
    }
    // The stand stays held until the aircraft moves off it (push back or
    // pull out): until then it still stands there.
}

bool lf_standWatch(LiveAircraft& a, TrackSample& s)
{
    a.standApproach = true;
    const double d = gf_greatCircleDistanceNm({a.stand.latitude, a.stand.longitude}, lf_at(s));
    const double near = a.previousPhase == tzo::kPhaseToStand ? 2.0 * tzo::kStandNearRadiusNm : tzo::kStandNearRadiusNm;
    if (d <= near) {
        a.atStandTime = lf_steadyNow100ns();
        if (a.standApproachReference < 0.0) {
            a.standApproachStart = d;
            a.standApproachReference = d;
            a.standApproachCount = 0;
            a.leftStand = false;
            return false;
        }
        if (d >= a.standApproachReference + tzo::kStandStepNm) {
            ++a.standApproachCount;
            a.standApproachReference = d;
            const double moved = d - a.standApproachStart;
            if (!((a.standApproachCount >= 3 && moved >= a.radius / 2.0) || moved > a.radius)) {
                a.leftStand = false;
                return false;
            }
        } else {
            if (d <= a.standApproachReference - tzo::kStandStepNm)
                a.standApproachCount = 0;
            a.leftStand = false;
            return false;
        }
    } else {
        if (a.movementPhase == tzo::kPhaseToStand) {
            a.setPhase(tzo::kPhaseGround);
            s.stationary = false;
            return true;
        }
        if (d > tzo::kStandAwayNm) {
            if (!lf_inSimulator(a))
                return true;
            gf_removeAircraft(a);
            return false;
        }
    }
    // The aircraft moves off its stand.
    s.stationary = false;
    a.leftStand = true;
    if (a.previousPhase == tzo::kPhaseParked)
        return true;
    lf_leaveStand(a);
    if (a.movementPhase != tzo::kPhaseParked)
        a.setPhase(tzo::kPhaseParked);
    return true;
}

namespace {

// The tail of the queue when a ground sample follows a stop.
void lf_tailRules(LiveAircraft& a, const TrackSample& s)
{
    auto& q = a.samples;
    if (q.empty() || s.airborne)
        return;
    const TrackSample& last = q.back();
    if (last.stationary && !s.stationary) {
        // The latest moving sample among the five before the last.
        std::size_t moving = q.size();
        for (std::size_t back = 2; back <= 6 && back <= q.size(); ++back) {
            if (!q[q.size() - back].stationary) {
                moving = q.size() - back;
                break;
            }
        }
        if (moving == q.size())
            return;
        const TrackSample& e = q[moving];
        const bool longStop = static_cast<std::int32_t>(last.dueTick - e.dueTick) >= static_cast<std::int32_t>(kLongStopTicks);
        if (longStop && gf_greatCircleDistanceNm(lf_at(e), lf_at(s)) > kStopRestartNm)
            return;
        // A short stop, or one that ends where it began: cut out of the track.
        q.erase(q.begin() + static_cast<std::ptrdiff_t>(moving) + 1, q.end());
    } else if (last.stationary && s.stationary) {
        if (std::all_of(q.begin(), q.end(), [](const TrackSample& t) { return t.stationary; }))
            q.resize(1);
    }
}

// The reader judges a report against the park airport's elevation, the only
// ground it knows. An aircraft on the ground knows better: the simulator's
// ground under it is its airport's, so that at an airport higher than the
// park airport its roll is no go-around and its take-off run no lift-off.
// (In the air the ground under it now may not be the ground ahead.)
void lf_judgeAgainstGround(const LiveAircraft& a, TrackSample& s)
{
    if (s.airborne && lf_inSimulator(a) && a.onGround && !std::isnan(a.groundAltitude) &&
        tzo::gf_countsAsOnGround(s.altitude - a.groundAltitude, s.groundSpeed)) {
        s.altitude = 0.0;
        s.airborne = false;
    }
}

void lf_goAround(LiveAircraft& a)
{
    a.setPhase(tzo::kPhaseGround);
    a.takeOffRun = true;
    gf_setThrottle(a, 3);
    // It rolls on to climb away again: no spoilers out.
    gf_setSpoilers(a, false);
    gf_setFlaps(a, 1);
    a.approach = false;
    a.departureLearning = false;
    // Flying again: neither the approach filter nor the go-around rule of
    // a landed aircraft holds for it any more; its next take-off is one.
    a.landed = false;
    gf_queueLights(a.objectId, tzo::LightStates{1, 1, 1, 1, 1, 1, 0});
    a.earliestRetiming = 3000;
    a.latestRetiming = 5000;
}

void lf_takeOffWatch(LiveAircraft& a, const TrackSample& s)
{
    if (!lf_inSimulator(a) || !a.onGround || a.takeOffRun || a.samples.empty())
        return;
    const TrackSample& last = a.samples.back();
    if (!a.landed) {
        if (a.movementPhase == tzo::kPhaseGround &&
            (s.airborne || (s.groundSpeed >= 43.0 && last.groundSpeed >= 43.0)))
            tzo::gf_liveStepHooks().afterTakeOff(a);
    } else if (last.airborne && s.airborne) {
        lf_goAround(a);
    }
}

} // namespace

void gf_addSample(LiveAircraft& a, TrackSample s)
{
    if (s.airborne && s.verticalSpeed != 0.0)
        a.reportsCarryRates = true;
    if (a.samples.size() >= tzo::kMaxSamples) {
        // A track that never drains: the aircraft is not flying it.
        if (a.state != AircraftState::New)
            gf_removeAircraft(a);
        else
            a.erase = true;
        return;
    }

    lf_judgeAgainstGround(a, s);
    bool tail = true;
    switch (a.movementPhase) {
    case tzo::kPhaseNew:
        if (!lf_stationaryFilter(a, s))
            return;
        tail = false;
        break;
    case tzo::kPhaseToStand:
    case tzo::kPhaseParked:
        if (a.state == AircraftState::New || a.state == AircraftState::CreateRequested)
            return;
        if (!lf_standWatch(a, s))
            return;
        break;
    case tzo::kPhasePushBack:
        if (a.pushBackAwaitsDirection) {
            double direction = 0.0;
            if (s.headingKnown)
                direction = s.trueHeading;
            else if (s.track != 0.0)
                direction = s.track * kRadiansPerDegree;
            else
                return;
            a.pushBackDirectionKnown = true;
            a.pushBackToRight = gf_headingDifference(a.heading, direction) > 0.0;
        }
        return;
    case tzo::kPhaseLeaveStand: {
        const double d = gf_greatCircleDistanceNm(lf_at(a), lf_at(s));
        if (!((d > 2.75 * a.radius && d > a.leaveStandDistance) || d > 6.0 * a.radius)) {
            a.leaveStandDistance = std::max(a.leaveStandDistance, d);
            return;
        }
        s.stationary = false;
        if (a.manoeuvreCountdown > 0)
            lf_endManoeuvre(a);
        a.pushBackAwaitsDirection = false;
        a.pushBackDirectionKnown = false;
        a.pushBackToRight = false;
        a.pushBackStage = 0;
        a.setPhase(tzo::kPhaseGround);
        break;
    }
    default:
        if (a.approach || a.landed) {
            if (!lf_approachFilter(a, s))
                return;
        } else {
            if (!lf_stationaryFilter(a, s))
                return;
            if (a.manoeuvreCountdown > 0) {
                if (!a.onGround && !a.samples.empty() &&
                    lf_offHeading(gf_initialBearing(lf_at(a.samples.back()), lf_at(s)), a.heading) >=
                        100.0 * kRadiansPerDegree)
                    return;
                a.manoeuvreCountdown = 0;
                a.resetRetiming();
            }
        }
        break;
    }

    if (tail)
        lf_tailRules(a, s);
    if (!a.samples.empty() && static_cast<std::int32_t>(s.dueTick - a.samples.back().dueTick) <= 0)
        s.dueTick = a.samples.back().dueTick + 1;
    lf_takeOffWatch(a, s);

    a.samples.push_back(s);
    if (a.samples.size() == 2 && a.samples.front().stationary && !s.stationary) {
        // A standing aircraft starts at once.
        a.samples.front().dueTick = lf_tick() + 1;
        a.samples.front().groundSpeed = s.groundSpeed;
    }
}
