// Removing aircraft: against the simulator stand-in one object leaves per
// 100 ms and the record with the removal notice, while the stand is free at
// once; records that never reached the simulator leave nothing behind. Then
// the live limit, static twins and the report of unmatched aircraft.

#include "airports/park_airport_hooks.hpp"
#include "airports/stand_builder.hpp"
#include "replay_fixture.hpp"
#include "traffic/removal.hpp"

#include <fmt/format.h>

using namespace traffictest;
using testsupport::waitFor;
using tzo::AircraftState;
using tzo::LiveAircraft;

namespace {

// A live aircraft in the simulator with that object, d nm north of 47 N 8 E.
LiveAircraft& liveAt(std::uint32_t hexid, double northNm, std::uint32_t objectId)
{
    LiveAircraft& a = liveAircraft.emplace_back(report(hexid, 100.0, 47.0 + northNm / 60.0),
                                                gf_makeAircraftRecord(report(hexid, 100.0)), 100.0);
    a.recordId = hexid;
    a.latitude = 47.0 + northNm / 60.0;
    a.longitude = 8.0;
    a.objectId = objectId;
    a.state = objectId != 0 ? AircraftState::InSimulator : AircraftState::New;
    a.onGround = true;
    return a;
}

class RemovalInSimulator : public TrafficInSimulator {
protected:
    void SetUp() override
    {
        TrafficInSimulator::SetUp();
        startQuietStub();
        startAndRegister();
        standtest::StandBuilder().stand("A1").occupied().stand("A2").install();
    }

    std::vector<std::uint32_t> createObjects(int count)
    {
        for (int i = 0; i < count; ++i) {
            tzo::CreateRequest r;
            r.position = {47.0, 8.0, 1500.0, 0.0, 0.0, 0.0, 1, 0};
            r.callsign = fmt::format("SWR{}", i);
            r.liveryTitle = "Swiss A320";
            r.recordId = 0x400000u + static_cast<std::uint32_t>(i);
            gf_queueCreateAircraft(r);
        }
        frameAndSettle();
        EXPECT_TRUE(waitFor([&] { return m_stub->aiObjects().size() == static_cast<std::size_t>(count); }));
        std::vector<std::uint32_t> ids;
        for (const auto& o : m_stub->aiObjects())
            ids.push_back(o.id);
        return ids;
    }
    std::size_t removals() { return m_stub->packetsNamed("AIRemoveObject").size(); }
    void tick()
    {
        gf_liveTraffic();
        frameAndSettle();
    }
};

TEST_F(RemovalInSimulator, objectsLeaveOnePerHundredMillisecondsAndTheRecordWithTheNotice)
{
    const auto ids = createObjects(3);
    ASSERT_EQ(ids.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
        liveAt(0x400001 + i, i, ids[i]);
    liveAircraft[0].standId = 1;
    for (LiveAircraft& a : liveAircraft)
        gf_removeAircraft(a);
    EXPECT_FALSE(parkPositions[0].occupied) << "freed before the simulator acted";
    for (const LiveAircraft& a : liveAircraft)
        EXPECT_EQ(a.state, AircraftState::BeingRemoved);

    liveTickCounter.store(1);
    std::vector<std::size_t> seen;
    for (int t = 1; t <= 30; ++t) {
        tick();
        seen.push_back(removals());
    }
    // Slots at ticks 10, 20 and 30.
    EXPECT_EQ(seen[8], 0u);
    EXPECT_EQ(seen[9], 1u);
    EXPECT_EQ(seen[18], 1u);
    EXPECT_EQ(seen[19], 2u);
    EXPECT_EQ(seen[29], 3u);
    for (int t = 0; t < 20 && !liveAircraft.empty(); ++t)
        tick();
    EXPECT_TRUE(liveAircraft.empty()) << "erased with the removal notices";
    EXPECT_TRUE(m_stub->aiObjects().empty());
}

TEST_F(RemovalInSimulator, recordsThatNeverReachedTheSimulatorLeaveNothingStuck)
{
    const auto ids = createObjects(1);
    ASSERT_EQ(ids.size(), 1u);
    LiveAircraft& fresh = liveAt(0x400001, 1, 0);
    fresh.standId = 2;
    parkPositions[1].occupied = true;
    LiveAircraft& queued = liveAt(0x400002, 2, 0);
    queued.state = AircraftState::CreateRequested;
    idsToCreate.push_back(queued.recordId);
    LiveAircraft& sent = liveAt(0x400003, 3, 0);
    sent.state = AircraftState::CreateRequested;
    for (LiveAircraft& a : liveAircraft)
        gf_removeAircraft(a);
    EXPECT_FALSE(parkPositions[1].occupied);
    EXPECT_TRUE(idsToCreate.empty());
    EXPECT_TRUE(removalQueue.empty()) << "nothing aimed at object 0";
    EXPECT_NE(log().find("removing act SWR307"), std::string::npos);

    liveTickCounter.store(1);
    tick();
    ASSERT_EQ(liveAircraft.size(), 1u) << "the new and the queued one are erased";
    EXPECT_EQ(liveAircraft[0].recordId, 0x400003u);
    // The sent one's object shows up: it is removed instead of set up.
    tzo::gf_pushSimNotification({ids[0], 0x400003, 0, tzo::NOTIFY_LIVE_CREATED, 0.0, 0.0});
    for (int t = 0; t < 40 && !liveAircraft.empty(); ++t)
        tick();
    EXPECT_TRUE(liveAircraft.empty());
    const auto packets = m_stub->packetsNamed("AIRemoveObject");
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].u32("objectId"), ids[0]);
}

TEST_F(RemovalInSimulator, aStaticThatMadePlaceLeavesTheLiveAircraftsStandOccupied)
{
    LiveAircraft& parked = liveAt(0x400001, 0, 200);
    parked.standId = 1;
    parked.movementPhase = tzo::kPhaseParked;
    tzo::AircraftRecord& old = staticAircraft.emplace_back();
    old.callsign = "SWR9*";
    old.recordId = 12;
    old.objectId = 201;
    old.standId = 1;
    old.state = AircraftState::InSimulator;
    gf_removeAircraft(old);
    EXPECT_TRUE(parkPositions[0].occupied);
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{201});
}

struct LiveLimits : TrafficTest {
    tzo::ParkAirportHooks saved = gf_parkAirportHooks();
    static inline std::vector<std::uint16_t> cleared;

    LiveLimits()
    {
        cleared.clear();
        tzo::ParkAirportHooks hooks = saved;
        hooks.clearFieldText = [](tzo::ParameterControl& c) { cleared.push_back(c.controlId()); };
        gf_installParkAirportHooks(hooks);
        userAircraft.latitude = 47.0;
        userAircraft.longitude = 8.0;
    }
    ~LiveLimits() override
    {
        gf_installParkAirportHooks(saved);
        MAX_LIVE.setValue(MAX_LIVE.defaultValue());
    }
    static std::vector<std::uint32_t> removed()
    {
        std::vector<std::uint32_t> ids;
        for (const LiveAircraft& a : liveAircraft)
            if (a.state == AircraftState::BeingRemoved)
                ids.push_back(a.recordId);
        return ids;
    }
};

TEST_F(LiveLimits, theDefaultLimitRemovesNothingAndEmptiesItsField)
{
    for (std::uint32_t i = 0; i < 5; ++i)
        liveAt(0x400001 + i, i + 1.0, 100 + i);
    gf_limitLiveCount();
    EXPECT_TRUE(removed().empty());
    EXPECT_EQ(cleared, std::vector<std::uint16_t>{MAX_LIVE.controlId()});
}

TEST_F(LiveLimits, fiftyOfFiftyThreeRemovesTheThreeFarthest)
{
    MAX_LIVE.setValue(50);
    for (std::uint32_t i = 0; i < 53; ++i)
        liveAt(0x400001 + i, (i * 7 % 53) + 1.0, 100 + i); // shuffled distances 1..53 nm
    gf_limitLiveCount();
    std::vector<double> distances;
    for (const LiveAircraft& a : liveAircraft)
        if (a.state == AircraftState::BeingRemoved)
            distances.push_back(std::round((a.latitude - 47.0) * 60.0));
    std::sort(distances.begin(), distances.end());
    EXPECT_EQ(distances, (std::vector<double>{51.0, 52.0, 53.0}));
    EXPECT_TRUE(cleared.empty());
}

TEST_F(LiveLimits, lessThanATenthOfAMileFartherIsNoNewCandidate)
{
    liveAt(0x400001, 20.00, 100);
    liveAt(0x400002, 20.05, 101);
    EXPECT_FALSE(gf_farthestTest(-1.0));
    EXPECT_EQ(removed(), std::vector<std::uint32_t>{0x400001});
    EXPECT_TRUE(gf_farthestTest(20.05)) << "nothing beyond it";
}

TEST_F(LiveLimits, staticTwinsGoOnePerGroundedLiveAircraft)
{
    liveAt(0x400001, 1, 100).callsign = "SWR1";
    LiveAircraft& byRegistration = liveAt(0x400002, 2, 101);
    byRegistration.callsign = "EDW2";
    byRegistration.registration = "HB-JXA";
    LiveAircraft& flying = liveAt(0x400003, 3, 102);
    flying.callsign = "SWR3";
    flying.onGround = false;
    LiveAircraft& creating = liveAt(0x400004, 4, 103);
    creating.callsign = "SWR4";
    creating.state = AircraftState::CreateRequested;
    struct Twin {
        const char* callsign;
        const char* registration;
        AircraftState state;
        bool goes;
    };
    const std::vector<Twin> twins = {
        {"SWR1*", "", AircraftState::CreateRequested, false}, {"SWR1*", "", AircraftState::InSimulator, true},
        {"SWR1*", "", AircraftState::InSimulator, false},     {"XYZ1*", "HB-JXA", AircraftState::InSimulator, true},
        {"SWR3*", "", AircraftState::InSimulator, false},     {"SWR4*", "", AircraftState::InSimulator, false},
    };
    for (std::size_t i = 0; i < twins.size(); ++i) {
        tzo::AircraftRecord& s = staticAircraft.emplace_back();
        s.callsign = twins[i].callsign;
        s.registration = twins[i].registration;
        s.state = twins[i].state;
        s.objectId = 300 + static_cast<std::uint32_t>(i);
    }
    gf_removeStaticTwins();
    for (std::size_t i = 0; i < twins.size(); ++i)
        EXPECT_EQ(staticAircraft[i].state == AircraftState::BeingRemoved, twins[i].goes) << i;
}

TEST_F(LiveLimits, unmatchedAircraftAreLoggedInOrderAndNothingWhenThereAreNone)
{
    gf_logNoMatches();
    EXPECT_EQ(log().find("No match"), std::string::npos);
    noMatches["SWR B744"] = 2;
    noMatches["AUA A320 OE-LBA"] = 1;
    gf_logNoMatches();
    EXPECT_NE(log().find("\nNo match found for: \nAUA A320 OE-LBA\nSWR B744\n\n"), std::string::npos) << log();
}

} // namespace
