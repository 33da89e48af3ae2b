// The recorded Zürich tracks, sent by the RealTraffic stand-in in steps of
// replay time while the test drives the live traffic's ticks, become AI
// objects in the simulator stand-in: with callsigns, titles from a small
// livery catalogue, first positions, freezes and the events of their first
// seconds, and positions only once they are in the simulator.

#include "replay_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

using namespace traffictest;
using testsupport::waitFor;

namespace {

TEST_F(ReplayIntoSimulator, theThreeZurichTracksBecomeObjectsWithTheirEvents)
{
    // The user 15 nm north of Zürich, on the ground, clear of the tracks.
    placeUserAndWait(47.70, 8.56, 1500.0);
    liveTickCounter.store(100);
    gf_liveTraffic();
    ASSERT_NEAR(userAircraft.latitude, 47.70, 1e-9);
    trafficReader.setUserPosition(userAircraft.latitude, userAircraft.longitude);
    gf_storeRange(40.0);
    // Ground traffic is taken only around a park airport.
    trafficReader.setParkAirport(47.4647, 8.5492);
    trafficReader.setParkAirportElevation(1416.0);
    gf_setFlightRunning(true);

    testsupport::RunningReader reader(trafficReader, true);
    ASSERT_TRUE(reader.started);
    rtstub::RtStub rt(reader.port(), 0);
    std::vector<rtstub::ReplayTrack> tracks;
    for (const auto& file : rtstub::defaultReplayFiles())
        tracks.push_back(rtstub::loadReplayTrack(file));
    const auto lines = rtstub::replayLines(tracks, kReplayStart);
    rtstub::SteppedReplay replay(rt, lines);

    std::map<std::uint32_t, std::uint32_t> createdAtTick; // record id, tick handed to the simulator
    const std::uint32_t first = liveTickCounter.load();
    for (std::uint32_t n = 0; n < 4500; ++n) {
        const std::uint32_t tick = liveTickCounter.load();
        if (tick % 100 == 0) {
            const std::size_t before = replay.sent();
            if (replay.sendUntil((tick - first) / 100.0) > 0) {
                const double last = kReplayStart + lines[replay.sent() - 1].offsetSeconds;
                ASSERT_TRUE(waitFor([&] { return reader.port() != 0 && trafficReader.timestamp() >= last; }))
                    << "lines " << before << " to " << replay.sent();
            }
        }
        std::size_t creations;
        {
            std::lock_guard lock(simQueueMutex);
            creations = createQueue.size();
        }
        gf_liveTraffic();
        {
            std::lock_guard lock(simQueueMutex);
            if (createQueue.size() > creations)
                createdAtTick.emplace(createQueue.back().recordId, tick);
        }
        if (tick % 5 == 0)
            frameAndSettle();
    }
    frameAndSettle();

    const auto objects = m_stub->aiObjects();
    ASSERT_EQ(objects.size(), 3u) << log();
    std::map<std::string, simstub::SimObjectState> byCallsign;
    for (const auto& o : objects)
        byCallsign.emplace(o.atcId, o);
    for (const auto& [callsign, title, onGround] :
         {std::tuple{"AUA570", "Austrian A320", true}, {"AFR181L", "Air France A319", true},
          {"DLH4TR", "Lufthansa A321", false}}) {
        ASSERT_TRUE(byCallsign.contains(callsign)) << callsign;
        const simstub::SimObjectState& o = byCallsign.at(callsign);
        EXPECT_EQ(o.title, title);
        // Created where one of its reports saw it.
        EXPECT_TRUE(std::any_of(tracks.begin(), tracks.end(), [&](const rtstub::ReplayTrack& t) {
            return std::any_of(t.samples.begin(), t.samples.end(), [&](const rtstub::ReplaySample& r) {
                return r.callsign == callsign && std::fabs(r.latitude - o.firstLatitude) < 1e-6 &&
                       std::fabs(r.longitude - o.firstLongitude) < 1e-6;
            });
        })) << callsign << " " << o.firstLatitude << " " << o.firstLongitude;
        EXPECT_EQ(o.vars.at("SIM ON GROUND") != 0.0, onGround) << callsign;
        // Frozen, then two toggles, then engines and lights.
        for (const char* freeze : {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"})
            EXPECT_EQ(o.event(freeze), 1u) << callsign << " " << freeze;
        std::vector<std::uint64_t> toggles;
        std::uint64_t engines = 0;
        for (const auto& c : o.changes) {
            if (c.event == "ALL_LIGHTS_TOGGLE")
                toggles.push_back(c.frame);
            if (c.event == "ENGINE_AUTO_START" || c.event == "ENGINE_AUTO_SHUTDOWN")
                engines = c.frame;
        }
        ASSERT_EQ(toggles.size(), 2u) << callsign;
        EXPECT_GT(toggles[1], toggles[0]);
        EXPECT_GT(engines, toggles[1]) << callsign;
        EXPECT_TRUE(o.hasEvent("NAV_LIGHTS_SET")) << callsign;
        if (onGround) {
            // Taxiing: flaps 1, set between two releases of AI control (one
            // more came with the freezes at creation).
            EXPECT_EQ(o.event("FLAPS_SET"), 3072u) << callsign;
            EXPECT_EQ(o.releases, 3u) << callsign;
            EXPECT_EQ(o.event("TAXI_LIGHTS_SET"), 1u) << callsign;
        }
        EXPECT_GT(o.dataSets, 0u) << callsign;
    }

    // Creations at least 500 ms apart.
    ASSERT_EQ(createdAtTick.size(), 3u);
    std::vector<std::uint32_t> ticks;
    for (const auto& [id, tick] : createdAtTick)
        ticks.push_back(tick);
    std::sort(ticks.begin(), ticks.end());
    for (std::size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 50u);

    // Positions only from the simulator state on: none before the second toggle.
    for (const auto& p : m_stub->packetsNamed("SetDataOnSimObject")) {
        if (p.u32("defineId") != tzo::DEFINITION_AI_POSITION)
            continue;
        const auto it = std::find_if(objects.begin(), objects.end(),
                                     [&](const auto& o) { return o.id == p.u32("objectId"); });
        ASSERT_NE(it, objects.end());
        const auto toggle = std::find_if(it->changes.begin(), it->changes.end(),
                                         [](const auto& c) { return c.event == "ALL_LIGHTS_TOGGLE"; });
        ASSERT_NE(toggle, it->changes.end());
        EXPECT_GE(p.frame, toggle->frame);
    }
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
    EXPECT_TRUE(m_stub->protocolErrors().empty());
    reader.stop();
}

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
