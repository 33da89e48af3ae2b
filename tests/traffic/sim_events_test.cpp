// The simulator's notifications as the main loop takes them: new objects
// and their lights, engines and surfaces, the ground under an aircraft, its
// touchdown, centre-of-gravity data, refused and removed objects, and the end
// of the live traffic when RealTraffic goes.

#include "stand_fixture.hpp"
#include "foundation/exceptions.hpp"
#include "liveries/liveries_not_created.hpp"
#include "simconnect/sim_ids.hpp"
#include "traffic/removal.hpp"
#include "traffic/sim_events.hpp"

#include <numbers>

using namespace traffictest;
using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::SimNotification;

namespace {

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>; // event, value

struct SimEvents : StandTest {
    SimEvents() { clearEvents(); }
    ~SimEvents() override
    {
        clearEvents();
        NAV_LIGHTS_WHILE_PARKED.setValue(NAV_LIGHTS_WHILE_PARKED.defaultValue());
        tzo::gf_resetLiveriesNotCreated();
        userObjectId.store(kUserObjectIdBeforeAnswer);
    }
    static void clearEvents()
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    static Events taken(std::uint32_t objectId)
    {
        std::lock_guard lock(simQueueMutex);
        Events out;
        for (const auto& e : eventQueue)
            if (e.objectId == objectId)
                out.emplace_back(e.eventId, e.value);
        eventQueue.clear();
        return out;
    }

    // A live aircraft whose creation was requested, in that phase.
    LiveAircraft& requested(std::uint32_t hexid, std::uint32_t phase, double altitude = 0.0)
    {
        LiveAircraft& a = newAircraft(report(hexid, 100.0, 47.5, altitude, altitude != 0.0 ? 250.0 : 0.0));
        a.state = AircraftState::CreateRequested;
        a.movementPhase = phase;
        a.altitude = altitude;
        a.liveryTitle = "Swiss A320";
        return a;
    }
    static void notify(std::uint32_t kind, std::uint32_t objectId, std::uint32_t info, double v1 = 0.0, double v2 = 0.0)
    {
        tzo::gf_pushSimNotification(SimNotification{objectId, info, 0, kind, v1, v2});
    }
    static void process(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i)
            gf_processSimNotifications();
    }
};

Events lights(std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing, std::uint32_t taxi, std::uint32_t strobes,
              std::uint32_t logo, std::uint32_t cabin)
{
    return {{tzo::NAV_LIGHTS_SET, nav},     {tzo::BEACON_LIGHTS_SET, beacon}, {tzo::LANDING_LIGHTS_SET, landing},
            {tzo::TAXI_LIGHTS_SET, taxi},   {tzo::STROBES_SET, strobes},      {tzo::LOGO_LIGHTS_SET, logo},
            {tzo::CABIN_LIGHTS_SET, cabin}};
}

Events concat(Events a, const Events& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(SimEvents, aNewObjectIsSetUpTwoSecondsAfterItCame)
{
    NAV_LIGHTS_WHILE_PARKED.setValue(false);
    const Events spoilersOff{{tzo::SPOILERS_SET, 0}};
    struct Case {
        std::uint32_t phase;
        double altitude;
        double heightAboveGround;
        Events expected;
    };
    const std::vector<Case> cases{
        {tzo::kPhaseParked, 0.0, 0.0,
         concat(concat(spoilersOff, {{tzo::ENGINE_AUTO_SHUTDOWN, 0}}),
                concat(lights(0, 0, 0, 0, 0, 1, 1), {{tzo::THROTTLE_SET, 0}, {tzo::FLAPS_SET, 0}}))},
        {tzo::kPhaseGround, 0.0, 0.0,
         concat(concat(spoilersOff, {{tzo::ENGINE_AUTO_START, 0}}),
                concat(lights(1, 1, 0, 1, 0, 1, 1), {{tzo::THROTTLE_SET, 0}, {tzo::FLAPS_SET, 3072}}))},
        {tzo::kPhaseFlight, 12000.0, 2000.0,
         concat({{tzo::ENGINE_AUTO_START, 0}, {tzo::SPOILERS_SET, 0}}, lights(1, 1, 0, 0, 1, 0, 1))},
        {tzo::kPhaseFlight, 10000.0, 1999.0,
         concat({{tzo::ENGINE_AUTO_START, 0}, {tzo::SPOILERS_SET, 0}}, lights(1, 1, 1, 0, 1, 1, 0))},
    };
    std::uint32_t objectId = 100;
    for (const Case& c : cases) {
        requested(0x400001, c.phase, c.altitude);
        notify(tzo::NOTIFY_LIVE_CREATED, ++objectId, 0x400001, 0.0, c.heightAboveGround);
        process(200);
        EXPECT_EQ(liveAircraft[0].objectId, objectId);
        EXPECT_EQ(liveAircraft[0].state, AircraftState::CreateRequested);
        EXPECT_TRUE(taken(objectId).empty());
        process();
        EXPECT_EQ(liveAircraft[0].state, AircraftState::InSimulator);
        EXPECT_EQ(taken(objectId), c.expected) << c.phase << " " << c.altitude;
        EXPECT_TRUE(pendingLights.empty());
        liveAircraft.clear();
    }
}

TEST_F(SimEvents, unknownRecordsAndLowObjectIdsGetNoPendingEntry)
{
    notify(tzo::NOTIFY_LIVE_CREATED, 50, 0x400001);
    requested(0x400002, tzo::kPhaseFlight, 5000.0);
    notify(tzo::NOTIFY_LIVE_CREATED, 2, 0x400002);
    notify(tzo::NOTIFY_STATIC_CREATED, 1, 17);
    process();
    EXPECT_TRUE(pendingLights.empty());
    EXPECT_EQ(liveAircraft[0].objectId, 0u);
    EXPECT_NE(log().find("SWR306 objectId in liveAIAdded 2"), std::string::npos) << log();
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{50})
        << "an object no record waits for goes; the user's and the simulator's own stay";
}

TEST_F(SimEvents, aCreationGivenUpTakesOnlyARecordStillWaitingForItsObject)
{
    // Waiting on a stand, waiting while being removed, made anew with an
    // object of its own, and a static aircraft waiting.
    stands.stand("B1", 0, 0);
    stands.install();
    LiveAircraft& parked = requested(0x400001, tzo::kPhaseParked);
    parked.standId = 1;
    parkPositions[0].occupied = true;
    requested(0x400002, tzo::kPhaseFlight, 5000.0).state = AircraftState::BeingRemoved;
    requested(0x400003, tzo::kPhaseFlight, 5000.0).objectId = 303;
    tzo::AircraftRecord& s = staticAircraft.emplace_back();
    s.recordId = 17;
    s.state = AircraftState::CreateRequested;
    for (std::uint32_t id : {0x400001u, 0x400002u, 0x400003u, 17u, 0x400009u})
        notify(tzo::NOTIFY_CREATION_GIVEN_UP, 0, id);
    process();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].recordId, 0x400003u);
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_FALSE(parkPositions[0].occupied);
    EXPECT_NE(log().find("never came into the simulator: given up"), std::string::npos);

    // An object that comes for any of them now has no record: it goes.
    notify(tzo::NOTIFY_LIVE_CREATED, 301, 0x400001);
    notify(tzo::NOTIFY_STATIC_CREATED, 317, 17);
    notify(tzo::NOTIFY_LIVE_CREATED, 333, 0x400003); // a second object for a record that has one
    process();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{301, 317, 333}));
    EXPECT_EQ(liveAircraft[0].objectId, 303u);
    EXPECT_TRUE(pendingLights.empty());
}

TEST_F(SimEvents, staleEntriesAreDroppedAndARemovedRecordsObjectIsRemoved)
{
    // The record goes away, comes back with another object, is removed
    // before its object came.
    for (std::uint32_t id : {0x400001u, 0x400002u, 0x400003u})
        requested(id, tzo::kPhaseFlight, 5000.0);
    LiveAircraft& other = liveAircraft[1];
    LiveAircraft& removed = liveAircraft[2];
    notify(tzo::NOTIFY_LIVE_CREATED, 101, 0x400001);
    notify(tzo::NOTIFY_LIVE_CREATED, 102, 0x400002);
    process();
    other.objectId = 202;
    gf_removeAircraft(removed);
    EXPECT_TRUE(removalQueue.empty());
    notify(tzo::NOTIFY_LIVE_CREATED, 103, 0x400003);
    process();
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{103});
    EXPECT_EQ(removed.state, AircraftState::BeingRemoved);
    liveAircraft.erase(liveAircraft.begin()); // 0x400001 leaves
    process(200);
    EXPECT_TRUE(pendingLights.empty());
    for (const LiveAircraft& a : liveAircraft)
        EXPECT_NE(a.state, AircraftState::InSimulator) << a.callsign;
}

TEST_F(SimEvents, staticCentreOfGravityAndPitchAreChecked)
{
    LiveAircraft& a = inSimulator(report(0x400001, 100.0), tzo::kPhaseGround);
    a.staticCgHeight = 7.0;
    constexpr double degree = std::numbers::pi / 180.0;
    for (const auto& [cg, pitch, cgAfter, pitchAfter] :
         {std::tuple{0.5, 3.0 * degree, 7.0, 0.7 * degree}, {5.0, 2.5 * degree, 5.0, 2.5 * degree},
          {36.0, -1.0 * degree, 5.0, 0.7 * degree}, {35.0, -0.5 * degree, 35.0, -0.5 * degree}}) {
        notify(tzo::NOTIFY_STATIC_CG, a.objectId, 0, cg, pitch);
        process();
        EXPECT_DOUBLE_EQ(liveAircraft[0].staticCgHeight, cgAfter) << cg;
        EXPECT_NEAR(liveAircraft[0].staticPitch, pitchAfter, 1e-12) << cg;
    }
    EXPECT_NE(log().find("static CG 0.5ft wrong?"), std::string::npos);
}

TEST_F(SimEvents, anAircraftOnApproachTouchesDown)
{
    LiveAircraft& a = inSimulator(report(0x400001, 100.0, 47.5, 800.0, 140.0), tzo::kPhaseFlight);
    a.approach = true;
    a.onGround = false;
    a.staticCgHeight = 6.0;
    a.onGroundSlots = 10;
    a.pitch = -0.1;
    a.staticPitch = 0.01;
    notify(tzo::NOTIFY_IN_RANGE_DATA, a.objectId, 0, 1400.0, 300.0);
    process();
    EXPECT_FALSE(liveAircraft[0].landed);
    EXPECT_DOUBLE_EQ(liveAircraft[0].heightAboveGround, 300.0);
    notify(tzo::NOTIFY_IN_RANGE_DATA, a.objectId, 1, 1400.0, 6.0);
    process();
    const LiveAircraft& b = liveAircraft[0];
    EXPECT_TRUE(b.landed);
    EXPECT_TRUE(b.onGround);
    EXPECT_FALSE(b.approach);
    EXPECT_DOUBLE_EQ(b.altitude, 1406.0);
    EXPECT_NEAR(b.pitchStep, 0.011, 1e-12);
    EXPECT_EQ(taken(b.objectId), (Events{{tzo::SPOILERS_SET, 16383}}));
    EXPECT_EQ(newLiveIds.back(), 0x400001u);
    EXPECT_NE(log().find("landed"), std::string::npos);
}

TEST_F(SimEvents, aRefusedCreationFreesTheStandAndRecordsTheTitle)
{
    stands.stand("B1", 0, 0);
    stands.install();
    for (std::uint32_t i = 0; i < tzo::kMaxLiveriesNotCreated; ++i) {
        LiveAircraft& a = requested(0x400001 + i, tzo::kPhaseParked);
        a.standId = 1;
        parkPositions[0].occupied = true;
        notify(tzo::NOTIFY_CREATE_FAILED, 0, a.recordId);
        if (i + 1 < tzo::kMaxLiveriesNotCreated)
            process();
        else
            EXPECT_THROW(process(), tzo::UserErrorException) << "the twentieth title";
        EXPECT_TRUE(liveAircraft.empty()) << i;
        EXPECT_FALSE(parkPositions[0].occupied) << i;
    }
    EXPECT_TRUE(tzo::gf_isLiveryNotCreated("Swiss A320"));
}

TEST_F(SimEvents, aRemovedObjectTakesItsRecordUnlessItsLiveryChanges)
{
    inSimulator(report(0x400001, 100.0), tzo::kPhaseGround);
    LiveAircraft& changing = inSimulator(report(0x400002, 100.0), tzo::kPhaseGround); // no push after it
    changing.state = AircraftState::LiveryChange;
    changing.throttleState = 0;
    const std::uint32_t first = liveAircraft[0].objectId;
    const std::uint32_t second = changing.objectId;
    staticAircraft.emplace_back().objectId = 500;
    notify(tzo::NOTIFY_REMOVED, first, 0);
    notify(tzo::NOTIFY_REMOVED, second, 0);
    notify(tzo::NOTIFY_REMOVED, 500, 0);
    notify(tzo::NOTIFY_REMOVED, 999, 0);
    process();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, AircraftState::New);
    EXPECT_TRUE(liveAircraft[0].recreated);
    EXPECT_EQ(liveAircraft[0].objectId, 0u);
    EXPECT_EQ(liveAircraft[0].throttleState, 5u);
    EXPECT_EQ(liveAircraft[0].flapsState, 4u);
    EXPECT_TRUE(staticAircraft.empty());

    // Within their two seconds of lights: a static aircraft, one the program
    // removed before its object came, and a live one.
    liveAircraft.clear();
    for (const auto& [record, state] : {std::pair{17u, AircraftState::CreateRequested},
                                        std::pair{18u, AircraftState::BeingRemoved}}) {
        tzo::AircraftRecord& s = staticAircraft.emplace_back();
        s.recordId = record;
        s.state = state;
    }
    requested(0x400003, tzo::kPhaseFlight, 5000.0);
    notify(tzo::NOTIFY_STATIC_CREATED, 601, 17);
    notify(tzo::NOTIFY_STATIC_CREATED, 602, 18);
    notify(tzo::NOTIFY_LIVE_CREATED, 603, 0x400003);
    process(50);
    ASSERT_EQ(pendingLights.size(), 3u);
    for (const std::uint32_t id : {601u, 602u, 603u})
        notify(tzo::NOTIFY_REMOVED, id, 0);
    process(200);
    EXPECT_TRUE(staticAircraft.empty()) << "a record in its lights window goes with its object";
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(pendingLights.empty());
    EXPECT_TRUE(removalQueue.empty()) << "nothing is removed that is gone";
}

TEST_F(SimEvents, aStaticObjectIsShutDownAtItsStandAfterTwoSeconds)
{
    tzo::AircraftRecord& s = staticAircraft.emplace_back();
    s.recordId = 17;
    s.callsign = "EDW5*";
    s.state = AircraftState::CreateRequested;
    s.flapsState = 4;
    notify(tzo::NOTIFY_STATIC_CREATED, 300, 17);
    process(200);
    EXPECT_EQ(staticAircraft[0].objectId, 0u);
    process();
    EXPECT_EQ(staticAircraft[0].state, AircraftState::InSimulator);
    EXPECT_EQ(staticAircraft[0].objectId, 300u);
    EXPECT_EQ(taken(300).size(), 10u);
}

TEST_F(SimEvents, whenRealTrafficGoesTheLiveTrafficGoesWithIt)
{
    const std::uint32_t objectId = inSimulator(report(0x400001, 100.0), tzo::kPhaseGround).objectId;
    requested(0x400002, tzo::kPhaseGround); // request queued
    requested(0x400003, tzo::kPhaseGround); // id still to be built
    requested(0x400004, tzo::kPhaseGround); // request sent
    newAircraft(report(0x400005, 100.0));
    gf_buildCreateRequest(0x400002);
    idsToCreate = {0x400003};

    gf_requestDropLiveTraffic();
    process();
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{objectId});
    EXPECT_TRUE(liveCreateQueue.empty());
    EXPECT_TRUE(idsToCreate.empty());
    EXPECT_EQ(liveAircraft[0].state, AircraftState::BeingRemoved);
    EXPECT_TRUE(liveAircraft[1].erase);
    EXPECT_TRUE(liveAircraft[2].erase);
    EXPECT_FALSE(liveAircraft[3].erase);
    EXPECT_TRUE(liveAircraft[4].erase);

    // The sent one goes when its object shows up.
    notify(tzo::NOTIFY_LIVE_CREATED, 404, 0x400004);
    process(201);
    EXPECT_EQ(removalQueue.back(), 404u);
}

} // namespace
