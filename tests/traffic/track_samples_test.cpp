// Track samples: standing still, stops in a taxi, due ticks, the sample
// limit, the report checks and the watch of an aircraft at its stand.

#include "traffic_fixture.hpp"

#include "simconnect/sim_ids.hpp"

#include <algorithm>

#include <vector>

using namespace traffictest;
using tzo::AircraftState;
using tzo::TrackSample;

namespace {

// A sample the given metres north of 47.5, 8.5.
TrackSample north(double metres, double knots, std::uint32_t due, bool airborne = false)
{
    TrackSample s;
    s.latitude = 47.5 + metres / 111120.0;
    s.longitude = 8.5;
    s.groundSpeed = knots;
    s.dueTick = due;
    s.airborne = airborne;
    return s;
}

std::vector<std::string> g_ghostRuns;
int g_liveryChanges = 0;
int g_takeOffs = 0;

} // namespace

struct Samples : TrafficTest {
    Samples()
    {
        g_ghostRuns.clear();
        g_liveryChanges = 0;
        tzo::gf_liveStepHooks().ghostRule = [](const std::string& c) { g_ghostRuns.push_back(c); };
        tzo::gf_liveStepHooks().startLiveryChange = [](tzo::LiveAircraft&) { ++g_liveryChanges; };
        g_takeOffs = 0;
        tzo::gf_liveStepHooks().afterTakeOff = [](tzo::LiveAircraft&) { ++g_takeOffs; };
    }
    ~Samples() override { tzo::gf_liveStepHooks().afterTakeOff = ::lf_afterTakeOff; }
    // In the simulator on the ground, its one sample at 47.5, 8.5, due at 100.
    tzo::LiveAircraft& taxiing(std::uint32_t phase = tzo::kPhaseGround)
    {
        tzo::LiveAircraft& a = inSimulator(report(0x400001, 1000.0, 47.5, 0.0, 12.0), phase);
        a.samples.front().dueTick = 100;
        return a;
    }
    tzo::LiveAircraft& flying() { return inSimulator(report(0x400001, 1000.0, 47.5, 5000.0, 250.0), tzo::kPhaseFlight); }
    // A report of the same aircraft 10 s later, in a turn.
    static tzo::TrafficRecord next(double latitude = 47.51, double altitude = 0.0)
    {
        return report(0x400001, 1010.0, latitude, altitude, altitude == 0.0 ? 0.0 : 250.0, 180.0);
    }
};

TEST_F(Samples, repeatsOnTheGroundBecomeStationaryAndAirborneNearRepeatsAreRefused)
{
    const std::tuple<const char*, double, double, bool> cases[] = {
        {"exact repeat", 0.0, 5.0, false}, {"10 m at 12 kt", 10.0, 12.0, false}, {"airborne, 10 m", 10.0, 150.0, true}};
    for (const auto& [what, metres, knots, airborne] : cases) {
        SCOPED_TRACE(what);
        tzo::LiveAircraft& a = taxiing();
        gf_addSample(a, north(metres, knots, 200, airborne));
        ASSERT_EQ(a.samples.size(), airborne ? 1u : 2u);
        if (!airborne) {
            EXPECT_TRUE(a.samples.back().stationary);
            EXPECT_EQ(a.samples.back().groundSpeed, 0.0);
            EXPECT_EQ(a.samples.back().latitude, 47.5) << "it stands where it stood";
            EXPECT_EQ(a.samples.back().dueTick, 200u);
        }
        liveAircraft.clear();
    }
}

TEST_F(Samples, aQueueOfOnlyStandingSamplesShrinksToOne)
{
    tzo::LiveAircraft& a = taxiing();
    a.samples.front().stationary = true;
    for (std::uint32_t i = 1; i <= 5; ++i)
        gf_addSample(a, north(0.0, 0.0, 100 + 100 * i));
    ASSERT_EQ(a.samples.size(), 2u) << "its front sample and the new one";
    EXPECT_EQ(a.samples.back().dueTick, 600u);
}

TEST_F(Samples, aShortTaxiStopIsCutOutAndALongOneThatMovedOnIsKept)
{
    // Moving at due 100 and 200, four standing samples, then 30 m on.
    for (const auto& [stopTicks, kept] : {std::pair{1000u, 3u}, {1500u, 7u}}) {
        SCOPED_TRACE(stopTicks);
        tzo::LiveAircraft& a = taxiing();
        gf_addSample(a, north(30.0, 12.0, 200));
        for (std::uint32_t i = 1; i <= 4; ++i)
            gf_addSample(a, north(30.0, 0.0, 200 + stopTicks * i / 4));
        gf_addSample(a, north(60.0, 12.0, 300 + stopTicks));
        EXPECT_EQ(a.samples.size(), kept);
        liveAircraft.clear();
    }
}

TEST_F(Samples, dueTicksStrictlyIncrease)
{
    tzo::LiveAircraft& a = newAircraft(report(0x400001, 1000.0, 47.5, 3000.0, 200.0));
    a.samples.front().dueTick = 100;
    double metres = 0.0;
    for (const std::uint32_t due : {100u, 50u, 101u, 400u})
        gf_addSample(a, north(metres += 500.0, 200.0, due, true));
    std::vector<std::uint32_t> dues;
    for (const TrackSample& s : a.samples)
        dues.push_back(s.dueTick);
    EXPECT_EQ(dues, (std::vector<std::uint32_t>{100, 101, 102, 103, 400}));
}

TEST_F(Samples, theSampleBeyondTwoHundredGivesTheAircraftUp)
{
    for (const bool created : {false, true}) {
        SCOPED_TRACE(created);
        tzo::LiveAircraft& a = created ? taxiing() : newAircraft(report(0x400001, 1000.0));
        a.samples.resize(199, a.samples.front());
        gf_addSample(a, north(100.0, 12.0, 5000));
        ASSERT_EQ(a.samples.size(), 200u);
        gf_addSample(a, north(200.0, 12.0, 6000));
        EXPECT_EQ(a.samples.size(), 200u);
        EXPECT_EQ(a.erase, !created);
        EXPECT_EQ(a.state, created ? AircraftState::BeingRemoved : AircraftState::New);
        EXPECT_EQ(removalQueue.size(), created ? 1u : 0u);
        liveAircraft.clear();
    }
}

TEST_F(Samples, namesAndRouteAreFilledInWhileNew)
{
    auto first = report(0x400001, 1000.0);
    first.callsign.clear();
    first.registration.clear();
    tzo::LiveAircraft& a = newAircraft(first);
    auto r = next();
    r.departure = "LSZH";
    r.destination = "EGLL";
    gf_takeReport(r);
    EXPECT_EQ(a.callsign + "/" + a.firstCallsign, "SWR305/SWR305");
    EXPECT_EQ(a.registration, "HB-305");
    EXPECT_EQ(a.departure + a.destination, "LSZHEGLL");
}

TEST_F(Samples, aNewCallsignRenamesTheAircraftOrMakesANewFlight)
{
    for (const bool guidChanges : {false, true}) {
        SCOPED_TRACE(guidChanges);
        GUID_CHANGES.setValue(guidChanges);
        tzo::LiveAircraft& a = flying();
        a.heading = 2.0;
        a.secondCallsign = "COUPLE";
        auto r = next(47.55, 5000.0);
        r.callsign = "EDW12";
        gf_takeReport(r);
        EXPECT_EQ(a.callsign + "/" + a.firstCallsign + "/" + a.secondCallsign, "EDW12/EDW12/");
        EXPECT_EQ(g_ghostRuns.back(), "EDW12");
        // With GUID_CHANGES the object is replaced, its heading kept.
        EXPECT_EQ(a.samples.size(), guidChanges ? 1u : 2u);
        EXPECT_EQ(removalQueue, guidChanges ? std::deque<std::uint32_t>{a.objectId} : std::deque<std::uint32_t>{});
        EXPECT_EQ(g_liveryChanges, guidChanges ? 1 : 0);
        EXPECT_EQ(a.keepHeading, guidChanges);
        EXPECT_EQ(a.keptHeading, guidChanges ? 2.0 : 0.0);
        liveAircraft.clear();
    }
}

TEST_F(Samples, aGhostCallsignIsRefusedOnlyWhileItsOwnerStays)
{
    // The owner leaving the simulator owns its callsign no more.
    GUID_CHANGES.setValue(false);
    for (const auto ownerState : {tzo::AircraftState::InSimulator, tzo::AircraftState::BeingRemoved}) {
        tzo::LiveAircraft& owner = inSimulator(report(0x400002, 1000.0, 47.6, 5000.0, 250.0), tzo::kPhaseFlight);
        owner.callsign = "EDW12";
        owner.state = ownerState;
        tzo::LiveAircraft& a = flying();
        auto r = next(47.55, 5000.0);
        r.callsign = "EDW12_";
        const bool taken = gf_reportChecks(a, r);
        EXPECT_EQ(taken, ownerState == tzo::AircraftState::BeingRemoved);
        liveAircraft.clear();
    }
}

TEST_F(Samples, aRouteChangeOnTheGroundMakesTheAircraftTaxi)
{
    tzo::LiveAircraft& a = taxiing(tzo::kPhasePushBack);
    a.departure = "LSZH";
    a.destination = "EGLL";
    a.heading = 1.25;
    auto r = next();
    r.departure = "LSGG";
    r.destination = "LFPG";
    gf_takeReport(r);
    EXPECT_EQ(a.departure + a.destination, "LSGGLFPG");
    EXPECT_EQ(a.movementPhase, tzo::kPhaseGround);
    EXPECT_EQ(a.previousPhase, tzo::kPhasePushBack);
    EXPECT_EQ(a.workingHeading, 1.25);
}

struct StandWatch : Samples {
    // Parked in the simulator at a stand at 47.5, 8.5, half-span 18.5 m;
    // the first report there stores the reference distance.
    tzo::LiveAircraft& parked()
    {
        tzo::LiveAircraft& a = taxiing(tzo::kPhaseParked);
        a.stand = {47.5, 8.5, 0.0};
        a.radius = 0.01;
        gf_addSample(a, north(0.0, 0.0, 4000));
        return a;
    }
};

TEST_F(StandWatch, threeStepsOfThreeMetresOrOneOfAHalfSpanLeaveTheStand)
{
    tzo::LiveAircraft& a = parked();
    for (const double metres : {4.0, 8.0}) {
        gf_addSample(a, north(metres, 2.0, 4100));
        EXPECT_FALSE(a.leftStand) << metres;
    }
    EXPECT_EQ(a.samples.size(), 1u);
    gf_addSample(a, north(12.0, 2.0, 4100));
    EXPECT_TRUE(a.leftStand);
    EXPECT_EQ(a.samples.size(), 2u);

    liveAircraft.clear();
    tzo::LiveAircraft& b = parked();
    gf_addSample(b, north(20.0, 3.0, 4100));
    EXPECT_TRUE(b.leftStand);
}

TEST_F(StandWatch, aParkedAircraftReportedMoreThan200MetresAwayIsRemoved)
{
    for (const auto& [metres, removed] : {std::pair{100.0, false}, {250.0, true}}) {
        SCOPED_TRACE(metres);
        tzo::LiveAircraft& a = parked();
        gf_addSample(a, north(metres, 10.0, 4100));
        EXPECT_EQ(a.state == AircraftState::BeingRemoved, removed);
        EXPECT_EQ(a.leftStand, !removed);
        liveAircraft.clear();
    }
}

TEST_F(StandWatch, aHeavyLeavingSoonAfterParkingCountsAsTowed)
{
    constexpr std::uint32_t kNow = 1000000;
    liveTickCounter.store(kNow);
    for (const auto& [minutes, towed] : {std::pair{40u, true}, {70u, false}}) {
        SCOPED_TRACE(minutes);
        tzo::LiveAircraft& a = parked();
        a.category = tzo::AircraftCategory::Heavy;
        a.departureLearning = true;
        a.manoeuvreCountdown = 4;
        // A parked sample is due one week after the arrival.
        a.samples.front().dueTick = kNow - minutes * 6000 + 60480000;
        lf_leaveStand(a);
        EXPECT_EQ(a.towed, towed);
        EXPECT_EQ(a.manoeuvreCountdown, 0);
        EXPECT_EQ(a.samples.front().dueTick, kNow + 1);
        liveAircraft.clear();
    }
}

// A landed aircraft whose reports climb away goes around, spoilers in; once
// its run is over it is flying again, and its next take-off run is seen as
// one (not taken for another go-around, its reports not filtered as an
// approach's).
TEST_F(Samples, aGoAroundAndALaterTakeOffOfTheSameAircraft)
{
    tzo::LiveAircraft& a = taxiing();
    a.landed = true;
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    gf_addSample(a, north(60.0, 130.0, 200, true));
    gf_addSample(a, north(120.0, 135.0, 300, true));
    EXPECT_TRUE(a.takeOffRun) << "the go-around begins a take-off run";
    EXPECT_EQ(g_takeOffs, 0);
    {
        std::lock_guard lock(simQueueMutex);
        const auto spoilers = std::find_if(eventQueue.begin(), eventQueue.end(),
                                           [](const tzo::EventCommand& e) { return e.eventId == tzo::SPOILERS_SET; });
        ASSERT_NE(spoilers, eventQueue.end());
        EXPECT_EQ(spoilers->value, 0u) << "it climbs away with its spoilers in";
    }
    // The climb above the approach height ends the run; the aircraft comes
    // back to the ground and rolls for its next take-off.
    a.takeOffRun = false;
    a.samples.resize(1);
    gf_addSample(a, north(200.0, 45.0, 400));
    gf_addSample(a, north(300.0, 50.0, 500));
    EXPECT_EQ(g_takeOffs, 1) << "the later take-off is seen";
}
