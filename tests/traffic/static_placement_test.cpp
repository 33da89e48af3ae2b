// The parking plan made real, one entry per call: callsigns, record ids,
// liveries, the run's start, and the entries that give no aircraft.

#include "static_fixture.hpp"

using namespace traffictest;
using tzo::AircraftState;

namespace {

struct Placement : StaticTest {
    Placement()
    {
        stands.stand("A1", 0, 0, 20);
        stands.stand("A2", 0, 100, 20);
        stands.stand("A3", 0, 30, 20).adjacent({1});
        stands.install();
        nowDayHour.store(DayHour{1, 1}.toU64());
    }
    void realise(tzo::ParkingPlanEntry e)
    {
        staticParkingPlan.push_back(std::move(e));
        gf_realiseParkingPlan();
    }
};

} // namespace

TEST(StaticCallsign, continuesFlagChoosesTheCallsignAndTheTailStaysShort)
{
    const struct {
        bool continues;
        const char* first;
        const char* second;
        const char* expected;
    } cases[] = {
        {false, "EZY44", "EZY45PL_", "EZY45PL*"},
        {true, "AFR1234*", "", "AFR1234*"},
        {false, "X", "", "*"},
        {true, "ABCDEFGHIJK", "", "ABCDEFGHIJ*"}, // 11 characters: cut to 10
        {true, "ABCDEFGHI\xC3\xA9", "", "ABCDEFGHI*"}, // no half character
    };
    for (const auto& c : cases) {
        tzo::ParkingPlanEntry e;
        e.continues = c.continues;
        e.firstCallsign = c.first;
        e.secondCallsign = c.second;
        EXPECT_EQ(lf_staticCallsign(e), c.expected) << c.first << " " << c.second;
    }
}

TEST_F(Placement, anEntryBecomesAQueuedStaticAircraftAtItsStand)
{
    tzo::ParkingPlanEntry e = entry(2, "KLM1234", "KLM1235");
    e.fitOffset = 3;
    e.status = 0x4840AB;
    e.exempt = true;
    realise(e);
    ASSERT_EQ(staticAircraft.size(), 1u);
    const tzo::AircraftRecord& a = staticAircraft[0];
    EXPECT_EQ(a.callsign, "KLM1234*");
    EXPECT_EQ(a.liveryTitle, "KLM A320");
    EXPECT_EQ(a.state, AircraftState::CreateRequested);
    EXPECT_EQ(a.standId, 2u);
    EXPECT_EQ(a.hexidCheck, 0x4840ABu);
    EXPECT_TRUE(a.planFlag);
    // Monday half-hour 1 less 3 half-hours: Sunday half-hour 46.
    EXPECT_EQ(a.parkedSince, (DayHour{7, 46}));
    ASSERT_EQ(staticCreateQueue.size(), 1u);
    const tzo::CreateRequest& r = staticCreateQueue.front();
    EXPECT_EQ(r.callsign, "KLM1234*");
    EXPECT_EQ(r.recordId, a.recordId);
    EXPECT_DOUBLE_EQ(r.position.Latitude, gf_standById(2)->latitude);
    EXPECT_EQ(r.position.OnGround, 1u);
}

TEST_F(Placement, withoutFirstCallsignTheAirlineAndRecordIdNameIt)
{
    for (int i = 0; i < 16; ++i)
        gf_nextStaticRecordId();
    realise(entry(2, ""));
    ASSERT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(staticAircraft[0].callsign, "KLM17*");
}

TEST_F(Placement, idsWrapToOneAndPassOverIdsStillHeld)
{
    parkStatic(2, "KLM1"); // id 1
    parkStatic(2, "KLM2"); // id 2
    for (int i = 2; i < 9999; ++i)
        gf_nextStaticRecordId();
    EXPECT_EQ(gf_nextStaticRecordId(), 3u); // 10000th: not 0, and 1 and 2 are held
}

TEST_F(Placement, noLiveryLeavesNoRecordAndQueuesNothing)
{
    realise(entry(2, "AFR12", "", true, "AFR"));
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(staticCreateQueue.empty());
}

TEST_F(Placement, aLiveAircraftAtOrNextToTheStandGivesNoStaticAircraft)
{
    LOG.setValue(true);
    parkLive(1, "SWR10", 1.0, tzo::kPhaseToStand);
    realise(entry(1, "KLM1"));
    realise(entry(3, "KLM3")); // A3 lists A1 as adjacent, 30 m apart: fits, still refused
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_NE(log().find("no static parking for KLM1, live aircraft SWR10 standing here"), std::string::npos);
    EXPECT_NE(log().find("no static parking for KLM3, live aircraft SWR10 is adjacent at A1"), std::string::npos);
}

// Whatever its phase: standing still where it stopped taxiing, pushed back
// or leaving, a live aircraft on the stand keeps a static one off it.
TEST_F(Placement, aLiveAircraftStandingOnTheStandInAnyPhaseGivesNoStaticAircraft)
{
    LOG.setValue(true);
    const tzo::ParkPos& a2 = *gf_standById(2);
    for (const std::uint32_t phase : {tzo::kPhaseGround, tzo::kPhasePushBack, tzo::kPhaseLeaveStand}) {
        liveAircraft.clear();
        tzo::LiveAircraft& live = parkLive(0, "SWR10", 17.0, phase);
        live.latitude = a2.latitude;
        live.longitude = a2.longitude;
        realise(entry(2, "KLM2"));
        EXPECT_TRUE(staticAircraft.empty()) << phase;
    }
    EXPECT_NE(log().find("A2      : no static parking for KLM2, live aircraft SWR10 standing here"), std::string::npos);
    const tzo::ParkPos& a1 = *gf_standById(1);
    liveAircraft.front().latitude = a1.latitude; // 100 m away
    liveAircraft.front().longitude = a1.longitude;
    realise(entry(2, "KLM2"));
    EXPECT_EQ(staticAircraft.size(), 1u);
}

TEST_F(Placement, aStandStillHeldIsTriedAfterTheOthersThenDroppedAfterThirtySeconds)
{
    parkStatic(1, "KLM9", AircraftState::BeingRemoved);
    staticParkingPlan.push_back(entry(2, "KLM2"));
    staticParkingPlan.push_back(entry(1, "KLM1"));
    gf_realiseParkingPlan();
    ASSERT_EQ(staticParkingPlan.size(), 2u);
    EXPECT_EQ(staticParkingPlan.front().firstCallsign, "KLM1"); // back to be tried after KLM2
    gf_realiseParkingPlan();
    EXPECT_EQ(staticAircraft.back().callsign, "KLM2*");
    liveTickCounter.store(liveTickCounter.load() + kStandWaitTicks - 1);
    gf_realiseParkingPlan();
    EXPECT_EQ(staticParkingPlan.size(), 1u);
    liveTickCounter.store(liveTickCounter.load() + 1);
    gf_realiseParkingPlan();
    EXPECT_TRUE(staticParkingPlan.empty());
    EXPECT_NE(log().find("A1      : no static parking for KLM1, the stand is still not free"), std::string::npos);
}

TEST_F(Placement, theUserStandingAtTheStandGetsNoAircraftInHim)
{
    userOnGround.store(true);
    const tzo::ParkPos& a2 = *gf_standById(2);
    userAircraft.latitude = a2.latitude;
    userAircraft.longitude = a2.longitude;
    realise(entry(2, "KLM2"));
    realise(entry(1, "KLM1"));
    ASSERT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(staticAircraft[0].standId, 1u);
    EXPECT_NE(log().find("no static parking for KLM2, the user aircraft stands here"), std::string::npos);
}

TEST_F(Placement, anEntryForAStandThatDoesNotExistIsDropped)
{
    realise(entry(44, "KLM44"));
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_NE(log().find("===> stand with id 44 not found"), std::string::npos);
}
