// A taxiing live aircraft that comes to rest near a free stand taxis in and
// parks: shut down, the stand occupied, the arrival logged, queued for the
// couple search and a real option learned when the cargo flags agree. Also
// cargo stands and the livery change of a moving and a parked aircraft.

#include "stand_fixture.hpp"
#include "airports/airport_services.hpp"
#include "simconnect/sim_ids.hpp"
#include "traffic/sim_events.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/stand_arrival.hpp"

using namespace traffictest;
using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::TrackSample;

namespace {

struct Arrival : StandTest {
    Arrival()
    {
        LOG.setValue(true);
        RANDOM.setValue(false);
        parkAirportCode.set("LSZH");
        nowDayHour.store(DayHour{3, 20}.toU64());
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    ~Arrival() override
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }

    // An A320 of that cargo flag in the simulator, taxiing at north metres
    // from the reference point.
    LiveAircraft& taxiing(double northMetres, bool cargo = false, std::uint32_t hexid = 0x400001)
    {
        const tzo::LatLon p = standtest::at(northMetres, 0);
        LiveAircraft& a = inSimulator(report(hexid, 100.0, p.latitude), tzo::kPhaseGround);
        a.longitude = a.samples.front().longitude = p.longitude;
        a.airline = "SWR";
        a.cargo = cargo;
        a.radius = tzo::gf_metresToNm(17.0);
        return a;
    }
    static std::uint32_t lastEvent(std::uint32_t objectId, std::uint32_t eventId)
    {
        std::lock_guard lock(simQueueMutex);
        std::uint32_t value = 99;
        for (const auto& e : eventQueue)
            if (e.objectId == objectId && e.eventId == eventId)
                value = e.value;
        return value;
    }
    // Its reports: rolling north at 10 kt from now, then standing `metresShort`
    // of A1 from `arrivalTicks` on, stationary a second later.
    static void rollToRestShortOfA1(LiveAircraft& a, double metresShort, std::uint32_t arrivalTicks)
    {
        const std::uint32_t now = liveTickCounter.load();
        a.samples.front().groundSpeed = 10.0;
        a.samples.front().dueTick = now;
        TrackSample stop = a.samples.front();
        const tzo::LatLon p = standtest::at(-metresShort, 0);
        stop.latitude = p.latitude;
        stop.longitude = p.longitude;
        stop.groundSpeed = 0.0;
        stop.dueTick = now + arrivalTicks;
        a.samples.push_back(stop);
        stop.stationary = true;
        stop.dueTick = now + arrivalTicks + 1000;
        a.samples.push_back(stop);
    }
    // Ticks of the live traffic until the aircraft parks or the ticks run out.
    static void tickUntilParked(const LiveAircraft& a, int ticks)
    {
        for (int i = 0; i < ticks && a.movementPhase != tzo::kPhaseParked; ++i)
            gf_liveTraffic();
    }
};

TEST_F(Arrival, aTaxiStoppingFifteenMetresFromAFreeStandTaxisInAndParks)
{
    struct Case {
        bool aircraftCargo;
        bool standCargo;
        bool learns;
        std::uint32_t cabin;
    };
    for (const Case& c : {Case{false, false, true, 1}, Case{false, true, false, 0}, Case{true, false, true, 0}}) {
        resetTrafficWorld();
        standUpdateCount.store(0);
        stands = standtest::StandBuilder();
        stands.stand("A1", 0, 0, 20).cargo(c.standCargo).stand("B1", 200, 0, 20);
        stands.install();
        parkAirportCode.set("LSZH");
        nowDayHour.store(DayHour{3, 20}.toU64());
        LiveAircraft& a = taxiing(-300.0, c.aircraftCargo);
        rollToRestShortOfA1(a, 15.0, 5700);
        const std::uint32_t objectId = a.objectId;
        const std::uint32_t recordId = a.recordId;

        tickUntilParked(liveAircraft.front(), 30000);
        ASSERT_EQ(liveAircraft.size(), 1u);
        const LiveAircraft& parked = liveAircraft.front();
        ASSERT_EQ(parked.movementPhase, tzo::kPhaseParked) << log();
        EXPECT_EQ(parked.standId, 1u);
        EXPECT_LT(gf_greatCircleDistanceNm({parked.latitude, parked.longitude},
                                           {parkPositions[0].latitude, parkPositions[0].longitude}),
                  tzo::gf_metresToNm(2.0));
        EXPECT_TRUE(parkPositions[0].occupied);
        EXPECT_FALSE(parkPositions[1].occupied);
        EXPECT_EQ(lastEvent(objectId, tzo::ENGINE_AUTO_SHUTDOWN), 0u);
        EXPECT_EQ(lastEvent(objectId, tzo::CABIN_LIGHTS_SET), c.cabin);
        EXPECT_NE(log().find("A1      : SWR305   arrived at stand"), std::string::npos);
        EXPECT_EQ(coupleSearchIds, std::deque<std::uint32_t>{recordId});
        EXPECT_EQ(parkPositions[0].options.size(), c.learns ? 1u : 0u) << c.aircraftCargo << c.standCargo;
        EXPECT_EQ(parkPositions[0].cargoChanged, c.aircraftCargo && !c.standCargo);
        EXPECT_EQ(standUpdateCount.load(), (c.learns ? 1 : 0) + (c.aircraftCargo && !c.standCargo ? 1 : 0));
        gf_serveCoupleSearch();
        EXPECT_TRUE(coupleSearchIds.empty());
        EXPECT_EQ(liveAircraft.front().couplesSearched, 1u);
        // Its track has ended: it stays, the stand stays its.
        for (int i = 0; i < 500; ++i)
            gf_liveTraffic();
        EXPECT_TRUE(parkPositions[0].occupied);
        EXPECT_EQ(liveAircraft.front().state, AircraftState::InSimulator);
    }
    EXPECT_NE(log().find("LSZH stand: A1, cargo attribute set to true, SWR305"), std::string::npos);
}

TEST_F(Arrival, withinTwoMetresParksBeyondTaxisOn)
{
    stands.stand("A1", 0, 0, 20).install();
    for (const auto& [metres, parks] : {std::pair{1.9, true}, {2.1, false}}) {
        resetTrafficWorld();
        stands.install();
        LiveAircraft& a = taxiing(metres);
        a.standId = 1;
        a.stand = {parkPositions[0].latitude, parkPositions[0].longitude, 0.0};
        a.movementPhase = tzo::kPhaseToStand;
        lf_arriveAtStand(a);
        EXPECT_EQ(a.movementPhase, parks ? tzo::kPhaseParked : tzo::kPhaseGround) << metres;
        EXPECT_EQ(parkPositions[0].occupied, parks) << metres;
    }
}

// The program's rest handling takes stands the one way the tests use too:
// any free stand that fits within 55 m, one that knows the aircraft within 85 m.
TEST_F(Arrival, aTaxiComingToRestTakesAStandWithin55mOrOneThatKnowsItWithin85m)
{
    struct Case {
        double short_; // metres short of A1 where the reports stop
        const char* optionAirline;
        bool parks;
    };
    for (const Case& c : {Case{40.0, "EDW", true}, Case{70.0, "EDW", false}, Case{70.0, "SWR", true}}) {
        resetTrafficWorld();
        stands = standtest::StandBuilder();
        stands.stand("A1", 0, 0, 20).option(c.optionAirline, "A320", 3, "20").stand("B1", 400, 0, 20);
        stands.install();
        nowDayHour.store(DayHour{3, 20}.toU64());
        LiveAircraft& a = taxiing(-300.0);
        rollToRestShortOfA1(a, c.short_, 5000);

        const std::size_t logged = log().size();
        tickUntilParked(liveAircraft.front(), 20000);
        ASSERT_EQ(liveAircraft.size(), 1u) << c.short_ << c.optionAirline;
        EXPECT_EQ(liveAircraft.front().movementPhase == tzo::kPhaseParked, c.parks) << c.short_ << c.optionAirline;
        EXPECT_EQ(parkPositions[0].occupied, c.parks) << c.short_ << c.optionAirline;
        EXPECT_EQ(log().find("A1      : SWR305   taxies in", logged) != std::string::npos, c.parks);
    }
}

// Park limit 2, two parked, a third arrives: the one parked longest goes.
TEST_F(Arrival, anArrivalKeepsTheParkLimit)
{
    stands.stand("A1", 0, 0, 20).stand("A2", 0, 100, 20).stand("A3", 0, 200, 20).install();
    wantedParkedShown.store(2);
    for (std::uint32_t id : {1u, 2u, 3u}) {
        LiveAircraft& a = taxiing(0.0, false, 0x400000 + id);
        const tzo::ParkPos& stand = parkPositions[id - 1];
        a.latitude = stand.latitude;
        a.longitude = stand.longitude;
        a.standId = id;
        a.stand = {stand.latitude, stand.longitude, 0.0};
        a.movementPhase = tzo::kPhaseToStand;
        lf_arriveAtStand(a);
        ASSERT_EQ(a.movementPhase, tzo::kPhaseParked);
        a.atStandTime -= static_cast<std::int64_t>(10 - id) * 600'000'000; // the first parked first
    }
    EXPECT_EQ(liveAircraft[0].state, AircraftState::BeingRemoved);
    EXPECT_EQ(liveAircraft[1].state, AircraftState::InSimulator);
    EXPECT_EQ(liveAircraft[2].state, AircraftState::InSimulator);
    EXPECT_NE(log().find("A1: SWR305   max park exceeded, removed"), std::string::npos);
    wantedParkedShown.store(0);
}

TEST_F(Arrival, aLiveryChangeReplacesTheObjectInPlace)
{
    stands.stand("A1", 0, 0, 20).install();
    GUID_CHANGES.setValue(true);
    for (bool parkedAtStand : {false, true}) {
        resetTrafficWorld();
        stands.install();
        LiveAircraft& a = taxiing(parkedAtStand ? 0.0 : -100.0);
        a.liveryTitle = "Swiss A320";
        a.heading = 0.3;
        if (parkedAtStand) {
            a.movementPhase = tzo::kPhaseParked;
            a.standId = 1;
            parkPositions[0].occupied = true;
            a.samples.front().stationary = true;
            a.samples.push_back(a.samples.front());
        } else {
            a.samples.front().groundSpeed = 10.0;
        }
        const std::uint32_t oldObject = a.objectId;
        const double latitude = a.latitude;
        tzo::TrafficRecord r = report(0x400001, 200.0, latitude);
        r.callsign = "SWR99";
        ASSERT_FALSE(gf_reportChecks(a, r));
        EXPECT_EQ(a.state, AircraftState::LiveryChange);
        EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{oldObject});

        lf_onAiObjectRemoved(oldObject);
        ASSERT_EQ(liveAircraft.size(), 1u);
        for (int i = 0; i < 20 && liveAircraft[0].state == AircraftState::New; ++i)
            gf_liveTraffic();
        ASSERT_EQ(liveAircraft[0].state, AircraftState::CreateRequested) << parkedAtStand << log();
        for (int i = 0; i < 5 && liveCreateQueue.empty(); ++i)
            gf_liveTraffic();
        ASSERT_EQ(liveCreateQueue.size(), 1u);
        const tzo::CreateRequest& request = liveCreateQueue.front();
        EXPECT_DOUBLE_EQ(request.position.Latitude, latitude);
        EXPECT_NEAR(request.position.Heading, tzo::gf_radiansToDegrees(0.3), 1e-9);
        EXPECT_EQ(request.callsign, "SWR99");
        EXPECT_EQ(liveAircraft[0].standId, parkedAtStand ? 1u : 0u);
        EXPECT_EQ(parkPositions[0].occupied, parkedAtStand);
    }
}

} // namespace
