// The renewal over stands built in code and static aircraft put in the table.

#include "parking/hour_fit.hpp"
#include "parking/parking_plan.hpp"
#include "parking/static_parking_services.hpp"
#include "traffic/stand_fixture.hpp"

#include <chrono>

using namespace traffictest;

namespace {

struct Renewal : StandTest {
    Renewal() { reset(); }
    ~Renewal() override
    {
        reset();
        staticAircraft.clear();
        liveAircraft.clear();
        removalQueue.clear();
    }
    static void reset()
    {
        for (auto* flag : {&PARK_SOFT, &PARK_FAKE, &WEEK, &INITIAL_LOAD_ONLY})
            flag->setValue(flag->defaultValue());
        MAX_FIT.setValue(MAX_FIT.defaultValue());
        parking_percentage.setValue(100);
        staticParkingPlan.clear();
        fitCallsignExclusions.clear();
        reservedStand.clear();
        staticParkingBusy.store(false);
        removalList.clear();
        keepers.clear();
        liveStayers.clear();
    }
    // A static aircraft in the simulator at the stand.
    tzo::AircraftRecord& park(std::uint32_t standId, std::string airline, std::string model, std::string first,
                              DayHour placed, tzo::AircraftState state = tzo::AircraftState::InSimulator)
    {
        tzo::AircraftRecord a;
        a.airline = std::move(airline);
        a.model = std::move(model);
        a.firstCallsign = std::move(first);
        a.callsign = a.firstCallsign + "*";
        a.standId = standId;
        const tzo::ParkPos& stand = *gf_standById(standId);
        a.stand = {stand.latitude, stand.longitude, stand.heading};
        a.parkedSince = placed;
        a.state = state;
        a.objectId = 100 + standId;
        staticAircraft.push_back(a);
        return staticAircraft.back();
    }
    // A live aircraft parked in the simulator at the stand with its id, since now.
    static tzo::LiveAircraft& parkLive(std::uint32_t id)
    {
        tzo::LiveAircraft live;
        live.atStandTime = std::chrono::steady_clock::now().time_since_epoch().count() / 100;
        live.callsign = "LIVE" + std::to_string(id);
        live.standId = id;
        live.movementPhase = tzo::kPhaseParked;
        live.state = tzo::AircraftState::InSimulator;
        live.objectId = id;
        liveAircraft.push_back(live);
        return liveAircraft.back();
    }
    void renewAt(DayHour now)
    {
        nowDayHour.store(now.toU64());
        gf_adjustParking();
    }
    tzo::AircraftState stateAt(std::uint32_t standId) const
    {
        for (const auto& a : staticAircraft)
            if (a.standId == standId)
                return a.state;
        return tzo::AircraftState::New;
    }
};

} // namespace

// Later means nearer to now, counted back across the week's end: right for
// every day, not only for Sunday into Monday.
TEST(FitMoment, laterAcrossTheWeek)
{
    const struct {
        DayHour now;
        DayHour fit;
        DayHour placed;
        bool later;
    } cases[] = {
        {{1, 1}, {1, 0}, {7, 47}, true},   // Monday after Sunday
        {{1, 1}, {7, 47}, {1, 0}, false},  // a Sunday never after a Monday
        {{1, 2}, {1, 2}, {6, 20}, true},   // Monday after the Saturday before
        {{6, 30}, {6, 28}, {1, 2}, true},  // Saturday after the Monday before
        {{3, 12}, {3, 10}, {3, 9}, true},  {{3, 12}, {3, 10}, {3, 10}, false},
        {{3, 12}, {3, 10}, {2, 40}, true}, {{3, 12}, {2, 40}, {3, 1}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_isFitLater(c.now, c.fit, c.placed), c.later) << c.fit.day << "/" << c.fit.hh;
    for (std::uint32_t day = 1; day <= 7; ++day) {
        const DayHour now{day, 0};
        const DayHour twoDaysBefore = gf_dayHourBefore(now, 96);
        EXPECT_TRUE(gf_isFitLater(now, gf_dayHourBefore(now, 1), twoDaysBefore)) << day;
        EXPECT_FALSE(gf_isFitLater(now, twoDaysBefore, gf_dayHourBefore(now, 1))) << day;
    }
    EXPECT_EQ(gf_dayHourBefore({1, 2}, 4), (DayHour{7, 46}));
    EXPECT_EQ(gf_dayHourBefore({3, 10}, 4), (DayHour{3, 6}));
}

TEST_F(Renewal, theSameAircraftStaysAndItsEntryGoes)
{
    stands.stand("A", 0, 0).option("SWR", "A320", 3, "10").callsigns("SWR1");
    stands.install();
    park(1, "SWR", "A320", "SWR1", {3, 2});
    renewAt({3, 10});
    EXPECT_TRUE(staticParkingPlan.empty());
    EXPECT_EQ(keepers.size(), 1u);
    EXPECT_TRUE(removalList.empty());
    EXPECT_FALSE(staticParkingBusy.load());
    EXPECT_NE(log().find("Parking adjustments: 0 to be removed, 0 to be added"), std::string::npos);
}

TEST_F(Renewal, anotherAircraftReplacesOnePlacedBeforeTheFitMoment)
{
    stands.stand("A", 0, 0).option("DLH", "A320", 3, "8").callsigns("DLH1");
    stands.install();
    park(1, "SWR", "A320", "SWR1", {3, 7}); // fit moment 3/8 is later
    renewAt({3, 10});
    ASSERT_EQ(staticParkingPlan.size(), 1u);
    EXPECT_EQ(staticParkingPlan[0].firstCallsign, "DLH1");
    EXPECT_EQ(stateAt(1), tzo::AircraftState::BeingRemoved);
    EXPECT_TRUE(staticParkingBusy.load());
}

TEST_F(Renewal, onePlacedAtOrAfterTheFitMomentStays)
{
    stands.stand("A", 0, 0).option("DLH", "A320", 3, "8").callsigns("DLH1");
    stands.install();
    park(1, "SWR", "A320", "SWR1", {3, 8});
    renewAt({3, 10});
    EXPECT_TRUE(staticParkingPlan.empty());
    EXPECT_EQ(stateAt(1), tzo::AircraftState::InSimulator);
}

// Its first or its second callsign live nearby: removed, whatever the plan
// says, also when the first is set and only the second is live.
TEST_F(Renewal, anExcludedCallsignIsRemovedWhateverThePlanSays)
{
    for (const char* live : {"SWR1", "SWR2"}) {
        reset();
        staticAircraft.clear();
        stands = standtest::StandBuilder();
        stands.stand("A", 0, 0);
        stands.install();
        park(1, "SWR", "A320", "SWR1", {3, 2}).secondCallsign = "SWR2";
        staticParkingPlan.push_back({0, 0, "SWR", "A320", 1, "SWR1", "SWR2", "", false, false});
        fitCallsignExclusions.insert(live);
        lf_classifyStaticAircraft({3, 10});
        ASSERT_EQ(removalList.size(), 1u) << live;
        EXPECT_EQ(removalList[0].callsign, "SWR1*");
        EXPECT_TRUE(keepers.empty()) << live;
    }
}

TEST_F(Renewal, anAircraftBeingRemovedIsNeverRemovedTwice)
{
    stands.stand("A", 0, 0).option("DLH", "A320", 3, "8").callsigns("DLH1");
    stands.install();
    park(1, "SWR", "A320", "SWR1", {3, 7}, tzo::AircraftState::BeingRemoved);
    renewAt({3, 10});
    EXPECT_TRUE(removalQueue.empty());
    EXPECT_TRUE(removalList.empty() && keepers.empty()) << "neither removed nor kept: it does not count";
    ASSERT_EQ(staticParkingPlan.size(), 1u) << "the renewal planned the stand's next aircraft";
    EXPECT_EQ(staticParkingPlan[0].firstCallsign, "DLH1");
    EXPECT_EQ(stateAt(1), tzo::AircraftState::BeingRemoved);
}

TEST_F(Renewal, withdrawnOptionsTakePartAgain)
{
    stands.stand("A", 0, 0).option("SWR", "A320", 3, "10").callsigns("SWR1").withdrawn();
    stands.install();
    renewAt({3, 10});
    ASSERT_EQ(staticParkingPlan.size(), 1u);
    EXPECT_EQ(parkPositions[0].options[0].number, 1u);
}

TEST_F(Renewal, tooManyKeepersLoseTheLatestPlaced)
{
    stands.stand("A", 0, 0).option("SWR", "A320", 3, "10").callsigns("SWR1");
    stands.stand("B", 0, 300).option("SWR", "A320", 3, "10").callsigns("SWR2");
    stands.install();
    parking_percentage.setValue(50);
    park(1, "SWR", "A320", "SWR1", {3, 4});
    park(2, "SWR", "A320", "SWR2", {3, 6});
    renewAt({3, 10});
    EXPECT_EQ(stateAt(1), tzo::AircraftState::InSimulator);
    EXPECT_EQ(stateAt(2), tzo::AircraftState::BeingRemoved);
}

TEST_F(Renewal, moreLiveParkedThanWantedAreRemovedFirst)
{
    for (int i = 0; i < 4; ++i)
        stands.stand("S" + std::to_string(i), 0, 300.0 * i);
    stands.install();
    parking_percentage.setValue(50);
    for (std::uint32_t id = 1; id <= 4; ++id) {
        tzo::LiveAircraft& live = parkLive(id);
        live.recordId = 0x400000 + id;
    }
    renewAt({3, 10});
    EXPECT_NE(log().find("Parking adjustments: 2 more live ac than wanted"), std::string::npos);
    EXPECT_EQ(removalQueue.size(), 2u);
}

TEST_F(Renewal, aLiveStayersStandIsTakenAndItsNeighboursBlocked)
{
    stands.stand("S0", 0, 0).stand("S1", 0, 300).adjacent({1, 99}).stand("S2", 0, 600);
    stands.install();
    parkLive(2).recordId = 0x400002;
    renewAt({3, 10});
    EXPECT_TRUE(gf_standById(2)->taken);
    EXPECT_TRUE(gf_standById(1)->adjacentBlocked);
    EXPECT_FALSE(gf_standById(3)->adjacentBlocked || gf_standById(3)->taken);
    for (const auto& entry : staticParkingPlan)
        EXPECT_NE(entry.standId, 1u) << "no static aircraft is planned beside the live one";
}

TEST_F(Renewal, liveStayersOverTheWantedNumberStayWithInitialLoadOnly)
{
    for (const bool initialLoadOnly : {false, true}) {
        SCOPED_TRACE(initialLoadOnly);
        reset();
        liveAircraft.clear();
        removalQueue.clear();
        stands = {};
        for (int i = 0; i < 2; ++i)
            stands.stand("S" + std::to_string(i), 0, 300.0 * i);
        stands.install();
        // At 0 % nothing is wanted: the first cut (at least one wanted) does
        // not apply, the last one removes the stayers unless ILO is on.
        parking_percentage.setValue(0);
        INITIAL_LOAD_ONLY.setValue(initialLoadOnly);
        for (std::uint32_t id = 1; id <= 2; ++id)
            parkLive(id);
        renewAt({3, 10});
        EXPECT_EQ(removalQueue.size(), initialLoadOnly ? 0u : 2u);
    }
}

TEST_F(Renewal, aCoupledKeeperWhoseOptionEndsIsNeitherCountedNorRemoved)
{
    stands.stand("A", 0, 0).option("SWR", "A320", 3, "10").callsigns("SWR1", "SWR2");
    stands.install();
    tzo::AircraftRecord& a = park(1, "SWR", "A320", "SWR1", {3, 4});
    a.secondCallsign = "SWR2";
    renewAt({3, 10}); // half-hour 11 is not in the option any more
    EXPECT_TRUE(keepers.empty());
    EXPECT_TRUE(removalList.empty());
    EXPECT_EQ(stateAt(1), tzo::AircraftState::InSimulator);
}
