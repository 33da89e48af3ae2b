// The intake of traffic reports: new live aircraft and the thinning of the
// reports of known ones.

#include "traffic_fixture.hpp"

#include <cmath>
#include <numbers>
#include <tuple>

using namespace traffictest;
using tzo::AircraftCategory;

TEST_F(TrafficTest, newReportMakesANewAircraftOfItsModelsCategory)
{
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    HIGH_PERF_AIRCRAFT.setValue(true);
    // The base turn rate of each category in degrees per tick.
    const std::tuple<const char*, AircraftCategory, double> cases[] = {
        {"C172", AircraftCategory::Light, 0.15},    {"C25A", AircraftCategory::Buzjets, 0.10},
        {"A320", AircraftCategory::Large, 0.07},    {"B744", AircraftCategory::Heavy, 0.05},
        {"F16", AircraftCategory::HighPerf, 0.10},  {"EC35", AircraftCategory::Rotorcraft, 0.20},
    };
    std::uint32_t hexid = 0x400000;
    for (const auto& [model, category, degrees] : cases) {
        SCOPED_TRACE(model);
        auto r = report(++hexid, 1000.0, 47.5, 3000.0, 200.0);
        r.model = model;
        r.secondCallsign = "COUPLE";
        const tzo::LiveAircraft& a = newAircraft(r);
        EXPECT_EQ(a.category, category);
        EXPECT_NEAR(a.turnRate, degrees * std::numbers::pi / 180.0, 1e-15);
        EXPECT_EQ(a.recordId, hexid);
    }
    const tzo::LiveAircraft& a = liveAircraft.back();
    EXPECT_EQ(a.firstCallsign, a.callsign) << "a live aircraft is its own first callsign";
    EXPECT_TRUE(a.secondCallsign.empty());
    EXPECT_EQ(a.state, tzo::AircraftState::New);
    EXPECT_EQ(a.heightAboveGround, 2500.0);
    EXPECT_TRUE(std::isnan(a.turnAngle) && std::isnan(a.curveAngle));
    ASSERT_EQ(a.samples.size(), 1u);
    EXPECT_EQ(a.samples.front().dueTick, tzo::kRecordLifeTicks);
}

TEST_F(TrafficTest, reportsThatMakeNoNewAircraft)
{
    for (auto* flag : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
        flag->setValue(false);
    auto first = report(0x400001, 1000.0);
    newAircraft(first);
    struct Case {
        const char* what;
        const char* model;
        const char* registration;
        const char* callsign;
        const char* made; // the model made, nullptr for none
    };
    const Case cases[] = {
        {"same callsign and model", "A320", "HB-X", "SWR305", nullptr},
        {"same callsign, other model", "B744", "HB-X", "SWR305", "B744"},
        {"model from the registration", "", "HB-JNA", "", "B744"},
        {"unknown model, the registration's", "XXXX", "D-AIAB", "", "A320"},
        {"unknown model, record without a type", "XXXX", "N12345", "", nullptr},
        {"unknown model, no registration", "XXXX", "", "", nullptr},
        {"light aircraft while switched off", "C172", "", "", nullptr},
        {"rotorcraft while switched off", "EC35", "", "", nullptr},
        {"high performance while switched off", "F16", "", "", nullptr},
    };
    std::uint32_t hexid = 0x400100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = report(++hexid, 1000.0, 48.0);
        r.model = c.model;
        r.registration = c.registration;
        r.callsign = c.callsign;
        gf_takeReport(r);
        EXPECT_EQ(liveAircraft.size(), c.made ? 2u : 1u);
        if (c.made) {
            EXPECT_EQ(liveAircraft[1].model, c.made);
        }
        liveAircraft.resize(1);
    }
}

TEST_F(TrafficTest, nearTheParkAirportsElevationNoAircraftIsMadeOrFedBeforeItIsCreated)
{
    parkAirportElevationFt.store(400.0);
    std::uint32_t hexid = 0x400000;
    for (const auto& [altitude, made] : {std::pair{480.0, false}, {0.0, true}, {530.0, true}, {270.0, true}}) {
        SCOPED_TRACE(altitude);
        gf_takeReport(report(++hexid, 1000.0, 47.5, altitude, 140.0));
        EXPECT_EQ(liveAircraft.size(), made ? 1u : 0u);
        liveAircraft.clear();
    }
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.5, 2000.0, 140.0));
    gf_takeReport(report(0x400001, 1010.0, 47.51, 480.0, 140.0));
    EXPECT_EQ(a.samples.size(), 1u);
    a.state = tzo::AircraftState::InSimulator;
    a.movementPhase = tzo::kPhaseFlight;
    gf_takeReport(report(0x400001, 1020.0, 47.52, 480.0, 140.0));
    EXPECT_EQ(a.samples.size(), 2u) << "an aircraft in the simulator follows its reports into the band";

    parkAirportElevationFt.store(kNoParkAirportElevation);
    gf_takeReport(report(0x400002, 1000.0, 47.5, 480.0, 140.0));
    EXPECT_EQ(liveAircraft.size(), 2u) << "without a park airport every altitude passes";
}

TEST_F(TrafficTest, aThirdQueuedReportWaitsForTheNextTick)
{
    liveTickCounter.store(1); // a tick without the once-a-second requests
    trafficQueue.setIntakeOpen(true);
    for (std::uint32_t i = 1; i <= 3; ++i)
        trafficQueue.push(report(0x400000 + i, 1000.0, 47.5 + i * 0.01));
    gf_liveTraffic();
    EXPECT_EQ(liveAircraft.size(), 2u);
    gf_liveTraffic();
    EXPECT_EQ(liveAircraft.size(), 3u);
}

TEST_F(TrafficTest, reportsTooCloseOrWithImplausibleSpeedsAreDropped)
{
    const std::tuple<const char*, double, double, double, bool> cases[] = {
        {"same stamp", 0.0, 20.0, 20.0, false},   {"one second", 1.0, 20.0, 20.0, false},
        {"70 to 6 kt", 20.0, 70.0, 6.0, true},    {"85 to 4 kt", 20.0, 85.0, 4.0, false},
        {"5.5 to 60 kt", 20.0, 5.5, 60.0, false}, {"4 to 79 kt", 20.0, 4.0, 79.0, true},
        {"150 to 7 kt", 20.0, 150.0, 7.0, false}, {"80 to 8 kt", 20.0, 80.0, 8.0, false},
        {"79 to 7 kt", 20.0, 79.0, 7.0, true},
    };
    for (const auto& [what, dt, before, after, kept] : cases) {
        SCOPED_TRACE(what);
        tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.5, 0.0, before));
        // A turn, so that only the rule under test can drop it.
        gf_takeReport(report(0x400001, 1000.0 + dt, 47.51, 0.0, after, 180.0));
        EXPECT_EQ(a.samples.size(), kept ? 2u : 1u);
        // A second report at the refused speed is believed: the aircraft
        // did change its speed between two reports.
        gf_takeReport(report(0x400001, 1000.0 + dt + 20.0, 47.52, 0.0, after, 0.0));
        EXPECT_EQ(a.samples.size(), kept ? 3u : 2u);
        liveAircraft.clear();
    }
}

TEST_F(TrafficTest, straightLegsKeepOneSamplePer450MetresInTheAirAnd20OnTheGround)
{
    // 240 kt: 450 m take 3.64 s, so of reports 1.5 s apart every third is
    // kept; 10 kt: 20 m take 3.89 s, again every third; 1 kt: 20 m would
    // take 39 s, capped at 15 s, so every fourth of reports 5 s apart.
    // While a manoeuvre runs every report is kept.
    const std::tuple<const char*, double, double, double, int, int, std::size_t> cases[] = {
        {"flight", 5000.0, 240.0, 1.5, 40, 0, 14},
        {"taxi", 0.0, 10.0, 1.5, 40, 0, 14},
        {"slow taxi", 0.0, 1.0, 5.0, 25, 0, 7},
        {"flight in a manoeuvre", 5000.0, 240.0, 1.5, 40, 5, 40},
    };
    for (const auto& [what, altitude, knots, interval, reports, manoeuvre, expected] : cases) {
        SCOPED_TRACE(what);
        const double degreesPerSecond = knots / 3600.0 / 60.0;
        tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.0, altitude, knots, 0.0));
        a.manoeuvreCountdown = manoeuvre;
        for (int i = 1; i < reports; ++i) {
            const double t = i * interval;
            gf_takeReport(report(0x400001, 1000.0 + t, 47.0 + t * degreesPerSecond, altitude, knots, 0.0));
        }
        EXPECT_EQ(a.samples.size(), expected);
        liveAircraft.clear();
    }
}

TEST_F(TrafficTest, aircraftBeingReplacedOrRemovedTakeNoReports)
{
    for (const auto state : {tzo::AircraftState::LiveryChange, tzo::AircraftState::BeingRemoved}) {
        tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.0, 5000.0, 240.0));
        a.state = state;
        gf_takeReport(report(0x400001, 1030.0, 47.1, 5000.0, 240.0, 45.0));
        EXPECT_EQ(a.samples.size(), 1u);
        liveAircraft.clear();
    }
}
