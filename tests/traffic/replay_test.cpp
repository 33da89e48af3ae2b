// A new object in the simulator stand-in: its two light toggles and its
// set-up as the live traffic times them, and a title the simulator refused
// never handed to the next aircraft of its type.

#include "replay_fixture.hpp"

#include <algorithm>

using namespace traffictest;
using testsupport::waitFor;

namespace {

// A live aircraft made from a report, with its create request built.
tzo::LiveAircraft& requestedAircraft(std::uint32_t hexid, double altitude)
{
    tzo::TrafficRecord r = report(hexid, 100.0, 47.46, altitude, altitude != 0.0 ? 250.0 : 0.0);
    r.callsign = "AUA" + std::to_string(hexid % 1000);
    r.airline = "AUA";
    tzo::AircraftRecord record = gf_makeAircraftRecord(r);
    record.recordId = hexid;
    tzo::LiveAircraft& a = liveAircraft.emplace_back(r, std::move(record), r.timestamp);
    a.samples.push_back(a.samples.front());
    a.movementPhase = altitude != 0.0 ? tzo::kPhaseFlight : tzo::kPhaseGround;
    a.altitude = altitude;
    return a;
}

std::size_t toggles(const simstub::SimStub& stub, std::uint32_t objectId)
{
    const auto o = stub.object(objectId);
    return o ? static_cast<std::size_t>(std::count_if(o->changes.begin(), o->changes.end(), [](const auto& c) {
        return c.event == "ALL_LIGHTS_TOGGLE";
    }))
             : 0;
}

TEST_F(ReplayIntoSimulator, aNewObjectGetsItsTogglesAtFiftyAndHundredTicksAndItsSetUpAtTwoHundred)
{
    m_stub->setUserVar("Plane Latitude", 47.40);
    m_stub->setUserVar("Plane Longitude", 8.55);
    requestUserStateAndWait();
    ASSERT_GE(userObjectId.load(), 1u);
    tzo::LiveAircraft& a = requestedAircraft(0x440001, 12000.0);
    tzo::gf_matchLivery(a);
    ASSERT_EQ(a.liveryTitle, "Austrian A320");
    a.state = tzo::AircraftState::CreateRequested;
    gf_buildCreateRequest(0x440001);
    gf_queueCreateAircraft(liveCreateQueue.front());
    frameAndSettle();
    ASSERT_TRUE(waitFor([&] { return m_stub->aiObjects().size() == 1; }));
    // What the connection posts when the next answer on the aircraft around
    // the user shows the new object (the replay test takes that road).
    tzo::gf_pushSimNotification({m_stub->aiObjects()[0].id, 0x440001, 0, tzo::NOTIFY_LIVE_CREATED, 0.0, 10584.0});
    gf_processSimNotifications(); // counts the first tick
    ASSERT_EQ(pendingLights.size(), 1u);
    const std::uint32_t objectId = liveAircraft[0].objectId;
    ASSERT_GT(objectId, userObjectId.load());
    const auto ticksTo = [](int count) {
        while (!pendingLights.empty() && pendingLights[0].retries < count)
            gf_processSimNotifications();
    };
    ticksTo(49);
    settle();
    EXPECT_EQ(toggles(*m_stub, objectId), 0u);
    ticksTo(50);
    settle();
    EXPECT_EQ(toggles(*m_stub, objectId), 1u);
    ticksTo(99);
    settle();
    EXPECT_EQ(toggles(*m_stub, objectId), 1u);
    ticksTo(100);
    ticksTo(200);
    EXPECT_EQ(liveAircraft[0].state, tzo::AircraftState::CreateRequested);
    gf_processSimNotifications();
    EXPECT_EQ(liveAircraft[0].state, tzo::AircraftState::InSimulator);
    frameAndSettle();
    const auto o = m_stub->object(objectId);
    ASSERT_TRUE(o);
    EXPECT_EQ(toggles(*m_stub, objectId), 2u);
    // The set-up's events by phase and height are the notification tests' part.
    EXPECT_TRUE(o->hasEvent("ENGINE_AUTO_START"));
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
}

TEST_F(ReplayIntoSimulator, aRefusedTitleIsNotGivenToTheNextAircraftOfItsType)
{
    tzo::gf_resetLiveryCatalogue();
    tzo::scannedLiveries = {tzo::LiveryData{"AUA", "A320", "Austrian A320", "", 1, false},
                            tzo::LiveryData{"AUA", "A320", "Austrian A320 Retro", "", 1, false}};
    tzo::gf_processScannedLiveries();
    tzo::LiveAircraft& a = requestedAircraft(0x440001, 12000.0);
    tzo::gf_matchLivery(a);
    ASSERT_FALSE(a.liveryTitle.empty());
    const std::string refused(a.liveryTitle);
    a.state = tzo::AircraftState::CreateRequested;
    tzo::gf_pushSimNotification({0, 0x440001, 0, tzo::NOTIFY_CREATE_FAILED, 0.0, 0.0});
    gf_processSimNotifications();
    EXPECT_TRUE(liveAircraft.empty());
    // The pick among the candidates is random: a refused pick gives no title
    // this time, never the refused one.
    RANDOM.setValue(true);
    int others = 0;
    for (std::uint32_t id = 0x440002; id < 0x440022; ++id) {
        tzo::LiveAircraft& b = requestedAircraft(id, 12000.0);
        tzo::gf_matchLivery(b);
        EXPECT_NE(b.liveryTitle, refused);
        others += b.liveryTitle.empty() ? 0 : 1;
    }
    EXPECT_GT(others, 0);
    RANDOM.setValue(RANDOM.defaultValue());
    tzo::gf_resetLiveriesNotCreated();
}

} // namespace
