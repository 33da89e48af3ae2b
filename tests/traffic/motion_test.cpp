// Motion of live aircraft: take-off rules, approach and flare configuration,
// flown and taxied synthetic tracks, and the end of a spent track.

#include "motion_fixture.hpp"

#include <cmath>
#include <numbers>
#include <random>

using namespace traffictest;

TEST_F(Motion, throttleFollowsTheSpeedTableDuringTheTakeOffRun)
{
    struct Row {
        double current, next;
        std::uint32_t state;
    };
    for (const Row& row : {Row{14.9, 19.9, 0}, Row{15, 0, 1}, Row{0, 20, 1}, Row{19.9, 24.9, 1}, Row{20, 0, 2},
                           Row{0, 25, 2}, Row{24.9, 29.9, 2}, Row{25, 0, 4}, Row{0, 30, 4}}) {
        liveAircraft.clear();
        auto& a = add(tzo::AircraftCategory::Large,
                      {sample(47.45, 8.55, 0, row.current, 0, false), sample(47.451, 8.55, 0, row.next, 500, false)});
        a.takeOffRun = true;
        lf_takeOffCheck(a);
        EXPECT_EQ(a.throttleState, row.state) << row.current << " " << row.next;
    }
}

TEST_F(Motion, noLiftOffBeforeEveryFollowingSampleIsAirborneAndFast)
{
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.45, 8.55, 0, 100, 0, false),
                                                 sample(47.452, 8.55, 300, 145, 500, true),
                                                 sample(47.454, 8.55, 0, 150, 1000, false)});
    a.takeOffRun = true;
    lf_takeOffCheck(a);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseGround);
    a.samples[2].airborne = true;
    a.samples[1].groundSpeed = 139;
    lf_takeOffCheck(a);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseGround);
    a.samples[1].groundSpeed = 140;
    lf_takeOffCheck(a);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseTakeOff);
    EXPECT_NE(log().find("SWR100   took-off"), std::string::npos);
}

TEST_F(Motion, climbingSamplesAboveTheThresholdLiftOffAtTheirOwnRate)
{
    auto s1 = sample(47.452, 8.55, 300, 60, 1000, true);
    s1.verticalSpeed = 257;
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.45, 8.55, 0, 60, 0, false), s1});
    a.takeOffRun = true;
    lf_takeOffCheck(a);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseTakeOff);
    EXPECT_NEAR(a.altitudeChangePerTick, 300.0 / 1000.0, 0.01);
}

TEST_F(Motion, gearGoesUpThreeHundredTicksAfterRotationEnds)
{
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.45, 8.55, 0, 150, 0, false),
                                                 sample(47.47, 8.55, 1000, 150, 100000, true)});
    a.takeOffRun = true;
    lf_takeOff(a, 0.5);
    std::uint32_t gearTick = 0;
    for (std::uint32_t t = 1; t <= 700 && gearTick == 0; ++t) {
        lf_moveTick(a);
        if (!takeEvents(tzo::GEAR_SET).empty())
            gearTick = t;
    }
    EXPECT_EQ(gearTick, 300u + 300u);
    EXPECT_FALSE(a.onGround);
}

TEST_F(Motion, touchdownRateDependsOnQnhAndHeight)
{
    auto s0 = sample(47.45, 8.55, 2000, 140, 0, true);
    auto s1 = sample(47.46, 8.55, 1800, 140, 500, true);
    s0.verticalSpeed = -700;
    s1.verticalSpeed = -900;
    auto& a = add(tzo::AircraftCategory::Large, {s0, s1});
    a.reportsCarryRates = true;
    a.heightAboveGround = 200;
    EXPECT_DOUBLE_EQ(lf_touchdownRate(a), -800.0);
    qnhValue.store(1030);
    EXPECT_DOUBLE_EQ(lf_touchdownRate(a), -800.0 - 17 * 6.0);
    a.samples[0].verticalSpeed = a.samples[1].verticalSpeed = 0.0;
    qnhValue.store(1013);
    EXPECT_DOUBLE_EQ(lf_touchdownRate(a), -601.0);
    a.heightAboveGround = 100;
    EXPECT_DOUBLE_EQ(lf_touchdownRate(a), -600.0);
}

TEST_F(Motion, approachWithinTenMilesConfiguresAndBeyondGoesAround)
{
    parkAirportPosition.latitude = 47.4647;
    parkAirportPosition.longitude = 8.5492;
    parkAirportElevationFt.store(1416);
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.55, 8.55, 3000, 160, 0, true),
                                                 sample(47.54, 8.55, 2900, 160, 500, true)});
    a.heightAboveGround = 1500;
    a.workingVerticalSpeed = -800;
    lf_lowConfig(a);
    EXPECT_TRUE(a.landing);
    EXPECT_EQ(a.flapsState, 3u);
    EXPECT_EQ(a.throttleState, 1u);
    ASSERT_EQ(takeEvents(tzo::GEAR_SET).size(), 1u);

    a.latitude = 47.7; // about 14 nm out
    lf_lowConfig(a);
    EXPECT_FALSE(a.landing);
    EXPECT_EQ(a.flapsState, 0u);
    EXPECT_EQ(a.throttleState, 4u);
}

TEST_F(Motion, goAroundInTheFlareEndsTheFastRefresh)
{
    parkAirportPosition.latitude = 47.4647;
    parkAirportPosition.longitude = 8.5492;
    parkAirportElevationFt.store(1416);
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.46, 8.55, 1460, 140, 0, true),
                                                 sample(47.465, 8.55, 1420, 140, 500, true)});
    a.heightAboveGround = 35;
    a.altitude = 1460;
    a.landing = true;
    lf_moveTick(a);
    EXPECT_EQ(a.flareStage, 1u);
    EXPECT_TRUE(landingInProgress);
    a.latitude = 47.7;
    a.workingVerticalSpeed = 900;
    lf_lowConfig(a);
    EXPECT_EQ(a.flareStage, 0u);
    EXPECT_FALSE(landingInProgress);
}

TEST_F(Motion, flightAcrossTheDateLineGoesTheShortWay)
{
    // 400 kt east along 10 N, samples 0.2 degrees apart.
    std::vector<tzo::TrackSample> samples;
    const double legNm = gf_greatCircleDistanceNm({10, 179.7}, {10, 179.9});
    const auto legTicks = static_cast<std::uint32_t>(legNm * 360000.0 / 400.0);
    for (int i = 0; i < 5; ++i) {
        double lon = 179.7 + 0.2 * i;
        if (lon > 180.0)
            lon -= 360.0;
        auto s = sample(10, lon, 20000, 400, legTicks * static_cast<std::uint32_t>(i), true);
        s.track = 90;
        samples.push_back(s);
    }
    auto& a = add(tzo::AircraftCategory::Large, samples);
    a.heading = 90 * kDeg;
    double lat = a.latitude, lon = a.longitude, heading = a.heading;
    const double maxStep = 2.0 * 400.0 / 360000.0 * 1852.0;
    for (std::uint32_t t = 0; t < legTicks * 4; ++t) {
        tick(a);
        ASSERT_TRUE(std::isfinite(a.latitude) && std::isfinite(a.longitude) && std::isfinite(a.altitude));
        ASSERT_LE(std::abs(a.longitude), 180.0);
        ASSERT_LE(metresBetween(lat, lon, a.latitude, a.longitude), maxStep) << t;
        ASSERT_LE(std::abs(gf_headingDifference(heading, a.heading)), 1.0 * kDeg);
        lat = a.latitude;
        lon = a.longitude;
        heading = a.heading;
    }
    EXPECT_LT(a.longitude, -179.0);
}

TEST_F(Motion, taxiTurnsMoveSmoothlyWithinTheirTimedSpeed)
{
    for (double turn : {10.0, 30.0, 60.0, 90.0, 120.0, 170.0}) {
        liveAircraft.clear();
        liveTickCounter.store(0);
        const tzo::LatLon start{47.45, 8.55};
        const tzo::LatLon corner = gf_destinationPoint(start, 90 * kDeg, 600);
        const tzo::LatLon end = gf_destinationPoint(corner, (90 + turn) * kDeg, 600);
        const std::uint32_t legTicks = 600.0 / 6076.12 * 360000.0 / 15.0;
        auto last = sample(end.latitude, end.longitude, 0, 0, 2 * legTicks + 500, false);
        last.stationary = true;
        auto& a = add(tzo::AircraftCategory::Large,
                      {sample(start.latitude, start.longitude, 0, 15, 0, false),
                       sample(corner.latitude, corner.longitude, 0, 15, legTicks, false),
                       sample(end.latitude, end.longitude, 0, 15, 2 * legTicks, false), last});
        a.heading = 90 * kDeg;
        double lat = a.latitude, lon = a.longitude, heading = a.heading;
        const double maxStep = 2.0 * 15.0 / 360000.0 * 1852.0 * 3.0; // retiming may shorten a leg
        for (std::uint32_t t = 0; t < 2 * legTicks + 400; ++t) {
            tick(a);
            ASSERT_TRUE(std::isfinite(a.latitude) && std::isfinite(a.longitude) && std::isfinite(a.heading));
            ASSERT_LE(metresBetween(lat, lon, a.latitude, a.longitude), maxStep) << turn << " at " << t;
            ASSERT_LE(std::abs(gf_headingDifference(heading, a.heading)), 1.0 * kDeg) << turn << " at " << t;
            lat = a.latitude;
            lon = a.longitude;
            heading = a.heading;
        }
        EXPECT_LT(metresBetween(a.latitude, a.longitude, end.latitude, end.longitude), 50.0) << turn;
    }
}

TEST_F(Motion, randomTracksNeverSendNonFiniteValuesOrShortSegments)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int track = 0; track < 20; ++track) {
        liveAircraft.clear();
        liveTickCounter.store(0);
        std::vector<tzo::TrackSample> samples;
        const bool air = unit(random) < 0.5;
        double lat = 85.0 * (unit(random) * 2 - 1), lon = 360.0 * unit(random) - 180.0;
        std::uint32_t due = 0;
        for (int i = 0; i < 8; ++i) {
            const double knots = air ? 100 + 400 * unit(random) : 30 * unit(random);
            samples.push_back(sample(lat, lon, air ? 5000 + 1000 * unit(random) : 0, knots, due, air));
            const tzo::LatLon p = gf_destinationPoint({lat, lon}, 2 * std::numbers::pi * unit(random),
                                                       knots * 6076.12 / 3600.0 * (3 + 20 * unit(random)));
            lat = p.latitude;
            lon = p.longitude;
            due += static_cast<std::uint32_t>(300 + 2000 * unit(random));
        }
        auto& a = add(air ? tzo::AircraftCategory::Large : tzo::AircraftCategory::Light, samples);
        for (std::uint32_t t = 0; t < due + 2000 && a.state == tzo::AircraftState::InSimulator; ++t) {
            const std::size_t before = a.samples.size();
            tick(a);
            for (double v : {a.latitude, a.longitude, a.altitude, a.pitch, a.bank, a.heading})
                ASSERT_TRUE(std::isfinite(v)) << track << " at " << t;
            if (a.samples.size() >= 1 && before != a.samples.size()) {
                ASSERT_TRUE(tzo::gf_tickReached(a.samples.front().dueTick, liveTickCounter.load() - 1));
            }
        }
    }
}

TEST_F(Motion, aSpentTrackInTheAirIsExtrapolatedEightTimesThenRemoved)
{
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.0, 8.0, 9000, 250, 0, true)});
    a.heading = 45 * kDeg;
    int appended = 0;
    for (int step = 0; step < 20 && a.state == tzo::AircraftState::InSimulator; ++step) {
        liveTickCounter.store(a.samples.front().dueTick);
        const std::size_t before = a.samples.size();
        lf_trackStep(a);
        if (a.state == tzo::AircraftState::InSimulator && a.samples.size() >= before)
            ++appended;
    }
    EXPECT_EQ(appended, 8);
    EXPECT_EQ(a.state, tzo::AircraftState::BeingRemoved);
}

TEST_F(Motion, aSpentTrackBeyondTheRangeIsRemovedAtOnce)
{
    userAircraft.latitude = 47.0;
    userAircraft.longitude = 8.0;
    const double lat = 47.0 + (LATERAL_RANGE.value() - 0.4) / 60.0;
    auto& a = add(tzo::AircraftCategory::Large, {sample(lat, 8.0, 9000, 250, 0, true)});
    lf_trackStep(a);
    EXPECT_EQ(a.state, tzo::AircraftState::BeingRemoved);
}

TEST_F(Motion, aParkedAircraftWaitsAWeekOnItsLastSample)
{
    auto s = sample(47.45, 8.55, 0, 0, 100, false);
    s.stationary = true;
    auto& a = add(tzo::AircraftCategory::Large, {s});
    a.movementPhase = tzo::kPhaseParked;
    liveTickCounter.store(100);
    lf_trackStep(a);
    ASSERT_EQ(a.samples.size(), 1u);
    EXPECT_EQ(a.samples.front().dueTick, 100u + 60480000u);
    EXPECT_EQ(a.state, tzo::AircraftState::InSimulator);
}

TEST_F(Motion, leavingAStandLogsTheStandName)
{
    LOG.setValue(true);
    auto& a = add(tzo::AircraftCategory::Large, {sample(47.45, 8.55, 0, 0, 0, false)});
    a.stand = tzo::StandPlace{47.45, 8.55, 0.0};
    a.standId = 0;
    lf_pushBack(a);
    EXPECT_EQ(a.movementPhase, tzo::kPhasePushBack);
    EXPECT_EQ(a.samples.size(), 5u);
    EXPECT_NE(log().find("sid==0? : SWR100   push back"), std::string::npos);
    a.standId = 77;
    a.movementPhase = tzo::kPhaseParked;
    lf_pullOut(a);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseGround);
    EXPECT_EQ(a.samples.size(), 2u);
    EXPECT_NE(log().find("unknown : SWR100   pull out"), std::string::npos);
}

TEST_F(Motion, destinationPointWrapsAndKeepsItsDistance)
{
    for (const tzo::LatLon from : {tzo::LatLon{10, 179.99}, tzo::LatLon{85, -179.99}, tzo::LatLon{47, 8}}) {
        const tzo::LatLon to = gf_destinationPoint(from, 90 * kDeg, 6076.12);
        EXPECT_LE(std::abs(to.longitude), 180.0);
        EXPECT_NEAR(gf_greatCircleDistanceNm(from, to), 1.0, 0.01);
    }
    EXPECT_NEAR(gf_wrapLongitudeDelta(-359.8), 0.2, 1e-9);
    EXPECT_NEAR(gf_wrapLongitudeDelta(359.8), -0.2, 1e-9);
}
