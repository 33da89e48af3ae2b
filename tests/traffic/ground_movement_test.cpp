// Segment timing and the ground phases: the shortest segment, a repeated
// position, leaving a stand, the roll-out after landing and straight taxi legs.

#include "motion_fixture.hpp"

#include <cmath>

using namespace traffictest;

TEST_F(Motion, noSegmentLastsUnderTwentyFiveTicks)
{
    struct Row {
        bool airborne;
        std::int32_t nextDue; // relative to now
        double metres;
    };
    for (const Row& row : {Row{false, 1, 1.0}, Row{false, -500, 0.5}, Row{true, 1, 3.0}, Row{true, -900, 10.0},
                           Row{true, 10, 0.01}}) {
        liveAircraft.clear();
        liveTickCounter.store(5000);
        const double knots = row.airborne ? 250 : 15;
        const tzo::LatLon next = gf_destinationPoint({47.45, 8.55}, 0.0, row.metres / 0.3048);
        auto& a = add(tzo::AircraftCategory::Large,
                      {sample(47.45, 8.55, row.airborne ? 5000 : 0, knots, 5000, row.airborne),
                       sample(next.latitude, next.longitude, row.airborne ? 5000 : 0, knots,
                              static_cast<std::uint32_t>(5000 + row.nextDue), row.airborne)});
        lf_trackStep(a);
        ASSERT_EQ(a.samples.size(), 1u);
        EXPECT_GE(static_cast<std::int32_t>(a.samples.front().dueTick - 5000), 25) << row.nextDue;
        EXPECT_LE(metresBetween(0, 0, a.latitudeStep, a.longitudeStep), row.metres / 25.0 + 1e-9);
    }
}

TEST_F(Motion, aRepeatedPositionStopsTheAircraftAndShrinksItsAllowancesToTenSeconds)
{
    struct Row {
        bool rolling, takeOffRun;
        std::int32_t allowance; // at the end
    };
    for (const Row& row : {Row{false, false, 1000}, Row{true, false, 3000}, Row{false, true, 3000}}) {
        liveAircraft.clear();
        liveTickCounter.store(0);
        std::vector<tzo::TrackSample> samples;
        for (std::uint32_t i = 0; i < 30; ++i)
            samples.push_back(sample(47.45, 8.55, 0, 0, i * 100, false));
        auto& a = add(tzo::AircraftCategory::Large, samples);
        a.rollingAfterLanding = row.rolling;
        a.takeOffRun = row.takeOffRun;
        a.earliestRetiming = a.latestRetiming = 3000;
        std::int32_t last = 3000;
        while (a.samples.size() > 1) {
            liveTickCounter.store(a.samples.front().dueTick);
            lf_trackStep(a);
            EXPECT_EQ(a.latitudeStep, 0.0);
            EXPECT_EQ(a.longitudeStep, 0.0);
            EXPECT_GE(a.latestRetiming, last - 100);
            EXPECT_TRUE(tzo::gf_tickReached(a.samples.front().dueTick, liveTickCounter.load()));
            last = a.latestRetiming;
        }
        EXPECT_EQ(a.latitude, 47.45);
        EXPECT_EQ(a.earliestRetiming, row.allowance) << row.rolling << row.takeOffRun;
        EXPECT_EQ(a.latestRetiming, row.allowance) << row.rolling << row.takeOffRun;
    }
}

TEST_F(Motion, leavingAStandPushesBackThroughAQuarterTurnOrPullsOut)
{
    LOG.setValue(true);
    struct Row {
        double reportBearing; // degrees from the stand, which faces north
        std::vector<std::uint32_t> phases;
        const char* logged;
    };
    for (const Row& row : {Row{135, {6, 0, 1, 2}, "push back"}, Row{225, {6, 0, 1, 2}, "push back"},
                           Row{20, {6, 2}, "pull out"}}) {
        liveAircraft.clear();
        liveTickCounter.store(0);
        {
            std::lock_guard lock(simQueueMutex);
            eventQueue.clear();
        }
        const tzo::LatLon stand{47.45, 8.55};
        const tzo::LatLon away = gf_destinationPoint(stand, row.reportBearing * kDeg, 400);
        auto parked = sample(stand.latitude, stand.longitude, 0, 0, 0, false);
        parked.stationary = true;
        auto& a = add(tzo::AircraftCategory::Large, {parked, sample(away.latitude, away.longitude, 0, 5, 3000, false)});
        a.movementPhase = tzo::kPhaseParked;
        a.stand = tzo::StandPlace{stand.latitude, stand.longitude, 0.0};
        a.heading = 0.0;
        a.leftStand = true;
        std::vector<std::uint32_t> phases{a.movementPhase};
        bool curved = false;
        double lat = a.latitude, lon = a.longitude;
        for (int t = 0; t < 20000 && a.movementPhase != tzo::kPhaseLeaveStand && phases.size() < 3; ++t) {
            tick(a);
            if (a.movementPhase != phases.back())
                phases.push_back(a.movementPhase);
            curved = curved || (a.movementPhase == tzo::kPhasePushBack && a.curveActive());
            const double moved = metresBetween(lat, lon, a.latitude, a.longitude);
            if (a.movementPhase == tzo::kPhasePushBack && !a.curveActive() && moved > 0.01) {
                // The tail leads.
                const double motion = gf_initialBearing({lat, lon}, {a.latitude, a.longitude});
                EXPECT_GT(std::abs(gf_headingDifference(a.heading, motion)), 150 * kDeg) << t;
            }
            lat = a.latitude;
            lon = a.longitude;
        }
        if (a.movementPhase == tzo::kPhaseLeaveStand) {
            EXPECT_TRUE(curved);
            // The nose ends across the stand's line, toward where the reports go.
            const double nose = row.reportBearing < 180 ? 90 : 270;
            EXPECT_LT(std::abs(gf_headingDifference(a.heading, nose * kDeg)), 25 * kDeg) << a.heading / kDeg;
            EXPECT_FALSE(takeEvents(tzo::ENGINE_AUTO_START).empty());
            // The next report well away from the stand ends the manoeuvre.
            const tzo::LatLon on = gf_destinationPoint({a.latitude, a.longitude}, nose * kDeg, 400);
            gf_addSample(a, sample(on.latitude, on.longitude, 0, 10, liveTickCounter.load() + 3000, false));
            phases.push_back(a.movementPhase);
        }
        EXPECT_EQ(phases, row.phases) << row.reportBearing;
        EXPECT_FALSE(a.departurePending);
        const auto taxi = takeEvents(tzo::TAXI_LIGHTS_SET);
        ASSERT_FALSE(taxi.empty());
        EXPECT_EQ(taxi.front().value, 1u);
        EXPECT_EQ(takeEvents(tzo::LANDING_LIGHTS_SET).front().value, 0u);
        EXPECT_NE(log().find(std::string("sid==0? : SWR100   ") + row.logged), std::string::npos);
    }
}

TEST_F(Motion, theRollOutEndsAtTheTurnOffAndCleansUpAtNinetyKnots)
{
    struct Row {
        double offRunway; // degrees
        double knots;
        int flaps; // the flaps event's state, -1 none
        bool stillRolling;
    };
    for (const Row& row : {Row{14.9, 90.1, -1, true}, Row{14.9, 90, 1, true}, Row{0, 40, 1, true},
                           Row{15, 120, 0, false}, Row{-15.001, 30, 0, false}}) {
        liveAircraft.clear();
        {
            std::lock_guard lock(simQueueMutex);
            eventQueue.clear();
        }
        auto& a = add(tzo::AircraftCategory::Large,
                      {sample(47.45, 8.55, 0, row.knots, 0, false), sample(47.46, 8.55, 0, row.knots, 500, false)});
        a.rollingAfterLanding = true;
        a.runwayHeading = 0.0;
        a.heading = row.offRunway >= 0 ? row.offRunway * kDeg : 2 * std::numbers::pi + row.offRunway * kDeg;
        a.flapsState = 3;
        a.throttleState = 4;
        lf_rollOut(a);
        const auto flaps = takeEvents(tzo::FLAPS_SET);
        if (row.flaps < 0) {
            EXPECT_TRUE(flaps.empty()) << row.offRunway << " " << row.knots;
        }
        else {
            EXPECT_EQ(a.flapsState, static_cast<std::uint32_t>(row.flaps)) << row.offRunway << " " << row.knots;
        }
        EXPECT_EQ(takeEvents(tzo::SPOILERS_SET).size(), row.flaps < 0 ? 0u : 1u);
        EXPECT_EQ(a.rollingAfterLanding, row.stillRolling);
        EXPECT_EQ(takeEvents(tzo::TAXI_LIGHTS_SET).size(), row.stillRolling ? 0u : 1u);
        EXPECT_EQ(a.throttleState, row.stillRolling ? 4u : 0u);
    }
}

TEST_F(Motion, theNoseStaysWithinFiveDegreesOfTheMotionOnStraightTaxiLegs)
{
    for (const double latitude : {47.45, 85.0}) {
        for (const double bearing : {0.0, 90.0, 225.0}) {
            liveAircraft.clear();
            liveTickCounter.store(0);
            std::vector<tzo::TrackSample> samples;
            tzo::LatLon p{latitude, 8.55};
            for (std::uint32_t i = 0; i < 5; ++i) {
                samples.push_back(sample(p.latitude, p.longitude, 0, 15, i * 1000, false));
                p = gf_destinationPoint(p, bearing * kDeg, 150 / 0.3048);
            }
            auto& a = add(tzo::AircraftCategory::Large, samples);
            a.heading = bearing * kDeg;
            double lat = a.latitude, lon = a.longitude;
            int checked = 0;
            for (std::uint32_t t = 0; t < 4000; ++t) {
                tick(a);
                if (metresBetween(lat, lon, a.latitude, a.longitude) > 0.01) {
                    const double motion = gf_initialBearing({lat, lon}, {a.latitude, a.longitude});
                    ASSERT_LT(std::abs(gf_headingDifference(a.heading, motion)), 5 * kDeg)
                        << latitude << " " << bearing << " at " << t;
                    ++checked;
                }
                lat = a.latitude;
                lon = a.longitude;
            }
            EXPECT_GT(checked, 1000) << latitude << " " << bearing;
        }
    }
}

TEST_F(Motion, oneAltitudeSpikeIsNotFlownAndTheTakeOffClimbIsNoGoAround)
{
    struct Row {
        double next; // feet; the reports around it are at 10000 and 10100
        double largestRate;
    };
    for (const Row& row : {Row{16900, 0.2}, Row{3000, 0.2}, Row{10050, 0.2}}) {
        liveAircraft.clear();
        liveTickCounter.store(0);
        auto& a = add(tzo::AircraftCategory::Large,
                      {sample(47.0, 8.0, 10000, 250, 0, true), sample(47.01, 8.0, row.next, 250, 1000, true),
                       sample(47.02, 8.0, 10100, 250, 2000, true)});
        lf_airSegment(a, 1000);
        EXPECT_LT(std::abs(a.altitudeChangePerTick), row.largestRate) << row.next;
    }
    liveAircraft.clear();
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    auto& a = add(tzo::AircraftCategory::Large,
                  {sample(47.0, 8.0, 1500, 150, 0, true), sample(47.01, 8.0, 2500, 150, 1000, true)});
    a.movementPhase = tzo::kPhaseTakeOff;
    a.heightAboveGround = 100;
    a.flapsState = 1;
    a.workingVerticalSpeed = 2000;
    lf_airSegment(a, 1000);
    EXPECT_TRUE(takeEvents(tzo::GEAR_SET).empty());
    EXPECT_EQ(a.flapsState, 1u);
}
