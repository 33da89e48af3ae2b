// Which version of an aircraft goes: static duplicates of a live aircraft,
// the contest for a stand, blocked records, the flush, the reserved stand and
// the stand freed at the end of a removal.

#include "static_fixture.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/new_aircraft.hpp"
#include "traffic/sim_events.hpp"

using namespace traffictest;
using tzo::AircraftState;

namespace {

std::string g_reserved;

struct Duplicates : StaticTest {
    Duplicates()
    {
        stands.stand("A1", 0, 0, 20);
        stands.stand("A2", 0, 100, 20);
        stands.install();
    }
    ~Duplicates() override
    {
        gf_setReservedStandSource(nullptr);
        g_reserved.clear();
    }
    bool duplicates(const tzo::LiveAircraft& live, const tzo::AircraftRecord& parked)
    {
        const std::string stem = live.callsign.substr(0, live.callsign.size() - 1);
        return gf_removeStaticDuplicate(live, stem, live.onGround, parked);
    }
};

} // namespace

TEST_F(Duplicates, aStaticAircraftGoesForItsHexidRegistrationOrCallsignCouple)
{
    LOG.setValue(true);
    tzo::AircraftRecord& s = parkStatic(1, "KLM1234");
    s.secondCallsign = "KLM1235";
    s.registration = "PH-BXA";
    const tzo::AircraftRecord parked = s;
    const struct {
        const char* callsign;
        const char* second;
        const char* registration;
        bool duplicate;
    } cases[] = {
        {"KLM1235", "", "", true},  // the couple's second flight lands
        {"KLM1234_", "", "", true}, // a ghost of the first
        {"KLM1234", "", "", true},
        {"AFR12", "KLM1235", "", true},
        {"AFR12", "", "PH-BXA", true},
        {"AFR12", "", "", false}, // empty registrations never match
        {"KLM123", "", "", false},
        {"KLM12345", "", "", false},
    };
    for (const auto& c : cases) {
        tzo::LiveAircraft live = parkLive(0, c.callsign);
        liveAircraft.pop_back();
        live.secondCallsign = c.second;
        live.registration = c.registration;
        EXPECT_EQ(duplicates(live, parked), c.duplicate) << c.callsign;
    }
    EXPECT_NE(log().find("has coupled callsign"), std::string::npos);
    EXPECT_NE(log().find("has same callsign"), std::string::npos);

    tzo::AircraftRecord noRegistration = parked;
    noRegistration.registration.clear();
    tzo::LiveAircraft live = parkLive(0, "AFR12");
    EXPECT_FALSE(duplicates(live, noRegistration));
    tzo::AircraftRecord notYet = parked;
    notYet.state = AircraftState::CreateRequested;
    live.callsign = "KLM1234";
    EXPECT_FALSE(duplicates(live, notYet));
    tzo::AircraftRecord byHexid = parked;
    byHexid.firstCallsign = byHexid.secondCallsign = byHexid.registration = "";
    byHexid.planFlag = true;
    byHexid.hexidCheck = live.recordId;
    EXPECT_TRUE(duplicates(live, byHexid));
}

TEST_F(Duplicates, theContestForAStandFollowsTheGhostRules)
{
    const struct {
        const char* parked;
        const char* newcomer;
        bool approach;
        bool parkedRemoved;
        bool available;
    } cases[] = {
        {"DLH4AB", "DLH4AB", false, true, true},   // same callsign
        {"DLH4AB", "DLH4AB_", false, false, false}, // the newcomer is a ghost
        {"DLH4AB_", "DLH4AB", false, true, true},   // the parked one is a ghost
        {"BAW12", "BAW123", true, false, false},    // no ghost: the approach flag decides
        {"BAW12", "BAW123", false, true, true},
        {"AFR99_", "BAW12", true, true, true},
        {"AFR99", "BAW12_", false, false, false},
        {"AFR99", "BAW12", true, false, false},
        {"AFR99", "BAW12", false, true, true},
    };
    for (const auto& c : cases) {
        liveAircraft.clear();
        tzo::LiveAircraft& p = parkLive(1, c.parked);
        p.standApproach = c.approach;
        bool available = true;
        EXPECT_TRUE(lf_callsignContest(*gf_standById(1), c.newcomer, available, p));
        EXPECT_EQ(p.state == AircraftState::BeingRemoved, c.parkedRemoved) << c.parked << " " << c.newcomer;
        EXPECT_EQ(available, c.available) << c.parked << " " << c.newcomer;
    }
    tzo::LiveAircraft& elsewhere = parkLive(2, "AFR1");
    bool available = true;
    EXPECT_FALSE(lf_callsignContest(*gf_standById(1), "AFR1", available, elsewhere));
}

TEST_F(Duplicates, blockedRecordsAreErasedWhileNewAndRemovedInTheSimulator)
{
    parkLive(0, "BLK1");
    parkLive(0, "BLK2");
    liveAircraft[0].state = AircraftState::New;
    liveAircraft[0].objectId = 0;
    for (tzo::LiveAircraft& a : liveAircraft)
        lf_removeBlocked(a.recordId, a);
    EXPECT_TRUE(liveAircraft[0].erase);
    EXPECT_EQ(liveAircraft[1].state, AircraftState::BeingRemoved);
    EXPECT_NE(log().find("will be removed from buffer while blocked"), std::string::npos);
    EXPECT_NE(log().find("removed from simulator immediately while blocked"), std::string::npos);
}

TEST_F(Duplicates, theFlushRemovesQueuesWithdrawsAndMarksCreationsInFlight)
{
    parkStatic(1, "KLM1");                                      // in the simulator
    parkStatic(2, "KLM2", AircraftState::CreateRequested);      // still queued
    parkStatic(2, "KLM3", AircraftState::CreateRequested);      // handed to the simulator
    parkStatic(1, "KLM4", AircraftState::BeingRemoved);
    tzo::CreateRequest queued;
    queued.callsign = "KLM2*";
    queued.recordId = staticAircraft[1].recordId;
    staticCreateQueue.push_back(queued);

    gf_removeAllStatic();
    ASSERT_EQ(staticAircraft.size(), 3u);
    EXPECT_TRUE(staticCreateQueue.empty());
    EXPECT_EQ(staticAircraft[0].state, AircraftState::BeingRemoved);
    EXPECT_EQ(removalQueue.size(), 1u);
    const auto third = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                    [](const auto& a) { return a.callsign == "KLM3*"; });
    ASSERT_NE(third, staticAircraft.end());
    EXPECT_TRUE(third->makesPlace);
}

TEST_F(Duplicates, theReservedStandLosesOneAircraftPerCall)
{
    gf_setReservedStandSource([] { return g_reserved; });
    g_reserved = "A1";
    parkStatic(1, "KLM1");
    parkLive(1, "SWR1");
    gf_clearReservedStand();
    EXPECT_EQ(staticAircraft[0].state, AircraftState::BeingRemoved);
    EXPECT_EQ(liveAircraft[0].state, AircraftState::InSimulator);
    gf_clearReservedStand();
    EXPECT_EQ(liveAircraft[0].state, AircraftState::BeingRemoved);
    g_reserved = "NOSUCH";
    parkLive(2, "SWR2");
    gf_clearReservedStand();
    EXPECT_EQ(liveAircraft[1].state, AircraftState::InSimulator);
}

TEST_F(Duplicates, aRemovedObjectFreesItsStand)
{
    tzo::LiveAircraft& live = parkLive(1, "SWR1");
    const std::uint32_t objectId = live.objectId;
    gf_standById(1)->occupied = true;
    lf_onAiObjectRemoved(objectId);
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_FALSE(gf_standById(1)->occupied);

    // A static aircraft that made place for a live one leaves the stand to it.
    const std::uint32_t staticObject = parkStatic(2, "KLM2").objectId;
    staticAircraft[0].state = AircraftState::BeingRemoved;
    parkLive(2, "SWR2");
    gf_standById(2)->occupied = true;
    lf_onAiObjectRemoved(staticObject);
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(gf_standById(2)->occupied);
}
