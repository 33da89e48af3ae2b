// The intake of traffic reports: new live aircraft, the thinning of reports
// of known ones, and what the tick takes from the traffic queue.

#include "traffic_fixture.hpp"

#include <cmath>
#include <numbers>
#include <vector>

using namespace traffictest;
using tzo::AircraftState;

namespace {

constexpr double kMetresPerDegreeLatitude = 1852.0 * 60.0;

struct CategoryCase {
    const char* model;
    tzo::AircraftCategory category;
    double turnRate;
    double altitudeStep;
    double towingSpeed;
};

} // namespace

TEST_F(TrafficTest, newReportMakesANewAircraftWithTheValuesOfItsCategory)
{
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    HIGH_PERF_AIRCRAFT.setValue(true);
    const CategoryCase cases[] = {
        {"C172", tzo::AircraftCategory::Light, 0.0026179938779914941, 0.5, 5.0},
        {"C25A", tzo::AircraftCategory::Buzjets, 0.0017453292519943296, 0.75, 4.5},
        {"A320", tzo::AircraftCategory::Large, 0.0012217304763960306, 0.6, 4.0},
        {"B744", tzo::AircraftCategory::Heavy, 0.00087266462599716477, 0.5, 3.0},
        {"F16", tzo::AircraftCategory::HighPerf, 0.0017453292519943296, 1.0, 4.5},
        {"EC35", tzo::AircraftCategory::Rotorcraft, 0.0034906585039886587, 0.75, 5.0},
    };
    std::uint32_t hexid = 0x400000;
    for (const CategoryCase& c : cases) {
        auto r = report(++hexid, 1000.0, 47.5, 8.5, 3000.0, 200.0);
        r.model = c.model;
        r.firstCallsign = "OTHER";
        r.secondCallsign = "COUPLE";
        const tzo::LiveAircraft& a = newAircraft(r);
        SCOPED_TRACE(c.model);
        EXPECT_EQ(a.category, c.category);
        EXPECT_EQ(a.baseTurnRate, c.turnRate);
        EXPECT_EQ(a.turnRate, c.turnRate);
        EXPECT_EQ(a.altitudeStep, c.altitudeStep);
        EXPECT_EQ(a.towingSpeed, c.towingSpeed);
        EXPECT_EQ(a.recordId, hexid);
        EXPECT_EQ(a.firstCallsign, a.callsign) << "a live aircraft is its own first callsign";
        EXPECT_TRUE(a.secondCallsign.empty());
        EXPECT_EQ(a.state, AircraftState::New);
        EXPECT_EQ(a.movementPhase, tzo::kPhaseNew);
        EXPECT_EQ(a.previousPhase, tzo::kPhaseNew);
        EXPECT_EQ(a.throttleState, 5u);
        EXPECT_EQ(a.flapsState, 4u);
        EXPECT_EQ(a.objectId, 0u);
        EXPECT_EQ(a.standId, 0u);
        EXPECT_EQ(a.lastReportTime, 1000.0);
        EXPECT_EQ(a.heightAboveGround, 2500.0);
        EXPECT_EQ(a.rotationCounter, 1);
        EXPECT_EQ(a.earliestRetiming, 1000);
        EXPECT_EQ(a.latestRetiming, 1000);
        EXPECT_TRUE(std::isnan(a.turnAngle) && std::isnan(a.curveAngle));
        ASSERT_EQ(a.samples.size(), 1u);
        EXPECT_EQ(a.samples.front().dueTick, tzo::kRecordLifeTicks);
        EXPECT_TRUE(a.samples.front().airborne);
    }
}

TEST_F(TrafficTest, copyOfALiveAircraftHasItsOwnSamples)
{
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0));
    const tzo::LiveAircraft copy = a;
    a.samples.front().latitude = 10.0;
    a.samples.push_back({});
    ASSERT_EQ(copy.samples.size(), 1u);
    EXPECT_EQ(copy.samples.front().latitude, 47.5);
}

TEST_F(TrafficTest, sameCallsignAndModelUnderAnotherHexidIsDropped)
{
    auto first = report(0x400001, 1000.0);
    first.callsign = "SWR100";
    newAircraft(first);

    auto twin = report(0x400002, 1000.0, 47.6);
    twin.callsign = "SWR100";
    gf_takeReport(twin);
    EXPECT_EQ(liveAircraft.size(), 1u);

    auto otherModel = twin;
    otherModel.model = "B744";
    gf_takeReport(otherModel);
    EXPECT_EQ(liveAircraft.size(), 2u) << "same callsign, another model: another aircraft";
}

TEST_F(TrafficTest, modelComesFromTheRegistrationOrTheReportIsDropped)
{
    struct Case {
        const char* model;
        const char* registration;
        const char* made; // nullptr: no aircraft
    };
    const Case cases[] = {
        {"", "HB-JNA", "B744"},     // no model: the data base's type
        {"XXXX", "D-AIAB", "A320"}, // unknown model: the registration's type
        {"XXXX", "N12345", nullptr}, // unknown model, a record without a type
        {"XXXX", "", nullptr},
        {"", "", nullptr},
    };
    std::uint32_t hexid = 0x400000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + "/" + c.registration);
        liveAircraft.clear();
        auto r = report(++hexid, 1000.0);
        r.model = c.model;
        r.registration = c.registration;
        gf_takeReport(r);
        if (c.made == nullptr) {
            EXPECT_TRUE(liveAircraft.empty());
        } else {
            ASSERT_EQ(liveAircraft.size(), 1u);
            EXPECT_EQ(liveAircraft[0].model, c.made);
        }
    }
}

TEST_F(TrafficTest, lightHelicopterAndHighPerformanceFollowTheirSwitches)
{
    const std::pair<const char*, tzo::BoolParameterCheckBox*> cases[] = {
        {"C172", &LIGHT_AIRCRAFT}, {"EC35", &HELICOPTERS}, {"F16", &HIGH_PERF_AIRCRAFT}};
    std::uint32_t hexid = 0x400000;
    for (const auto& [model, flag] : cases) {
        SCOPED_TRACE(model);
        for (const bool on : {false, true}) {
            liveAircraft.clear();
            flag->setValue(on);
            auto r = report(++hexid, 1000.0);
            r.model = model;
            gf_takeReport(r);
            EXPECT_EQ(liveAircraft.size(), on ? 1u : 0u);
        }
    }
}

TEST_F(TrafficTest, newAircraftAreRefusedJustAboveTheParkAirport)
{
    parkAirportElevationFt.store(400.0);
    const std::pair<double, bool> cases[] = {{480.0, false}, {0.0, true}, {530.0, true}, {270.0, true}};
    std::uint32_t hexid = 0x400000;
    for (const auto& [altitude, made] : cases) {
        SCOPED_TRACE(altitude);
        liveAircraft.clear();
        gf_takeReport(report(++hexid, 1000.0, 47.5, 8.5, altitude, 140.0));
        EXPECT_EQ(liveAircraft.size(), made ? 1u : 0u);
    }
    parkAirportElevationFt.store(kNoParkAirportElevation);
    gf_takeReport(report(++hexid, 1000.0, 47.5, 8.5, 480.0, 140.0));
    EXPECT_EQ(liveAircraft.size(), 2u) << "without a park airport every altitude passes";
}

TEST_F(TrafficTest, bandAlsoKeepsReportsFromAnAircraftNotYetCreated)
{
    parkAirportElevationFt.store(400.0);
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.5, 8.5, 2000.0, 140.0));
    gf_takeReport(report(0x400001, 1010.0, 47.51, 8.5, 480.0, 140.0));
    EXPECT_EQ(a.samples.size(), 1u);
    a.state = AircraftState::InSimulator;
    a.onGround = false;
    a.movementPhase = tzo::kPhaseFlight;
    gf_takeReport(report(0x400001, 1020.0, 47.52, 8.5, 480.0, 140.0));
    EXPECT_EQ(a.samples.size(), 2u) << "an aircraft in the simulator follows its reports into the band";
}

TEST_F(TrafficTest, aThirdQueuedReportWaitsForTheNextTick)
{
    liveTickCounter.store(1); // a tick without the once-a-second requests
    trafficQueue.setIntakeOpen(true);
    for (std::uint32_t i = 1; i <= 3; ++i)
        ASSERT_TRUE(trafficQueue.push(report(0x400000 + i, 1000.0, 47.5 + i * 0.01)));
    gf_liveTraffic();
    EXPECT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(trafficQueue.size(), 1u);
    gf_liveTraffic();
    EXPECT_EQ(liveAircraft.size(), 3u);
}

// Thinning: a second report against the first.
TEST_F(TrafficTest, reportsTooCloseOrWithImplausibleSpeedsAreDropped)
{
    struct Case {
        const char* what;
        double dt;
        double speedBefore;
        double speedAfter;
        bool kept;
    };
    const Case cases[] = {
        {"same stamp", 0.0, 20.0, 20.0, false},
        {"one second", 1.0, 20.0, 20.0, false},
        {"70 to 6 kt", 20.0, 70.0, 6.0, true},
        {"85 to 4 kt", 20.0, 85.0, 4.0, false},
        {"5.5 to 60 kt", 20.0, 5.5, 60.0, false},
        {"4 to 79 kt", 20.0, 4.0, 79.0, true},
    };
    std::uint32_t hexid = 0x400000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tzo::LiveAircraft& a = newAircraft(report(++hexid, 1000.0, 47.5, 8.5, 0.0, c.speedBefore, 90.0));
        // A turn, so that only the rule under test can drop it.
        gf_takeReport(report(hexid, 1000.0 + c.dt, 47.51, 8.5, 0.0, c.speedAfter, 180.0));
        EXPECT_EQ(a.samples.size(), c.kept ? 2u : 1u);
        liveAircraft.clear();
    }
}

TEST_F(TrafficTest, straightLegsKeepOneSamplePer450MetresInTheAirAnd20OnTheGround)
{
    struct Case {
        const char* what;
        double altitude;
        double knots;
        double interval; // seconds between reports
        int reports;
        std::size_t expected;
    };
    // 240 kt for 60 s is 7.4 km: 450 m is 3.64 s, so every third report of
    // one each 1.5 s (4.5 s) is kept. 10 kt: 20 m is 3.89 s, again every
    // third. 1 kt: 20 m would be 39 s, capped at 15 s: every fourth of one
    // each 5 s.
    const Case cases[] = {
        {"flight", 5000.0, 240.0, 1.5, 40, 14},
        {"taxi", 0.0, 10.0, 1.5, 40, 14},
        {"slow taxi", 0.0, 1.0, 5.0, 25, 7},
    };
    std::uint32_t hexid = 0x400000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++hexid;
        const double degreesPerSecond = c.knots * 1852.0 / 3600.0 / kMetresPerDegreeLatitude;
        tzo::LiveAircraft& a = newAircraft(report(hexid, 1000.0, 47.0, 8.5, c.altitude, c.knots, 0.0));
        for (int i = 1; i < c.reports; ++i) {
            const double t = i * c.interval;
            gf_takeReport(report(hexid, 1000.0 + t, 47.0 + t * degreesPerSecond, 8.5, c.altitude, c.knots, 0.0));
        }
        EXPECT_EQ(a.samples.size(), c.expected);
        liveAircraft.clear();
    }
}

TEST_F(TrafficTest, noThinningWhileAManoeuvreRuns)
{
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.0, 8.5, 5000.0, 240.0, 0.0));
    a.manoeuvreCountdown = 5;
    for (int i = 1; i <= 5; ++i)
        gf_takeReport(report(0x400001, 1000.0 + 1.5 * i, 47.0 + 0.002 * i, 8.5, 5000.0, 240.0, 0.0));
    EXPECT_EQ(a.samples.size(), 6u);
}

TEST_F(TrafficTest, aircraftBeingReplacedOrRemovedTakeNoReports)
{
    for (const AircraftState state : {AircraftState::LiveryChange, AircraftState::BeingRemoved}) {
        liveAircraft.clear();
        tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.0, 8.5, 5000.0, 240.0, 0.0));
        a.state = state;
        gf_takeReport(report(0x400001, 1030.0, 47.1, 8.5, 5000.0, 240.0, 45.0));
        EXPECT_EQ(a.samples.size(), 1u);
        EXPECT_EQ(a.lastReportTime, 1000.0);
    }
}
