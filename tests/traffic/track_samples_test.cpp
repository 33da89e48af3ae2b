// Track samples: standing still, stops in a taxi, due ticks, the sample
// limit, the report checks and the watch of an aircraft at its stand.

#include "traffic/removal.hpp"
#include "traffic/track_samples.hpp"
#include "traffic_fixture.hpp"

#include <vector>

using namespace traffictest;
using tzo::AircraftState;
using tzo::TrackSample;

namespace {

constexpr double kMetresPerDegreeLatitude = 1852.0 * 60.0;

// A sample the given metres north of 47.5, 8.5.
TrackSample sampleNorth(double metres, double knots, std::uint32_t due, bool airborne = false)
{
    TrackSample s;
    s.latitude = 47.5 + metres / kMetresPerDegreeLatitude;
    s.longitude = 8.5;
    s.groundSpeed = knots;
    s.dueTick = due;
    s.airborne = airborne;
    s.altitude = airborne ? 3000.0 : 0.0;
    return s;
}

std::vector<std::string> g_ghostRuns;
int g_liveryChanges = 0;

} // namespace

struct Samples : TrafficTest {
    Samples()
    {
        g_ghostRuns.clear();
        g_liveryChanges = 0;
        tzo::gf_liveStepHooks().ghostRule = [](const std::string& c) { g_ghostRuns.push_back(c); };
        tzo::gf_liveStepHooks().startLiveryChange = [](tzo::LiveAircraft&) { ++g_liveryChanges; };
    }

    // A taxiing aircraft in the simulator whose only sample lies at 47.5, 8.5.
    tzo::LiveAircraft& taxiing()
    {
        tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0, 47.5, 8.5, 0.0, 12.0), tzo::kPhaseGround);
        a.samples.front().dueTick = 100;
        return a;
    }
};

TEST_F(Samples, repeatsOnTheGroundBecomeStationaryAndAirborneNearRepeatsAreRefused)
{
    struct Case {
        const char* what;
        double metres;
        double knots;
        bool airborne;
        bool added;
    };
    const Case cases[] = {
        {"exact repeat", 0.0, 5.0, false, true},
        {"10 m at 12 kt", 10.0, 12.0, false, true},
        {"airborne near repeat", 10.0, 150.0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        liveAircraft.clear();
        tzo::LiveAircraft& a = taxiing();
        const TrackSample first = a.samples.front();
        gf_addSample(a, sampleNorth(c.metres, c.knots, 200, c.airborne));
        ASSERT_EQ(a.samples.size(), c.added ? 2u : 1u);
        if (!c.added)
            continue;
        const TrackSample& s = a.samples.back();
        EXPECT_TRUE(s.stationary);
        EXPECT_EQ(s.groundSpeed, 0.0);
        EXPECT_EQ(s.latitude, first.latitude) << "it stands where it stood";
        EXPECT_EQ(s.dueTick, 200u) << "from the time of its own report";
    }
}

TEST_F(Samples, aQueueOfOnlyStandingSamplesKeepsOne)
{
    tzo::LiveAircraft& a = taxiing();
    a.samples.front().stationary = true;
    for (std::uint32_t i = 1; i <= 5; ++i)
        gf_addSample(a, sampleNorth(0.0, 0.0, 100 + 100 * i));
    // Cut down to its front sample, the new one behind it.
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_EQ(a.samples.front().dueTick, 100u);
    EXPECT_EQ(a.samples.back().dueTick, 600u);
}

TEST_F(Samples, aShortTaxiStopIsCutOutAndALongOneThatMovedOnIsKept)
{
    struct Case {
        const char* what;
        std::uint32_t stopTicks;
        std::size_t kept;
    };
    // Moving at due 100 and 200, then standing, then 30 m on.
    const Case cases[] = {{"10 s", 1000, 3}, {"15 s", 1500, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        liveAircraft.clear();
        tzo::LiveAircraft& a = taxiing();
        gf_addSample(a, sampleNorth(30.0, 12.0, 200));
        for (std::uint32_t i = 1; i <= 4; ++i)
            gf_addSample(a, sampleNorth(30.0, 0.0, 200 + c.stopTicks * i / 4));
        ASSERT_EQ(a.samples.size(), 6u);
        gf_addSample(a, sampleNorth(60.0, 12.0, 300 + c.stopTicks));
        EXPECT_EQ(a.samples.size(), c.kept);
        EXPECT_FALSE(a.samples.back().stationary);
    }
}

TEST_F(Samples, dueTicksStrictlyIncrease)
{
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.5, 8.5, 3000.0, 200.0));
    a.samples.front().dueTick = 100;
    const std::uint32_t given[] = {100, 50, 101, 400};
    double metres = 0.0;
    for (const std::uint32_t due : given)
        gf_addSample(a, sampleNorth(metres += 500.0, 200.0, due, true));
    std::vector<std::uint32_t> dues;
    for (const TrackSample& s : a.samples)
        dues.push_back(s.dueTick);
    EXPECT_EQ(dues, (std::vector<std::uint32_t>{100, 101, 102, 103, 400}));
}

TEST_F(Samples, theSampleBeyondTwoHundredGivesTheAircraftUp)
{
    for (const bool created : {false, true}) {
        SCOPED_TRACE(created ? "in the simulator" : "new");
        liveAircraft.clear();
        removalQueue.clear();
        tzo::LiveAircraft& a = created ? taxiing() : newAircraft(report(0x400001, 1000.0));
        a.samples.resize(199, a.samples.front());
        gf_addSample(a, sampleNorth(100.0, 12.0, 5000));
        ASSERT_EQ(a.samples.size(), 200u) << "the 200th is taken";
        gf_addSample(a, sampleNorth(200.0, 12.0, 6000));
        EXPECT_EQ(a.samples.size(), 200u);
        if (created) {
            EXPECT_EQ(a.state, AircraftState::BeingRemoved);
            EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{a.objectId});
            EXPECT_FALSE(a.erase);
        } else {
            EXPECT_TRUE(a.erase);
            EXPECT_TRUE(removalQueue.empty());
        }
    }
}

TEST_F(Samples, namesAndRouteAreFilledInWhileNew)
{
    auto first = report(0x400001, 1000.0);
    first.callsign.clear();
    first.registration.clear();
    tzo::LiveAircraft& a = newAircraft(first);
    auto next = report(0x400001, 1010.0, 47.51, 8.5, 0.0, 0.0, 180.0);
    next.callsign = "SWR9";
    next.registration = "HB-ABC";
    next.departure = "LSZH";
    next.destination = "EGLL";
    gf_takeReport(next);
    EXPECT_EQ(a.callsign, "SWR9");
    EXPECT_EQ(a.registration, "HB-ABC");
    EXPECT_EQ(a.departure, "LSZH");
    EXPECT_EQ(a.destination, "EGLL");
    EXPECT_EQ(a.samples.size(), 2u);
}

TEST_F(Samples, aNewCallsignRenamesTheAircraftAndRunsTheGhostRule)
{
    GUID_CHANGES.setValue(false);
    tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0, 47.5, 8.5, 5000.0, 250.0), tzo::kPhaseFlight, false);
    a.secondCallsign = "COUPLE";
    auto next = report(0x400001, 1010.0, 47.55, 8.5, 5000.0, 250.0);
    next.callsign = "EDW12";
    gf_takeReport(next);
    EXPECT_EQ(a.callsign, "EDW12");
    EXPECT_EQ(a.firstCallsign, "EDW12");
    EXPECT_TRUE(a.secondCallsign.empty());
    EXPECT_EQ(g_ghostRuns, std::vector<std::string>{"EDW12"});
    EXPECT_EQ(a.samples.size(), 2u) << "with GUID_CHANGES off a rename is all";
    EXPECT_TRUE(removalQueue.empty());
}

TEST_F(Samples, aGhostCallsignOfAnotherLiveAircraftIsRefused)
{
    auto owner = report(0x400002, 1000.0, 48.0);
    owner.callsign = "SWR1";
    newAircraft(owner);
    tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0, 47.5, 8.5, 5000.0, 250.0), tzo::kPhaseFlight, false);
    auto next = report(0x400001, 1010.0, 47.55, 8.5, 5000.0, 250.0);
    next.callsign = "SWR1_";
    gf_takeReport(next);
    EXPECT_EQ(a.samples.size(), 1u);
    EXPECT_TRUE(g_ghostRuns.empty());
}

TEST_F(Samples, aRouteChangeOnTheGroundMakesTheAircraftTaxi)
{
    tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0), tzo::kPhasePushBack);
    a.departure = "LSZH";
    a.destination = "EGLL";
    a.heading = 1.25;
    auto next = report(0x400001, 1010.0, 47.51, 8.5, 0.0, 0.0, 180.0);
    next.departure = "LSGG";
    next.destination = "LFPG";
    gf_takeReport(next);
    EXPECT_EQ(a.departure, "LSGG");
    EXPECT_EQ(a.destination, "LFPG");
    EXPECT_EQ(a.movementPhase, tzo::kPhaseGround);
    EXPECT_EQ(a.previousPhase, tzo::kPhasePushBack);
    EXPECT_EQ(a.workingHeading, 1.25);
}

TEST_F(Samples, aFlightReportedBackToTheParkAirportKeepsItsRoute)
{
    parkAirportIata.set("ZRH");
    tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0), tzo::kPhaseGround);
    a.departure = "ZRH";
    a.destination = "LHR";
    auto next = report(0x400001, 1010.0, 47.51, 8.5, 0.0, 0.0, 180.0);
    next.departure = "LHR";
    next.destination = "ZRH";
    gf_takeReport(next);
    EXPECT_EQ(a.departure, "ZRH");
    EXPECT_EQ(a.destination, "LHR");
}

TEST_F(Samples, withGuidChangesANewFlightReplacesTheObjectKeepingItsHeading)
{
    GUID_CHANGES.setValue(true);
    tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0, 47.5, 8.5, 5000.0, 250.0), tzo::kPhaseFlight, false);
    a.heading = 2.0;
    auto next = report(0x400001, 1010.0, 47.55, 8.5, 5000.0, 250.0);
    next.callsign = "EDW12";
    gf_takeReport(next);
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{a.objectId});
    EXPECT_EQ(g_liveryChanges, 1);
    EXPECT_TRUE(a.keepHeading);
    EXPECT_EQ(a.keptHeading, 2.0);
    EXPECT_EQ(a.samples.size(), 1u) << "the report is refused";
}

struct StandWatch : Samples {
    // Parked in the simulator at a stand at 47.5, 8.5, half-span 18.5 m.
    tzo::LiveAircraft& parked()
    {
        tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0), tzo::kPhaseParked);
        a.stand = {47.5, 8.5, 0.0};
        a.standId = 3;
        a.radius = 0.01;
        return a;
    }
};

TEST_F(StandWatch, threeStepsOfThreeMetresLeaveTheStand)
{
    tzo::LiveAircraft& a = parked();
    gf_addSample(a, sampleNorth(0.0, 0.0, 4000));
    EXPECT_TRUE(a.standApproach);
    EXPECT_EQ(a.standApproachReference, 0.0);
    for (const double metres : {4.0, 8.0}) {
        gf_addSample(a, sampleNorth(metres, 2.0, 4000 + static_cast<std::uint32_t>(metres)));
        EXPECT_FALSE(a.leftStand) << metres;
    }
    EXPECT_EQ(a.standApproachCount, 2);
    EXPECT_EQ(a.samples.size(), 1u);
    gf_addSample(a, sampleNorth(12.0, 2.0, 4100));
    EXPECT_TRUE(a.leftStand);
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_FALSE(a.samples.back().stationary);
}

TEST_F(StandWatch, oneStepOfMoreThanTheHalfSpanLeavesTheStand)
{
    tzo::LiveAircraft& a = parked();
    gf_addSample(a, sampleNorth(0.0, 0.0, 4000));
    gf_addSample(a, sampleNorth(20.0, 3.0, 4100));
    EXPECT_TRUE(a.leftStand);
    EXPECT_EQ(a.samples.size(), 2u);
}

TEST_F(StandWatch, aParkedAircraftReportedFarFromItsStandIsRemoved)
{
    struct Case {
        double metres;
        bool removed;
    };
    for (const Case c : {Case{100.0, false}, Case{250.0, true}}) {
        SCOPED_TRACE(c.metres);
        liveAircraft.clear();
        removalQueue.clear();
        tzo::LiveAircraft& a = parked();
        gf_addSample(a, sampleNorth(c.metres, 10.0, 4000));
        EXPECT_EQ(a.state == AircraftState::BeingRemoved, c.removed);
        EXPECT_EQ(removalQueue.size(), c.removed ? 1u : 0u);
        EXPECT_EQ(a.leftStand, !c.removed);
    }
}

TEST_F(StandWatch, aHeavyLeavingSoonAfterParkingCountsAsTowed)
{
    constexpr std::uint32_t kNow = 1000000;
    for (const auto& [minutes, towed] : {std::pair{40u, true}, std::pair{70u, false}}) {
        SCOPED_TRACE(minutes);
        liveAircraft.clear();
        liveTickCounter.store(kNow);
        tzo::LiveAircraft& a = parked();
        a.category = tzo::AircraftCategory::Heavy;
        a.departureLearning = true;
        a.manoeuvreCountdown = 4;
        // A parked sample is due one week after the arrival.
        a.samples.front().dueTick = kNow - minutes * 6000 + 60480000;
        lf_leaveStand(a);
        EXPECT_EQ(a.towed, towed);
        EXPECT_FALSE(a.departureLearning);
        EXPECT_EQ(a.manoeuvreCountdown, 0);
        EXPECT_EQ(a.samples.front().dueTick, kNow + 1);
        EXPECT_EQ(a.earliestRetiming, 3000);
        EXPECT_EQ(a.latestRetiming, 3000);
    }
}

TEST_F(Samples, removingAnAircraftWithoutAnObjectQueuesNothing)
{
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0));
    gf_removeAircraft(a);
    EXPECT_EQ(a.state, AircraftState::BeingRemoved);
    EXPECT_TRUE(removalQueue.empty());
    EXPECT_NE(log().find("===> removing act SWR305   HB-305       A320          with objectId=0 ?"), std::string::npos) << log();
}
