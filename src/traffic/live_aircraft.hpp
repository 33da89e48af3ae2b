#pragma once
// A live aircraft: the common record of every AI aircraft, extended by what a
// reported flight needs: the position sent to the simulator each tick, the
// reported positions still ahead of it (track samples, due 30 s after their
// report) and the working state of its movement.

#include "realtraffic/traffic_record.hpp"
#include "refdata/aircraft_record.hpp"

#include "foundation/geometry.hpp"

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>

namespace tzo {

// Movement phases of a live aircraft.
inline constexpr std::uint32_t kPhasePushBack = 0;    // pushed back, engines off, waiting for the turn
inline constexpr std::uint32_t kPhaseLeaveStand = 1;  // leaving a stand after a push back, engines running
inline constexpr std::uint32_t kPhaseGround = 2;      // on the ground or taxiing
inline constexpr std::uint32_t kPhaseTakeOff = 3;     // rotation up to 800 ft above ground
inline constexpr std::uint32_t kPhaseFlight = 4;      // in flight, also created in the air
inline constexpr std::uint32_t kPhaseToStand = 5;     // moving into a stand
inline constexpr std::uint32_t kPhaseParked = 6;      // parked at a stand
inline constexpr std::uint32_t kPhaseNew = 7;         // not yet placed

// One reported position of a live aircraft, in the order of a report's
// position block.
struct TrackSample {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double bank = 0.0;      // radians, the report's roll with its sign inverted
    bool bankKnown = false;
    double trueHeading = 0.0; // radians
    bool headingKnown = false;
    double altitude = 0.0;    // feet; 0 on the ground
    double groundSpeed = 0.0; // knots
    double track = 0.0;       // degrees
    double verticalSpeed = 0.0; // feet per minute
    double trueAirspeed = 0.0;  // knots
    // The live tick at which the aircraft is to be here. The tick counter
    // wraps; due ticks are compared by signed difference (gf_tickReached).
    std::uint32_t dueTick = 0;
    bool airborne = false;
    bool stationary = false; // repeats the position before it: the aircraft stands
    bool headingParsed = false;
};

// The position block of a report as a sample.
TrackSample gf_sampleOf(const TrafficRecord& report);

// Whether tick has reached due, on the wrapping tick counter.
inline bool gf_tickReached(std::uint32_t tick, std::uint32_t due)
{
    return static_cast<std::int32_t>(tick - due) >= 0;
}

struct LiveAircraft : AircraftRecord {
    // The values sent to the simulator each tick, in the order of its
    // position definition.
    double latitude = 0.0;      // degrees
    double longitude = 0.0;     // degrees
    double pitch = 0.0;         // radians
    double bank = 0.0;          // radians
    double heading = 0.0;       // true, radians, 0..2pi
    double altitude = 0.0;      // feet
    double verticalSpeed = 0.0; // feet per second
    double trueAirspeed = 0.0;  // knots

    std::deque<TrackSample> samples; // oldest first
    double lastReportTime = 0.0;     // seconds, time stamp of the last report taken
    // Ground speed of the last report heard, taken or not (knots).
    double lastHeardSpeed = 0.0;
    std::int64_t atStandTime = 0;    // steady clock, 100-ns units
    // Positive while a generated manoeuvre (push back, pull out) runs; -1 once one ended.
    std::int32_t manoeuvreCountdown = 0;
    std::uint32_t movementPhase = kPhaseNew;
    std::uint32_t previousPhase = kPhaseNew;

    bool erase = false;          // taken out of the table at the end of this tick's move pass
    bool standApproach = false;  // the distance to the stand is being watched
    bool onGround = false;
    bool flightPlanSet = false;
    bool heldForUser = false;    // held back, it would appear on the user's path
    bool recreated = false;      // the simulator lost the object; created again

    // Working state of the movement.
    // Radians per tick: the rotation's, the flight's, and on the ground the
    // settling after a touchdown (0 there: the ground pitch at once).
    double pitchStep = 0.0;
    double bankStep = 0.0;
    double headingAtCreation = 0.0;  // radians; 0 when created in the air
    double altitudeChangePerTick = 0.0;
    double workingVerticalSpeed = 0.0; // feet per minute
    // Feet per minute: the rate the altitudes and times of the last two
    // airborne samples gave, for reports that carry no vertical rate.
    double reportsAltitudeRate = 0.0;
    // Some report in the air carried a vertical rate; some feeds send 0 for
    // one they do not know.
    bool reportsCarryRates = false;
    double workingTrueAirspeed = 0.0;  // knots
    // How many ticks a sample's due tick may be moved earlier or later.
    std::int32_t earliestRetiming = 1000;
    std::int32_t latestRetiming = 1000;
    std::int32_t rotationCounter = 1; // 1 when idle
    std::int32_t standApproachCount = 0;
    double workingHeading = 0.0;        // radians
    double heightAboveGround = 2500.0;  // feet
    // Feet: the ground under the aircraft as the simulator last reported it;
    // NaN while none is known.
    double groundAltitude = std::numeric_limits<double>::quiet_NaN();
    double headingAtTouchdown = 0.0;
    // Nautical miles; negative while no distance is stored.
    double standApproachStart = -1.0;
    double standApproachReference = -1.0;
    double keptHeading = 0.0;
    bool keepHeading = false;
    bool approach = false;
    bool departureLearning = false;
    bool towed = false;
    bool takeOffRun = false;
    bool landed = false;
    bool leftStand = false;
    // The push back: it waits for the direction of its turn, which the next
    // report after it began tells.
    bool pushBackAwaitsDirection = false;
    bool pushBackDirectionKnown = false;
    bool pushBackToRight = false;
    std::uint32_t pushBackStage = 0;
    double leaveStandDistance = 0.0; // largest distance from the stand seen while leaving it
    // The two angles of the ground movement's turn; NaN while none is active.
    double turnAngle = std::numeric_limits<double>::quiet_NaN();
    double curveAngle = std::numeric_limits<double>::quiet_NaN();

    // Motion between samples.
    double latitudeStep = 0.0;  // degrees per tick
    double longitudeStep = 0.0; // degrees per tick
    double headingStep = 0.0;   // radians per tick, in the air
    double bearingToNext = 0.0; // radians
    double pendingTurn = 0.0;   // degrees still to turn on a straight taxi leg
    // The taxi curve; its control point is NaN while none is active.
    BezierPath curve{0.0, 0.0, 0.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::quiet_NaN(), 1.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::quiet_NaN()};
    double curveParameter = 0.0;
    double curveStep = 0.0;
    // 0 none, n > 0 extrapolated samples still to come, -1 exhausted.
    std::int32_t extrapolationCount = 0;
    std::uint32_t flareStage = 0; // 0..4
    bool landing = false;
    bool climbDone = false;
    bool rollingAfterLanding = false;
    bool lowLightsSent = false;  // all lights on below 10000 ft
    bool highLightsSent = false; // cruise lights above 10000 ft
    bool departurePending = false;
    double runwayHeading = 0.0; // radians, heading at touchdown

    bool curveActive() const { return !std::isnan(curve.controlEast); }
    void clearCurve()
    {
        curve.controlEast = curve.controlNorth = curve.endEast = curve.endNorth =
            std::numeric_limits<double>::quiet_NaN();
        curveParameter = 0.0;
    }

    // The main loop's own marks.
    double checkedLatitude = 0.0; // position examined by the last parked-versus-live check
    double checkedLongitude = 0.0;
    bool excludedFromParkedCheck = false;
    bool excludedAsPushback = false;
    bool logSuppressed = false;
    // Newest sample position at the last test for a stand to taxi into.
    double taxiCheckedLatitude = 0.0;
    double taxiCheckedLongitude = 0.0;

    LiveAircraft() = default;
    // A new aircraft from its first report: the record built for it, state
    // new, phase new, the report's block as the only sample.
    LiveAircraft(const TrafficRecord& report, AircraftRecord record, double timestamp);
    LiveAircraft(const LiveAircraft&) = default;
    LiveAircraft(LiveAircraft&&) = default;
    LiveAircraft& operator=(const LiveAircraft&) = default;
    LiveAircraft& operator=(LiveAircraft&&) = default;

    // Every change of phase keeps the old one as the previous phase; a change
    // away from the stand (out of phases 5 and 6) gives the stand up.
    void setPhase(std::uint32_t phase);
    // The retiming window after a manoeuvre: 3000 ticks each way, 5000
    // later during a take-off run.
    void resetRetiming()
    {
        earliestRetiming = 3000;
        latestRetiming = takeOffRun ? 5000 : 3000;
    }
};

// Per-category values of a live aircraft.
struct LiveCategoryValues {
    double baseTurnRate; // radians per tick
    double altitudeStep; // feet per tick
    double towingSpeed;  // knots
    double flareHeight;  // feet above ground where the flare aims to end
    double taxiSpeed;    // knots
    double liftOffSpeed; // knots every following sample must reach before lift-off
    double maxPitchChange; // radians per tick
    double maxBank;        // radians
    double maxBankChange;  // radians per tick
};
// The row of the category; a value outside 0..5 raises std::out_of_range.
const LiveCategoryValues& gf_liveCategoryValues(AircraftCategory category);

} // namespace tzo
