#include "traffic/motion.hpp"

#include "airports/airport_services.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_arrival.hpp"
#include "traffic/stand_learning.hpp"
#include "traffic/track_following.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

using tzo::LiveAircraft;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr double kFlarePitch = -4.0 * kDeg; // nose up
// Feet per minute: two reports' vertical speeds adding up to less than this
// either way fly level.
constexpr double kLevelFpm = 100.0;

const tzo::LiveCategoryValues& lf_values(const LiveAircraft& a)
{
    return tzo::gf_liveCategoryValues(a.category);
}

bool lf_rotorcraft(const LiveAircraft& a)
{
    return a.category == tzo::AircraftCategory::Rotorcraft;
}

double lf_wrapHeading(double h)
{
    h = std::fmod(h, kTwoPi);
    return h < 0.0 ? h + kTwoPi : h;
}

// Turns the heading toward target by the turn rate, the shorter way, when
// more than half a degree off.
void lf_turnToward(LiveAircraft& a, double target)
{
    const double diff = gf_headingDifference(a.heading, lf_wrapHeading(target));
    if (std::abs(diff) <= 0.5 * kDeg)
        return;
    const double step = std::min(std::abs(diff), std::abs(a.turnRate));
    a.heading = lf_wrapHeading(a.heading + (diff > 0.0 ? step : -step));
}

std::int32_t lf_ticksToNext(const LiveAircraft& a)
{
    if (a.samples.size() < 2)
        return 25;
    const auto left = static_cast<std::int32_t>(a.samples[1].dueTick - liveTickCounter.load());
    return std::max(left, 25);
}

double lf_climbRate(const LiveAircraft& a)
{
    return lf_values(a).altitudeStep;
}

void lf_moveToward(double& value, double target, double step)
{
    if (value < target)
        value = std::min(value + std::abs(step), target);
    else
        value = std::max(value - std::abs(step), target);
}

tzo::LightStates lf_allLights()
{
    return tzo::LightStates{1, 1, 1, 1, 1, 1, 1};
}

void lf_lowerAllowances(LiveAircraft& a)
{
    a.earliestRetiming = std::max(a.earliestRetiming - 100, 1000);
    a.latestRetiming = std::max(a.latestRetiming - 100, 1000);
}

// Spoilers in and throttles back to idle on the object itself: the touchdown
// set them to braking, and the simulator keeps what was set last. Light
// aircraft never got the braking set.
void lf_sendGroundData(const LiveAircraft& a)
{
    if (a.category != tzo::AircraftCategory::Light)
        gf_setAiGroundData(a.objectId, 0.0, 0.0);
}

void lf_endFlare(LiveAircraft& a)
{
    a.flareStage = 0;
    gf_updateLandingInProgress();
}

bool lf_groundKnown(const LiveAircraft& a)
{
    return !std::isnan(a.groundAltitude);
}

// Feet: the ground the aircraft comes down on: the simulator's ground under
// it, else the park airport's elevation; NaN when neither is known.
double lf_groundElevation(const LiveAircraft& a)
{
    if (lf_groundKnown(a))
        return a.groundAltitude;
    const double park = parkAirportElevationFt.load();
    return park > kNoParkAirportElevation ? park : std::numeric_limits<double>::quiet_NaN();
}

// Pitch and bank on the ground move toward their ground values by the
// touchdown's settle steps; without a step they are there at once.
void lf_settle(double& value, double target, double step)
{
    if (step == 0.0)
        value = target;
    else
        lf_moveToward(value, target, step);
}

void lf_flareStages(LiveAircraft& a)
{
    // The flare ends where the object stands on the ground: at its static CG
    // height once the simulator has told it, else at its category's.
    const double flare = a.staticCgHeight > 0.0 ? a.staticCgHeight : lf_values(a).flareHeight;
    const double ground = lf_groundElevation(a);
    const double overGround = std::isnan(ground) ? a.heightAboveGround : a.altitude - ground;
    auto setStage = [&](std::uint32_t stage, double rate, double fpm) {
        a.flareStage = stage;
        a.altitudeChangePerTick = rate;
        a.workingVerticalSpeed = fpm;
        if (a.samples.size() > 1)
            a.samples[1].verticalSpeed = fpm;
    };
    if (a.flareStage == 0 && std::min(a.heightAboveGround, overGround) <= flare + 30.0) {
        const double ticks = std::max<double>(a.flareSlots, 1.0);
        a.pitchStep = (kFlarePitch - a.pitch) / ticks;
        setStage(1, -0.1, -601.0);
        landingInProgress = true;
    }
    else if (a.flareStage == 1 && a.heightAboveGround <= flare + 20.0)
        setStage(2, -0.075, -450.0);
    else if (a.flareStage == 2 && a.heightAboveGround <= flare + 10.0) {
        gf_setThrottle(a, 0);
        setStage(3, -0.05, -300.0);
    }
    else if (a.flareStage == 3 && a.heightAboveGround <= flare + 3.0)
        setStage(4, -0.025, -150.0);
}

// The altitude to fly toward in the air: the median of the reached, the next
// and the following report, so that one report hundreds or thousands of
// feet off its neighbours (a barometric spike) does not throw the aircraft
// off its climb or descent.
double lf_steadyAltitude(const LiveAircraft& a)
{
    const double next = a.samples[1].altitude;
    if (a.samples.size() < 3 || !a.samples[2].airborne)
        return next;
    const double x = a.samples[0].altitude, z = a.samples[2].altitude;
    return std::max(std::min(x, next), std::min(std::max(x, next), z));
}

// Feet per tick toward the steady altitude, never against the way the
// reports' vertical speeds go: an aircraft whose reports descend follows
// their descent, at least as fast as they say, whatever a spike above it
// says; one whose reports climb does not sink.
double lf_followRate(const LiveAircraft& a, double span)
{
    const double rate = (lf_steadyAltitude(a) - a.altitude) / span;
    const double reported = a.samples[0].verticalSpeed + a.samples[1].verticalSpeed;
    if (reported < -kLevelFpm)
        return std::min(rate, reported / 2.0 / 6000.0);
    if (reported > kLevelFpm)
        return std::max(rate, 0.0);
    return rate;
}

// The rate the reports' altitudes and times give over an airborne segment,
// kept for a touchdown whose reports carry no vertical rate (the segment
// that ends on the ground has no second altitude to tell it).
void lf_noteReportsAltitudeRate(LiveAircraft& a)
{
    const tzo::TrackSample& cur = a.samples[0];
    const auto apart = static_cast<std::int32_t>(a.samples[1].dueTick - cur.dueTick);
    const double ticks = std::max(static_cast<double>(apart), 25.0);
    a.reportsAltitudeRate = (lf_steadyAltitude(a) - cur.altitude) / ticks * 6000.0;
}

// Between the simulator's answers the height above its ground follows the
// altitude; an aircraft that comes down to that ground touches down there,
// not above it and not in it.
void lf_followGround(LiveAircraft& a)
{
    if (!lf_groundKnown(a))
        return;
    a.heightAboveGround = std::max(a.altitude - a.groundAltitude, 0.0);
    if (a.altitude <= a.groundAltitude + a.staticCgHeight)
        lf_touchdown(a);
}

void lf_takeOffClimb(LiveAircraft& a)
{
    --a.rotationCounter;
    if (a.rotationCounter >= 1) {
        a.onGround = false;
        if (a.pitch > a.takeOffPitch)
            a.pitch = std::max(a.pitch + a.pitchStep, a.takeOffPitch);
        return;
    }
    a.bank += a.bankStep;
    lf_moveToward(a.pitch, a.climbPitch, lf_values(a).maxPitchChange);
    const std::int32_t c = a.rotationCounter;
    double share = 1.0;
    if (c > -100)
        share = 0.1;
    else if (c > -200)
        share = 0.2;
    else if (c > -300)
        share = 0.5;
    if (c == -300)
        gf_setGear(a, 0);
    a.altitude += a.altitudeChangePerTick * share;
    if (c <= -300 && a.pitch == a.climbPitch && a.heightAboveGround >= 800.0) {
        gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 3);
        a.setPhase(tzo::kPhaseFlight);
        a.rotationCounter = 1;
    }
}

} // namespace

double gf_wrapLongitudeDelta(double delta)
{
    delta = std::fmod(delta + 180.0, 360.0);
    if (delta < 0.0)
        delta += 360.0;
    return delta - 180.0;
}

void gf_updateLandingInProgress()
{
    landingInProgress = std::any_of(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& a) {
        return !a.erase && a.state != tzo::AircraftState::BeingRemoved && a.flareStage > 0 && a.landing &&
               !a.onGround;
    });
}

void lf_moveTick(LiveAircraft& a)
{
    const std::uint32_t phase = a.movementPhase;
    if (a.curveActive()) {
        a.curveParameter = std::min(a.curveParameter + a.curveStep, 0.999999);
        tzo::LatLon p;
        double h = 0.0;
        if (!gf_bezierPositionAt(a.curve, p, h, a.curveParameter))
            gf_logLine(fmt::format("{} error in curve at index: {:.2F}", a.callsign, a.curveParameter));
        else {
            a.latitude = p.latitude;
            a.longitude = p.longitude;
            lf_turnToward(a, phase == tzo::kPhasePushBack ? h + kPi : h);
        }
    }
    else {
        if (phase == tzo::kPhaseTakeOff || phase == tzo::kPhaseFlight || phase == tzo::kPhaseParked)
            a.heading = lf_wrapHeading(a.heading + a.headingStep);
        else if (phase == tzo::kPhasePushBack)
            lf_turnToward(a, a.bearingToNext + kPi); // the tail leads
        else if (phase == tzo::kPhaseLeaveStand || phase == tzo::kPhaseToStand ||
                 (phase == tzo::kPhaseGround && a.pendingTurn > 3.0))
            lf_turnToward(a, a.bearingToNext);
        if (phase != tzo::kPhaseLeaveStand) {
            a.latitude += a.latitudeStep;
            a.longitude += a.longitudeStep;
        }
    }
    if (phase != tzo::kPhaseTakeOff) {
        if (a.heightAboveGround <= 400.0 && a.landing && !a.onGround)
            lf_flareStages(a);
        if (a.rotationCounter > 1) {
            a.pitch += a.pitchStep;
            if (a.pitch <= a.climbPitch) {
                a.pitch = a.climbPitch;
                a.rotationCounter = 1;
                lf_endFlare(a);
            }
        }
        else if (a.onGround) {
            lf_settle(a.pitch, a.staticPitch, a.pitchStep);
            lf_settle(a.bank, 0.0, a.bankStep);
        }
        else {
            a.pitch += a.pitchStep;
            if (a.flareStage > 0)
                a.pitch = std::max(a.pitch, kFlarePitch);
            a.bank += a.bankStep;
            a.altitude += a.altitudeChangePerTick;
            lf_followGround(a);
        }
    }
    else
        lf_takeOffClimb(a);
    a.longitude = gf_wrapLongitudeDelta(a.longitude);
}

bool lf_allFollowingAirborne(const LiveAircraft& a)
{
    return std::all_of(a.samples.begin() + (a.samples.empty() ? 0 : 1), a.samples.end(),
                       [](const tzo::TrackSample& s) { return s.airborne; });
}

bool lf_liftOffSpeedReached(const LiveAircraft& a)
{
    const double speed = lf_values(a).liftOffSpeed;
    return std::all_of(a.samples.begin() + (a.samples.empty() ? 0 : 1), a.samples.end(),
                       [&](const tzo::TrackSample& s) { return s.groundSpeed >= speed; });
}

void lf_afterTakeOff(LiveAircraft& a)
{
    if (a.towed)
        gf_logLine(fmt::format("{} towed aircraft takes-off?", gf_formatStatusLine(a)));
    a.takeOffRun = true;
    gf_setThrottle(a, 0);
    gf_setSpoilers(a, false);
    gf_setFlaps(a, 1);
    a.landing = false;
    a.climbDone = false;
    tzo::LightStates lights = lf_allLights();
    lights.cabin = 0;
    gf_queueLights(a.objectId, lights);
    a.latestRetiming = 5000;
    a.earliestRetiming = 3000;
    if (!a.airline.empty())
        lf_learnSoftOption(a);
}

void lf_takeOff(LiveAircraft& a, double climbRate)
{
    const double ticks = std::max<double>(a.rotationSlots, 1.0);
    a.rotationCounter = static_cast<std::int32_t>(std::max<std::uint32_t>(a.rotationSlots, 1));
    a.pitchStep = (a.takeOffPitch - a.pitch) / ticks;
    a.bank = 0.0;
    a.bankStep = 0.0;
    if (!a.takeOffRun)
        tzo::gf_liveStepHooks().afterTakeOff(a);
    a.altitudeChangePerTick = climbRate;
    a.setPhase(tzo::kPhaseTakeOff);
    a.flareStage = 0;
    gf_logLine(fmt::format("          {:8} took-off {}", a.callsign, gf_currentTimeText()));
    a.clearCurve();
    a.headingStep = 0.0;
    if (a.rollingAfterLanding) {
        // A touch-and-go: the brakes of the touchdown come off for the climb.
        a.rollingAfterLanding = false;
        gf_setSpoilers(a, false);
        lf_sendGroundData(a);
        gf_setThrottle(a, 4);
        gf_setFlaps(a, 1);
    }
}

void lf_rollOut(LiveAircraft& a)
{
    const double off = std::abs(gf_headingDifference(a.heading, a.runwayHeading));
    const double speed = a.samples.empty() ? 0.0 : a.samples.front().groundSpeed;
    if (off >= 15.0 * kDeg) {
        gf_setFlaps(a, 0);
        a.rollingAfterLanding = false;
        gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 0);
        gf_setSpoilers(a, false);
        lf_sendGroundData(a);
        gf_queueLights(a.objectId, tzo::LightStates{1, 1, 0, 1, 0, 1, 1});
    }
    else if (speed <= 90.0) {
        gf_setSpoilers(a, false);
        lf_sendGroundData(a);
        gf_setFlaps(a, 1);
    }
}

void lf_takeOffCheck(LiveAircraft& a)
{
    if (a.movementPhase == tzo::kPhaseFlight || a.movementPhase == tzo::kPhaseParked) {
        a.setPhase(tzo::kPhaseGround);
    }
    else if (!a.takeOffRun) {
        if (a.rollingAfterLanding)
            lf_rollOut(a);
        else
            gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 0);
    }
    else if (a.samples.size() >= 2) {
        const double current = a.samples[0].groundSpeed;
        const double next = a.samples[1].groundSpeed;
        std::uint32_t state = 0;
        if (lf_rotorcraft(a) || current >= 25.0 || next >= 30.0)
            state = 4;
        else if (current >= 20.0 || next >= 25.0)
            state = 2;
        else if (current >= 15.0 || next >= 20.0)
            state = 1;
        gf_setThrottle(a, state);
    }
    if (!a.rollingAfterLanding && !a.takeOffRun)
        lf_lowerAllowances(a);
    if (a.flareStage == 0 && a.movementPhase != tzo::kPhaseTakeOff) {
        // After a touchdown pitch and bank settle over its steps.
        if (!a.rollingAfterLanding) {
            a.pitch = a.staticPitch;
            a.bank = 0.0;
            a.pitchStep = a.bankStep = 0.0;
        }
        a.headingStep = 0.0;
        a.altitudeChangePerTick = 0.0;
    }
    if (a.curveActive())
        a.curveStep = 1.0 / lf_ticksToNext(a);
    if (!a.takeOffRun || a.movementPhase == tzo::kPhaseTakeOff || a.samples.size() < 2 ||
        a.samples.front().groundSpeed < 43.0)
        return;
    // The reports have it in the air already: later samples below the
    // lift-off speed (a climb at reduced speed) must not keep it rolling on
    // the ground along its climb-out.
    if (a.samples.front().airborne && lf_allFollowingAirborne(a)) {
        lf_takeOff(a, std::clamp((a.samples[1].altitude - a.altitude) / lf_ticksToNext(a), 0.1, lf_climbRate(a)));
        return;
    }
    const auto first = std::find_if(a.samples.begin() + 1, a.samples.end(),
                                     [](const tzo::TrackSample& s) { return s.verticalSpeed <= 256.0; });
    if (first != a.samples.end()) {
        if (lf_liftOffSpeedReached(a) && lf_allFollowingAirborne(a))
            lf_takeOff(a, lf_climbRate(a));
        return;
    }
    if (lf_allFollowingAirborne(a))
        lf_takeOff(a, std::max(a.samples[1].altitude - a.altitude, 0.1) / lf_ticksToNext(a));
    else
        lf_takeOff(a, lf_climbRate(a));
}

double lf_touchdownRate(const LiveAircraft& a)
{
    if (a.heightAboveGround <= 100.0 || a.samples.size() < 2)
        return -600.0;
    // Reports without vertical rates descend as their altitudes and times
    // say, not at the slowest rate the landing allows: that would put the
    // touchdown far past the reported one.
    const double mean = a.reportsCarryRates ? (a.samples[0].verticalSpeed + a.samples[1].verticalSpeed) / 2.0
                                            : a.reportsAltitudeRate;
    return std::min(mean - (qnhValue.load() - 1013) * 6.0, -601.0);
}

bool lf_climbTo(LiveAircraft& a, std::size_t k)
{
    if (a.samples.size() < k || !a.samples[k - 1].airborne)
        return false;
    a.samples.erase(a.samples.begin() + 1, a.samples.begin() + static_cast<std::ptrdiff_t>(k - 1));
    const tzo::TrackSample& next = a.samples[1];
    const double d = gf_greatCircleDistanceNm({a.latitude, a.longitude}, {next.latitude, next.longitude});
    const double t = std::max(d * 360000.0 / lf_segmentSpeed(a), 25.0);
    lf_setDueTick(a, static_cast<std::int32_t>(std::min(t, 1.0e8)));
    a.altitudeChangePerTick =
        next.altitude > a.altitude ? std::min((next.altitude - a.altitude) / lf_ticksToNext(a), lf_climbRate(a)) : 0.0;
    return true;
}

void lf_trackClimb(LiveAircraft& a)
{
    double sum = 0.0;
    for (const auto& s : a.samples)
        sum += s.verticalSpeed;
    if (!a.landing && sum > 100.0) {
        bool done = false;
        const std::size_t last = std::min<std::size_t>(a.samples.size() - 1, 10);
        for (std::size_t k = 3; k <= last && !done; ++k)
            done = lf_climbTo(a, k);
        if (!done) {
            a.samples[1].verticalSpeed = std::max(a.samples[1].verticalSpeed, 601.0);
            a.altitudeChangePerTick = a.samples[1].verticalSpeed / 6000.0;
        }
    }
    else {
        a.samples[1].verticalSpeed = lf_touchdownRate(a);
        a.altitudeChangePerTick = a.samples[1].verticalSpeed / 6000.0;
    }
    gf_setGear(a, 1);
}

void lf_bankForTurn(LiveAircraft& a, double turn, std::int32_t ticks)
{
    const auto& v = lf_values(a);
    const double target = std::clamp(-turn, -v.maxBank, v.maxBank);
    a.bankStep = std::clamp((target - a.bank) / std::max(ticks, 1), -v.maxBankChange, v.maxBankChange);
}

void lf_highConfig(LiveAircraft& a)
{
    lf_lowerAllowances(a);
    gf_queueCabinLights(a.objectId, 1);
    a.takeOffRun = false;
    a.landing = false;
    const double vs = a.workingVerticalSpeed;
    if (a.throttleState == 3 && vs <= -250.0)
        gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 2);
    else if (a.throttleState == 4 && vs > 400.0)
        gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 3);
    if (a.heightAboveGround < 2400.0) {
        if (vs <= 100.0) {
            if (a.flapsState == 0)
                gf_setFlaps(a, 1);
            else if (a.flapsState == 1 && a.heightAboveGround < 2000.0)
                gf_setFlaps(a, 2);
        }
    }
    else {
        gf_setGear(a, 0);
        gf_setFlaps(a, 0);
    }
}

void lf_lowConfig(LiveAircraft& a)
{
    gf_queueCabinLights(a.objectId, 0);
    const double vs = a.workingVerticalSpeed;
    const bool airportSet = parkAirportElevationFt.load() > kNoParkAirportElevation;
    const bool near = airportSet && gf_greatCircleDistanceNm({a.latitude, a.longitude},
                                                             {parkAirportPosition.latitude,
                                                              parkAirportPosition.longitude}) <= 10.0;
    if (vs <= -250.0 && !a.landing && near) {
        gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 1);
        gf_setFlaps(a, 3);
        gf_setGear(a, 1);
        a.landing = true;
        a.approach = true;
        coupleSearchIds.push_back(a.recordId);
        a.standId = 0;
        a.stand = tzo::StandPlace{};
        a.rotationCounter = 1;
        a.latestRetiming = a.takeOffRun ? 5000 : 3000;
        a.earliestRetiming = 3000;
    }
    else if (vs > 600.0 || (a.landing && !near)) {
        if (a.landing || a.flapsState != 0 || a.throttleState != 4) {
            lf_lowerAllowances(a);
            gf_setThrottle(a, 4);
            gf_setGear(a, 0);
            gf_setFlaps(a, 0);
            a.landing = false;
            a.approach = false;
            lf_endFlare(a);
        }
    }
}

void lf_airSegment(LiveAircraft& a, std::int32_t ticks)
{
    if (a.samples.size() < 2)
        return;
    if (a.movementPhase != tzo::kPhaseTakeOff && a.movementPhase != tzo::kPhaseFlight)
        a.setPhase(tzo::kPhaseFlight);
    tzo::TrackSample& cur = a.samples[0];
    tzo::TrackSample& next = a.samples[1];
    const double span = lf_ticksToNext(a);
    const double climbRate = lf_climbRate(a);
    const bool qnhLow = qnhValue.load() <= 1013;
    if (a.flareStage == 0) {
        if (cur.airborne && next.airborne)
            lf_noteReportsAltitudeRate(a);
        if (!cur.airborne && !next.airborne)
            lf_trackClimb(a);
        else if (!cur.airborne)
            a.altitudeChangePerTick =
                next.altitude > a.altitude ? std::min((next.altitude - a.altitude) / span, climbRate) : 0.0;
        else if (!next.airborne) {
            gf_setGear(a, 1);
            // Down to the ground by the next sample, but no steeper than the
            // reports descend: a report counted as on the ground because it
            // lies below the park airport's elevation may still be far up.
            const double ground = lf_groundKnown(a) || qnhLow ? lf_groundElevation(a)
                                                              : std::numeric_limits<double>::quiet_NaN();
            if (!std::isnan(ground))
                a.altitudeChangePerTick = std::max((ground + a.staticCgHeight - a.altitude) / span,
                                                   lf_touchdownRate(a) / 6000.0);
            else {
                next.verticalSpeed = qnhLow ? -601.0 : lf_touchdownRate(a);
                a.altitudeChangePerTick = next.verticalSpeed / 6000.0;
            }
        }
        else if (!a.landing) {
            double rate = std::min(lf_followRate(a, span), climbRate);
            // Away from the ground briskly, but only when climbing away (a
            // take-off, a go-around): one descending or flying level follows
            // its reports.
            const bool climbingAway = next.altitude > cur.altitude && cur.verticalSpeed + next.verticalSpeed > kLevelFpm;
            if (a.heightAboveGround < 1000.0 && climbingAway)
                rate = std::max(rate, 0.2);
            a.altitudeChangePerTick = rate;
        }
        else if (next.altitude != cur.altitude || a.heightAboveGround > 1000.0 ||
                 cur.verticalSpeed + next.verticalSpeed > 100.0)
            a.altitudeChangePerTick = lf_followRate(a, span);
        else {
            next.verticalSpeed = lf_touchdownRate(a);
            a.altitudeChangePerTick = next.verticalSpeed / 6000.0;
        }
        a.workingVerticalSpeed = a.altitudeChangePerTick * 6000.0;
    }
    const auto& v = lf_values(a);
    if (a.movementPhase != tzo::kPhaseTakeOff) {
        const double vs = std::clamp(a.workingVerticalSpeed, -3000.0, 2400.0);
        const double target = (-3.0 - (vs < 0.0 ? vs / 2.0 : vs) / 600.0 * 2.2) * kDeg;
        a.pitchStep = std::clamp((target - a.pitch) / span, -v.maxPitchChange, v.maxPitchChange);
    }
    const double segment = std::max(ticks, 1);
    double turn = 0.0;
    if (next.headingKnown && a.heightAboveGround < (a.landing ? 2000.0 : 1000.0))
        turn = gf_headingDifference(a.heading, lf_wrapHeading(next.trueHeading));
    else
        turn = lf_turnBetweenLegs(a);
    a.headingStep = turn / segment;
    if (next.bankKnown)
        a.bankStep = (next.bank - a.bank) / segment;
    else
        lf_bankForTurn(a, turn, ticks);
    // The take-off climb has its own configuration (gear up 300 ticks after
    // the rotation, climb power at 800 ft): a departure climbing from the
    // runway is no go-around, and its gear stays down until it has left.
    if (a.movementPhase == tzo::kPhaseTakeOff)
        return;
    if (cur.altitude < 10000.0) {
        if (!a.lowLightsSent) {
            gf_queueLights(a.objectId, lf_allLights());
            a.lowLightsSent = true;
            a.highLightsSent = false;
        }
        const bool bigJet = a.category == tzo::AircraftCategory::Buzjets ||
                            a.category == tzo::AircraftCategory::Large || a.category == tzo::AircraftCategory::Heavy;
        if (a.heightAboveGround > (bigJet ? 2050.0 : 625.0))
            lf_highConfig(a);
        else
            lf_lowConfig(a);
    }
    else if (!a.highLightsSent) {
        gf_queueLights(a.objectId, tzo::LightStates{1, 1, 0, 0, 0, 0, 1});
        gf_setThrottle(a, lf_rotorcraft(a) ? 4 : 3);
        gf_setGear(a, 0);
        gf_setFlaps(a, 0);
        a.highLightsSent = true;
        a.lowLightsSent = false;
    }
}

void lf_touchdown(LiveAircraft& a)
{
    if (a.onGround || a.state == tzo::AircraftState::BeingRemoved || a.movementPhase == tzo::kPhaseTakeOff)
        return;
    a.landed = true;
    a.headingAtTouchdown = a.heading;
    a.approach = false;
    a.departureLearning = true;
    gf_logLine(fmt::format("          {:8} landed {}", a.callsign, gf_currentTimeText()));
    gf_setSpoilers(a, true);
    if (a.category != tzo::AircraftCategory::Light)
        gf_setAiGroundData(a.objectId, 100.0, a.fsltl ? -100.0 : 100.0);
    const double slots = a.onGroundSlots;
    if (slots <= 0.0) {
        gf_logLine(fmt::format("{} ! onGround slots {:.1F}", a.callsign, slots));
        a.pitchStep = a.staticPitch;
        a.bankStep = 0.0;
    } else {
        a.bankStep = (0.0 - a.bank) / slots;
        a.pitchStep = (a.staticPitch - a.pitch) / slots;
    }
    newLiveIds.push_back(a.recordId);
    a.onGround = true;
    a.altitudeChangePerTick = 0.0;
    a.workingVerticalSpeed = 0.0;
    a.rotationCounter = 1;
    a.landing = false;
    a.rollingAfterLanding = true;
    a.runwayHeading = a.heading;
    if (lf_groundKnown(a)) {
        a.altitude = a.groundAltitude + a.staticCgHeight;
        a.heightAboveGround = a.staticCgHeight;
    }
    lf_endFlare(a);
}

