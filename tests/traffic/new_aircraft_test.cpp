// The new-aircraft step: when a new aircraft is looked at, what holds it back
// or gives it up, its names, its livery, and where it is placed.

#include "stand_fixture.hpp"
#include "airports/airport_services.hpp"
#include "liveries/liveries_not_created.hpp"
#include "traffic/new_aircraft.hpp"
#include "traffic/removal.hpp"

#include <numbers>

using namespace traffictest;
using standtest::at;
using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::TrackSample;

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

TrackSample sample(tzo::LatLon p, double altitude, double knots, std::uint32_t due, bool stationary = false)
{
    TrackSample s;
    s.latitude = p.latitude;
    s.longitude = p.longitude;
    s.altitude = altitude;
    s.airborne = altitude != 0.0;
    s.groundSpeed = knots;
    s.track = 90.0;
    s.dueTick = due;
    s.stationary = stationary;
    return s;
}

std::string g_reserved;

struct NewAircraft : StandTest {
    NewAircraft()
    {
        parkAirportCode.set("LSZH");
        parkAirportPosition.latitude.store(standtest::kReferenceLatitude);
        parkAirportPosition.longitude.store(standtest::kReferenceLongitude);
        parkAirportActive.store(true);
        gf_setReservedStandSource([] { return g_reserved; });
        userOnGround.store(false);
        // The user far away, on the ground.
        userAircraft.latitude = 40.0;
        userAircraft.longitude = 0.0;
    }
    ~NewAircraft() override
    {
        gf_setReservedStandSource(nullptr);
        g_reserved.clear();
        parkAirportActive.store(false);
        for (auto* f : {&COLLISION_USER_AIR, &COLLISION_USER_GND})
            f->setValue(f->defaultValue());
        MAX_LIVE.setValue(MAX_LIVE.defaultValue());
        BLOCK_CALLSIGN.setValue("");
        tzo::gf_resetLiveriesNotCreated();
    }

    // A new aircraft with these samples whose livery is remembered.
    LiveAircraft& prepared(std::uint32_t hexid, std::vector<TrackSample> samples, bool livery = true)
    {
        LiveAircraft& a = newAircraft(report(hexid, 100.0));
        a.samples.assign(samples.begin(), samples.end());
        if (livery)
            liveLiveryCache[hexid] = "Swiss A320";
        return a;
    }
    LiveAircraft& airborne(std::uint32_t hexid, double vs = 0.0)
    {
        auto s = sample(at(0, 0), 5000.0, 250.0, 5000);
        s.verticalSpeed = vs;
        return prepared(hexid, {s, sample(at(0, 3000), 5000.0, 250.0, 5500)});
    }
    static void step(LiveAircraft& a, std::uint32_t tick)
    {
        liveTickCounter.store(tick);
        lf_newAircraftStep(a);
    }
};

TEST_F(NewAircraft, looksAtTheFirstSampleOneOrThreeSecondsBeforeItIsDue)
{
    // Airborne or standing: 100 ticks ahead; rolling on the ground: 300.
    for (const auto& [altitude, knots, wait, act] :
         {std::tuple{5000.0, 250.0, 4899u, 4900u}, {0.0, 0.0, 4899u, 4900u}, {0.0, 12.0, 4699u, 4700u}}) {
        LiveAircraft& a = prepared(0x400001, {sample(at(0, 0), altitude, knots, 5000)});
        step(a, wait);
        EXPECT_FALSE(a.erase);
        step(a, act);
        EXPECT_TRUE(a.erase) << "one sample only";
        liveAircraft.clear();
    }
}

TEST_F(NewAircraft, mixedQueuesAndABusyCreateQueueLoseTheOldestSample)
{
    LiveAircraft& a = prepared(0x400001, {sample(at(0, 0), 0.0, 0.0, 5000), sample(at(0, 0), 900.0, 140.0, 5100),
                                          sample(at(0, 500), 1200.0, 150.0, 5200)});
    step(a, 4950);
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_EQ(a.state, AircraftState::New);

    liveCreateQueue.resize(11);
    step(a, 5050);
    EXPECT_EQ(a.samples.size(), 1u);
    EXPECT_EQ(a.state, AircraftState::New);
    liveCreateQueue.resize(10);
    a.samples.push_back(sample(at(0, 900), 1500.0, 150.0, 5300));
    step(a, 5150);
    EXPECT_EQ(a.state, AircraftState::CreateRequested);
}

TEST_F(NewAircraft, theLiveLimitCountsOnlyWhenSetBelowItsDefault)
{
    for (int i = 0; i < 50; ++i)
        inSimulator(report(0x500000 + i, 100.0, 47.5 + i * 0.01, 5000.0, 250.0), tzo::kPhaseFlight);
    userAircraft.latitude = 47.5;
    userAircraft.longitude = 8.5;
    LiveAircraft& far = airborne(0x400001);
    far.samples[0].latitude = 49.0;
    step(far, 4950);
    EXPECT_EQ(far.state, AircraftState::CreateRequested) << "MAX_LIVE 300 limits nothing";

    MAX_LIVE.setValue(50);
    LiveAircraft& farther = airborne(0x400002);
    farther.samples[0].latitude = 49.0;
    step(farther, 4950);
    EXPECT_TRUE(farther.erase);

    LiveAircraft& near = airborne(0x400003);
    near.samples[0].latitude = 47.5;
    step(near, 4950);
    EXPECT_EQ(near.state, AircraftState::CreateRequested);
    EXPECT_EQ(liveAircraft[49].state, AircraftState::BeingRemoved) << "the farthest one goes";
    EXPECT_EQ(removalQueue.size(), 1u);
}

TEST_F(NewAircraft, callsignsThatCannotBeShownAreGivenUp)
{
    BLOCK_CALLSIGN.setValue("SWR1");
    // Callsign, registration, erased, callsign and airline afterwards.
    for (const auto& [callsign, registration, erased, finalCallsign, airline] :
         {std::tuple{"SWR1", "HB-X", true, "SWR1", ""}, {"ABCDEFGHI", "HB-X", true, "", ""},
          {"", "", true, "", ""}, {"@@@@@@@@", "", true, "", ""}, {"@@@@@@@@", "D-AIAB", false, "D-AIAB", "DLH"},
          {"ABCDEFGH", "N99", false, "ABCDEFGH", "PVT"}, {"EZY12", "N99", false, "EZY12", "EZY"}}) {
        LiveAircraft& a = airborne(0x400001);
        a.callsign = callsign;
        a.registration = registration;
        a.airline.clear();
        step(a, 4950);
        EXPECT_EQ(a.erase, erased) << callsign;
        if (!erased) {
            EXPECT_EQ(a.callsign, finalCallsign);
            EXPECT_EQ(a.airline, airline);
        }
        liveAircraft.clear();
        idsToCreate.clear();
    }
}

TEST_F(NewAircraft, theUsersPathHoldsAircraftBack)
{
    COLLISION_USER_AIR.setValue(true);
    COLLISION_USER_GND.setValue(true);
    const tzo::LatLon user = at(0, 0);
    // User on ground, the aircraft's front sample east of the user by metres
    // (airborne: feet above), held before, held afterwards (popped).
    struct Case {
        bool userGround;
        double east;
        double altitude;
        double knots;
        bool heldBefore;
        bool popped;
    };
    for (const Case& c : {Case{true, 140, 0, 0, false, true}, Case{true, 160, 0, 0, false, false},
                          Case{true, 490, 0, 0, true, true}, Case{true, 510, 0, 0, true, false},
                          Case{true, 510, 0, 9, true, true}, Case{false, 1000, 0, 0, true, true},
                          Case{false, 2700, 0, 0, false, true}, Case{false, 2800, 0, 0, false, false},
                          Case{false, 11000, 3500, 250, false, true}, Case{false, 11300, 3500, 250, false, false}}) {
        userOnGround.store(c.userGround);
        userAircraft.latitude = user.latitude;
        userAircraft.longitude = user.longitude;
        userAircraft.heading = std::numbers::pi / 2; // east
        userAircraft.altitude = 1000.0;
        userAircraft.altitudeAboveGround = c.userGround ? 0.0 : 900.0;
        userAircraft.groundSpeed = 0.0;
        auto first = sample(at(0, c.east), c.altitude, c.knots, 5000);
        first.track = 270.0; // towards the user
        LiveAircraft& a = prepared(0x400001, {first, sample(at(0, c.east - 100), c.altitude, 10.0, 5500),
                                              sample(at(0, c.east - 200), c.altitude, 10.0, 5600)});
        a.heldForUser = c.heldBefore;
        step(a, 4950);
        EXPECT_EQ(a.samples.size() == 2, c.popped) << c.east << " " << c.userGround;
        liveAircraft.clear();
        idsToCreate.clear();
    }
}

TEST_F(NewAircraft, aTrackOfAnySizeIsJudgedAtOnceOnTheUsersPath)
{
    // The user airborne near an airborne newcomer whose track no report can
    // hold (it came in before the reader's bounds): judged, not looped over.
    COLLISION_USER_AIR.setValue(true);
    userOnGround.store(false);
    userAircraft.latitude = at(0, 0).latitude;
    userAircraft.longitude = at(0, 0).longitude;
    userAircraft.altitude = 5000.0;
    LiveAircraft& a = airborne(0x400001);
    a.samples[0].track = 1e20;
    step(a, 4950);
    EXPECT_TRUE(a.heldForUser || a.state == AircraftState::CreateRequested);
}

TEST_F(NewAircraft, inTheAirWithThePitchOfItsClimbOrHalfItsDescent)
{
    for (const auto& [vs, pitch] : {std::pair{3000.0, -0.05235987755982989 - 2400.0 / 600.0 * 2.2 * kDegree},
                                    {-4000.0, -0.05235987755982989 + 1500.0 / 600.0 * 2.2 * kDegree}}) {
        LiveAircraft& a = airborne(0x400001, vs);
        step(a, 4950);
        EXPECT_EQ(a.movementPhase, tzo::kPhaseFlight);
        EXPECT_NEAR(a.pitch, pitch, 1e-12);
        EXPECT_NEAR(a.heading, std::numbers::pi / 2, 1e-3);
        EXPECT_EQ(a.headingAtCreation, 0.0);
        EXPECT_EQ(idsToCreate, std::vector<std::uint32_t>{0x400001});
        liveAircraft.clear();
        idsToCreate.clear();
    }
}

TEST_F(NewAircraft, onTheGroundAwayFromStandsItTaxisAlongItsTrack)
{
    LiveAircraft& a = prepared(0x400001, {sample(at(0, 0), 0.0, 15.0, 5000), sample(at(100, 0), 0.0, 15.0, 5100)});
    step(a, 4950);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseGround);
    EXPECT_NEAR(a.pitch, 0.010471975511965976, 1e-15);
    EXPECT_NEAR(a.heading, 0.0, 1e-6) << "northwards to the second sample";
    EXPECT_EQ(a.headingAtCreation, a.heading);
    EXPECT_EQ(newLiveIds.back(), 0x400001u);
}

TEST_F(NewAircraft, standingFortyMetresFromAStandItIsParkedThere)
{
    stands.stand("B1", 0, 0, 25.0).stand("B2", 0, 200, 25.0);
    stands.install();
    parkPositions[0].heading = 1.0;
    LiveAircraft& a = prepared(0x400001, {sample(at(40, 0), 0.0, 0.0, 5000, true), sample(at(40, 0), 0.0, 0.0, 5100, true),
                                          sample(at(40, 0), 0.0, 0.0, 5200, true)});
    a.radius = tzo::gf_metresToNm(17.0);
    step(a, 4950);
    EXPECT_EQ(a.movementPhase, tzo::kPhaseParked);
    EXPECT_EQ(a.standId, 1u);
    EXPECT_TRUE(parkPositions[0].occupied);
    EXPECT_DOUBLE_EQ(a.heading, 1.0);
    ASSERT_EQ(a.samples.size(), 1u);
    EXPECT_DOUBLE_EQ(a.latitude, parkPositions[0].latitude);
}

// Its later reports, standing where the first ones stood, keep it on its
// stand; only reports that move off it take it away.
TEST_F(NewAircraft, reportsStandingStillFortyMetresOffItsStandKeepItThere)
{
    stands.stand("B1", 0, 0, 25.0).stand("B2", 0, 200, 25.0);
    stands.install();
    LiveAircraft& a = prepared(0x400001, {sample(at(40, 0), 0.0, 0.0, 5000, true), sample(at(40, 0), 0.0, 0.0, 5100, true),
                                          sample(at(40, 0), 0.0, 0.0, 5200, true)});
    a.radius = tzo::gf_metresToNm(17.0);
    step(a, 4950);
    ASSERT_EQ(a.movementPhase, tzo::kPhaseParked);
    a.state = AircraftState::InSimulator;
    a.objectId = 1001;
    for (std::uint32_t due = 7200; due <= 15200; due += 2000)
        gf_addSample(a, sample(at(40, 0), 0.0, 0.0, due, true));
    EXPECT_FALSE(a.leftStand);
    EXPECT_EQ(a.samples.size(), 1u);
    EXPECT_TRUE(parkPositions[0].occupied);
    gf_addSample(a, sample(at(70, 0), 0.0, 6.0, 17200));
    EXPECT_TRUE(a.leftStand) << "30 m further out than its reports stood";
}

TEST_F(NewAircraft, theReservedStandAndTheUsersStandAreNotGiven)
{
    stands.stand("B1", 0, 0, 25.0).stand("B2", 0, 200, 25.0);
    stands.install();
    COLLISION_USER_GND.setValue(false); // else held back first, so near the user
    for (const auto& [reserved, userEast] : {std::pair{"B1", 5000.0}, {"", 0.0}}) {
        g_reserved = reserved;
        userOnGround.store(true);
        const tzo::LatLon u = at(0, userEast);
        userAircraft.latitude = u.latitude;
        userAircraft.longitude = u.longitude;
        LiveAircraft& a = prepared(0x400001, {sample(at(0, 0), 0.0, 0.0, 5000, true), sample(at(0, 0), 0.0, 0.0, 5100, true)});
        a.radius = tzo::gf_metresToNm(17.0);
        step(a, 4950);
        EXPECT_TRUE(a.erase) << reserved;
        EXPECT_FALSE(parkPositions[0].occupied);
        liveAircraft.clear();
    }
}

TEST_F(NewAircraft, aRememberedLiveryIsTakenUnlessTheSimulatorRefusedIt)
{
    LiveAircraft& a = airborne(0x400001);
    step(a, 4950);
    EXPECT_EQ(a.liveryTitle, "Swiss A320");

    LiveAircraft refused;
    refused.liveryTitle = "Swiss A320";
    tzo::gf_liveryNotCreated(refused);
    LiveAircraft& b = airborne(0x400002);
    liveLiveryCache[0x400002] = "Swiss A320";
    step(b, 4950);
    EXPECT_TRUE(b.liveryTitle.empty());
    EXPECT_EQ(b.state, AircraftState::New);
    EXPECT_FALSE(liveLiveryCache.contains(0x400002));
}

TEST_F(NewAircraft, anAircraftWithoutLiveryIsListedAndThenGivenUp)
{
    LiveAircraft& a = prepared(0x400001, {sample(at(0, 0), 5000.0, 250.0, 5000), sample(at(0, 3000), 5000.0, 250.0, 5500)},
                               false);
    step(a, 4950);
    EXPECT_EQ(a.state, AircraftState::New);
    EXPECT_FALSE(a.erase);
    ASSERT_EQ(noMatches.size(), 1u);
    EXPECT_EQ(noMatches.begin()->first, "SWR A320 HB-305");
    step(a, 4951);
    EXPECT_TRUE(a.erase) << "found in the list by the key it was listed with";
}

TEST_F(NewAircraft, aGhostGoesWhenItsFlightIsPreparedAndStaysOut)
{
    LiveAircraft& ghost = inSimulator(report(0x400009, 100.0, 47.5, 5000.0, 250.0), tzo::kPhaseFlight);
    ghost.callsign = "ABC12_";
    LiveAircraft& a = airborne(0x400001);
    a.callsign = "ABC12";
    step(a, 4950);
    EXPECT_EQ(liveAircraft[0].state, AircraftState::BeingRemoved);
    EXPECT_EQ(ghostTexts, std::vector<std::string>{"ABC12_"});

    LiveAircraft& again = airborne(0x400002);
    again.callsign = "ABC12_";
    step(again, 4950);
    EXPECT_TRUE(again.erase);
}

TEST_F(NewAircraft, itsListsHoldOnlyWhatLiveAircraftStillNeed)
{
    // Ghost marks and learning marks go with their flights; the unmatched
    // list has a ceiling.
    ghostTexts = {"GONE1_"};
    softLearningThrottle = {{0x499999, 3}};
    for (std::size_t i = 0; i < kMostNoMatches; ++i)
        noMatches["XXX " + std::to_string(i)] = 1;

    LiveAircraft& ghost = inSimulator(report(0x400009, 100.0, 47.5, 5000.0, 250.0), tzo::kPhaseFlight);
    ghost.callsign = "ABC12_";
    LiveAircraft& a = airborne(0x400001);
    a.callsign = "ABC12";
    step(a, 4950);
    EXPECT_EQ(ghostTexts, std::vector<std::string>{"ABC12_"});
    gf_noteSoftLearning(0x400001, 5);
    ASSERT_EQ(softLearningThrottle.size(), 1u);
    EXPECT_EQ(softLearningThrottle[0].recordId, 0x400001u);

    LiveAircraft& unmatched = prepared(0x400002, {sample(at(0, 0), 5000.0, 250.0, 5000),
                                                  sample(at(0, 3000), 5000.0, 250.0, 5500)}, false);
    step(unmatched, 4950);
    EXPECT_TRUE(unmatched.erase) << "a full unmatched list takes no more";
    EXPECT_EQ(noMatches.size(), kMostNoMatches);
}

TEST_F(NewAircraft, droppingAQueuedCreationMarksItsAircraft)
{
    LiveAircraft& a = airborne(0x400001);
    step(a, 4950);
    gf_buildCreateRequest(0x400001);
    EXPECT_FALSE(gf_removeQueuedCreation(0x400002));
    EXPECT_TRUE(gf_removeQueuedCreation(0x400001));
    EXPECT_TRUE(liveCreateQueue.empty());
    EXPECT_TRUE(liveAircraft[0].erase);
    EXPECT_EQ(liveAircraft.size(), 1u) << "it leaves with the move pass";
}

} // namespace
