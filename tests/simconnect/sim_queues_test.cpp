// Outgoing queues, frame-driven sending and AI creation against the stand-in.

#include "sim_layer_fixture.hpp"

#include <set>
#include <thread>

using namespace simtest;

namespace {

constexpr std::uint32_t kLiveRecordId = 0x4CA1B2; // a hex id, above 10000
constexpr std::uint32_t kStaticRecordId = 17;

tzo::CreateRequest createRequest(std::string_view title, std::string callsign, std::uint32_t recordId,
                                 double latitude = 47.46)
{
    tzo::CreateRequest r;
    r.position.Latitude = latitude;
    r.position.Longitude = 8.56;
    r.position.Altitude = 1416.0;
    r.position.Heading = 1.2;
    r.position.OnGround = 1;
    r.callsign = std::move(callsign);
    r.liveryTitle = title;
    r.recordId = recordId;
    return r;
}

std::vector<std::string> namesSince(const std::vector<simstub::Packet>& packets, std::size_t from)
{
    std::vector<std::string> names;
    for (std::size_t i = from; i < packets.size(); ++i)
        names.push_back(packets[i].name);
    return names;
}

} // namespace

class SimQueues : public SimLayer {
protected:
    void SetUp() override
    {
        SimLayer::SetUp();
        simstub::Options options;
        options.refusedTitles = {"Refused Livery"};
        startQuietStub(options);
        startAndRegister();
        requestUserStateAndWait(); // the user's object id (1) is known from here on
    }

    // Creates one AI aircraft end to end and answers its object id.
    std::uint32_t createAircraft(std::string_view title, const std::string& callsign, std::uint32_t recordId)
    {
        const std::size_t before = m_stub->aiObjects().size();
        gf_queueCreateAircraft(createRequest(title, callsign, recordId));
        frameAndSettle();
        EXPECT_TRUE(testsupport::waitFor([&] { return m_stub->aiObjects().size() == before + 1; }));
        std::uint32_t created = 0;
        EXPECT_TRUE(testsupport::waitFor([&] {
            for (const auto& n : tzo::gf_takeSimNotifications())
                if (n.kind == tzo::NOTIFY_LIVE_CREATED || n.kind == tzo::NOTIFY_STATIC_CREATED)
                    created = n.objectId;
            return created != 0;
        }));
        return created;
    }

    std::string title = "Stand-in Airbus A320 Lufthansa";
};

TEST_F(SimQueues, creationEndToEndReleasesFreezesAndNotifies)
{
    const std::size_t start = m_stub->packets().size();
    gf_queueCreateAircraft(createRequest(title, "DLH4AB", kLiveRecordId));
    gf_queueCreateAircraft(createRequest(title, "DLH4AC", kLiveRecordId + 1, 52.0)); // far outside any range
    settle();
    EXPECT_TRUE(m_stub->packetsNamed("AICreateNonATCAircraft").empty()) << "nothing is sent between frames";

    frameAndSettle();
    const auto creates = m_stub->packetsNamed("AICreateNonATCAircraft");
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[0].text("containerTitle"), title);
    EXPECT_EQ(creates[0].text("tailNumber"), "DLH4AB");
    EXPECT_DOUBLE_EQ(creates[0].f64("latitude"), 47.46);
    EXPECT_NE(creates[0].u32("requestId"), creates[1].u32("requestId")) << "each creation its own request";
    ASSERT_EQ(m_stub->aiObjects().size(), 2u);

    // Each object is told by the answer to its own creation request, without
    // a request for the aircraft around the user, wherever it is.
    const auto n = waitForNotifications(2);
    ASSERT_EQ(n.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(n[i].kind, tzo::NOTIFY_LIVE_CREATED);
        EXPECT_EQ(m_stub->object(n[i].objectId)->atcId, n[i].info == kLiveRecordId ? "DLH4AB" : "DLH4AC");
    }
    EXPECT_TRUE(addedObjectIds.empty()) << "the program's own objects are no strangers";
    EXPECT_TRUE(pendingCreations.empty());
    const std::uint32_t objectId = n[0].objectId;

    // Released at once, frozen with the next frame.
    ASSERT_TRUE(testsupport::waitFor([&] { return m_stub->object(objectId)->releases == 1; }));
    frameAndSettle();
    const auto o = *m_stub->object(objectId);
    EXPECT_FALSE(o.aiControlled);
    EXPECT_EQ(o.event("FREEZE_LATITUDE_LONGITUDE_SET"), 1u);
    EXPECT_EQ(o.event("FREEZE_ALTITUDE_SET"), 1u);
    EXPECT_EQ(o.event("FREEZE_ATTITUDE_SET"), 1u);
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
    EXPECT_GT(m_stub->packets().size(), start);
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}

TEST_F(SimQueues, staticAircraftIsNotifiedAsStatic)
{
    gf_queueCreateAircraft(createRequest(title, "PARK18", 18));
    frameAndSettle();
    const auto n = waitForNotifications(1);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_STATIC_CREATED);
    EXPECT_EQ(n[0].info, 18u);
    EXPECT_EQ(n[0].value2, 0.0);
}

TEST_F(SimQueues, refusedTitleGivesCreationFailedWithTheRecordId)
{
    gf_queueCreateAircraft(createRequest("Refused Livery", "BAW12", kLiveRecordId));
    frameAndSettle();
    const auto n = waitForNotifications(1);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_CREATE_FAILED);
    EXPECT_EQ(n[0].info, kLiveRecordId);
    EXPECT_EQ(n[0].objectId, 0u);
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_EQ(simRequestErrorCount.load(), 0);
}

TEST_F(SimQueues, textTooLongIsACreationFailureButNoSimulatorError)
{
    gf_queueCreateAircraft(createRequest(title, "ABCDEFGHIJKL", kLiveRecordId)); // 12 characters
    const std::string longTitle(256, 'T');
    gf_queueCreateAircraft(createRequest(longTitle, "OK1", 4711));
    frameAndSettle();
    const auto n = waitForNotifications(2);
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_CREATE_FAILED);
    EXPECT_EQ(n[0].info, kLiveRecordId);
    EXPECT_EQ(n[1].info, 4711u);
    EXPECT_EQ(simRequestErrorCount.load(), 0);
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_TRUE(m_stub->packetsNamed("AICreateNonATCAircraft").empty());
    EXPECT_TRUE(logHas("! Simcon call to create ac in sim failed, hexid:5022130, liv: \"" + title +
                       "\", callsign: ABCDEFGHIJKL"));
}

TEST_F(SimQueues, objectNotCreatedByUsIsLoggedAndLeftAlone)
{
    // Another program's aircraft with the callsign of no creation of ours.
    gf_queueCreateAircraft(createRequest(title, "DLH1", kLiveRecordId));
    frameAndSettle();
    waitForNotifications(1);
    const std::uint32_t ours = m_stub->aiObjects()[0].id;
    const std::uint32_t stranger = ours + 50;
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, stranger).dispatch();
    dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, tzo::REQUEST_IN_RANGE, stranger, tzo::DEFINITION_IN_RANGE,
                inRangeData(0.0, 400.0, true, "DLH1"))
        .dispatch();
    EXPECT_TRUE(logHas(fmt::format("just created, but not by Norvane_P3D, oid: {}, callsign \"DLH1\" unknown", stranger)));
    EXPECT_TRUE(tzo::gf_takeSimNotifications().empty());
}

TEST_F(SimQueues, creationsWithoutAnAnswerAreGivenUpAndTheirLateObjectsRemoved)
{
    // The simulator holds its answer back: after 30 s the creation is given
    // up; the object that then comes for it is removed at once.
    m_stub->holdCreationAnswers(true);
    gf_queueCreateAircraft(createRequest(title, "LATE1", kLiveRecordId));
    frameAndSettle();
    ASSERT_EQ(m_stub->aiObjects().size(), 1u);
    const std::uint32_t late = m_stub->aiObjects()[0].id;
    ASSERT_EQ(pendingCreations.size(), 1u);
    // The simulator's seconds, not the clock's, tell how long it waited.
    requestUserOnGroundEachSecond();
    settle();
    m_stub->answerSeconds(static_cast<int>(tzo::kCreationAnswerTime.count()));
    frameAndSettle();
    EXPECT_EQ(pendingCreations.size(), 1u) << "30 s are not over yet";
    m_stub->answerSeconds(1);
    frameAndSettle();
    const auto n = waitForNotifications(1);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_CREATION_GIVEN_UP);
    EXPECT_EQ(n[0].info, kLiveRecordId);
    EXPECT_TRUE(logHas("creation of LATE1 (record 5022130) not answered in 30 s: given up"));

    m_stub->releaseCreationAnswers();
    settle();
    frameAndSettle();
    EXPECT_FALSE(m_stub->object(late).has_value()) << "no record waits for it";
    EXPECT_TRUE(logHas(fmt::format("answered with object {}, but no aircraft waits for it: removed", late)));
    // The removal's notice comes through the connection's thread: waited for.
    EXPECT_EQ(waitForNotifications(1).size(), 1u) << "its removal only";
}

TEST_F(SimQueues, frameSendsPositionsEventsCreationsRemovalsInThatOrder)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    const std::uint32_t b = createAircraft(title, "BBB2", kLiveRecordId + 1);
    frameAndSettle(); // the freezes
    const std::size_t start = m_stub->packets().size();

    {
        std::lock_guard lock(simQueueMutex);
        removeQueue.push_back(b);
    }
    gf_queueCreateAircraft(createRequest(title, "CCC3", kLiveRecordId + 2));
    gf_queueNavLights(a, 1);
    positionsFilling.push_back(tzo::PositionUpdate{47.5, 8.6, 0.1, 0.2, 0.3, 2000.0, 5.0, 150.0, a});
    gf_handOverPositions();
    settle();
    EXPECT_EQ(m_stub->packets().size(), start) << "nothing goes out between frames";

    frameAndSettle();
    const auto packets = m_stub->packets();
    // The new object's answer brings its release and its data request after the burst.
    const auto names = namesSince(packets, start);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
              (std::vector<std::string>{"SetDataOnSimObject", "TransmitClientEvent", "AICreateNonATCAircraft",
                                        "AIRemoveObject"}));
    std::set<std::uint64_t> frames;
    for (std::size_t i = start; i < start + 4; ++i)
        frames.insert(packets[i].frame);
    EXPECT_EQ(frames.size(), 1u) << "one burst in one frame";
    const auto moved = *m_stub->object(a);
    EXPECT_DOUBLE_EQ(moved.var("Plane Latitude"), 47.5);
    EXPECT_DOUBLE_EQ(moved.var("Airspeed True"), 150.0);
    EXPECT_EQ(moved.event("NAV_LIGHTS_SET"), 1u);
    EXPECT_FALSE(m_stub->object(b).has_value());
    EXPECT_TRUE(positionsToSend.empty());
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
    // The simulator's removal comes back as a notification.
    bool removed = false;
    for (const auto& n : waitForNotifications(1))
        removed = removed || (n.kind == tzo::NOTIFY_REMOVED && n.objectId == b);
    EXPECT_TRUE(removed);
}

TEST_F(SimQueues, busyQueueLockDefersEverythingToTheNextFrame)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    frameAndSettle();
    const std::size_t start = m_stub->packets().size();
    gf_queueLights(a, tzo::LightStates{1, 1, 0, 1, 0, 1, 1});
    {
        std::lock_guard held(simQueueMutex);
        frameAndSettle();
        EXPECT_EQ(m_stub->packets().size(), start);
        EXPECT_EQ(eventQueue.size(), 7u);
    }
    frameAndSettle();
    const auto sent = m_stub->packetsNamed("TransmitClientEvent");
    std::vector<std::uint32_t> order;
    for (const auto& p : sent)
        if (p.frame == m_stub->frameNumber())
            order.push_back(p.u32("eventId"));
    EXPECT_EQ(order, (std::vector<std::uint32_t>{208, 207, 211, 209, 210, 213, 212}));
    for (const auto& p : sent)
        EXPECT_EQ(p.u32("groupId"), 301u);
    const auto o = *m_stub->object(a);
    EXPECT_EQ(o.event("LANDING_LIGHTS_SET"), 0u);
    EXPECT_EQ(o.event("CABIN_LIGHTS_SET"), 1u);
}

TEST_F(SimQueues, flapsAreSetBetweenTwoReleases)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    frameAndSettle();
    const std::size_t start = m_stub->packets().size();
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.push_back(tzo::EventCommand{a, tzo::FLAPS_SET, 8192});
        eventQueue.push_back(tzo::EventCommand{a, tzo::GEAR_SET, 1});
    }
    frameAndSettle();
    const auto packets = m_stub->packets();
    EXPECT_EQ(namesSince(packets, start), (std::vector<std::string>{"AIReleaseControl", "TransmitClientEvent",
                                                                     "AIReleaseControl", "TransmitClientEvent"}));
    EXPECT_EQ(packets[start].u32("requestId"), 103u);
    EXPECT_EQ(m_stub->object(a)->event("FLAPS_SET"), 8192u);
}

TEST_F(SimQueues, nothingEverTargetsTheUsersObject)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    frameAndSettle();
    ASSERT_EQ(userObjectId.load(), 1u);
    for (std::uint32_t id : {0u, 1u}) {
        positionsFilling.push_back(tzo::PositionUpdate{1, 2, 3, 4, 5, 6, 7, 8, id});
        gf_queueNavLights(id, 1);
        gf_queueEngineStart(id);
        std::lock_guard lock(simQueueMutex);
        removeQueue.push_back(id);
    }
    gf_handOverPositions();
    frameAndSettle();
    EXPECT_TRUE(m_stub->misdirectedPackets().empty());
    EXPECT_TRUE(logHas("!Simconnect call to remove AI ac with objectId 1"));
    EXPECT_TRUE(logHas("!Simconnect call to remove AI ac with objectId 0"));
    EXPECT_TRUE(m_stub->object(a).has_value());
}

TEST_F(SimQueues, thirdRequestErrorDiscardsTheQueuesAndRestartsIn10Seconds)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    frameAndSettle();
    gf_simConnectRequestError();
    gf_simConnectRequestError();
    EXPECT_TRUE(exits().empty());
    gf_simConnectRequestError();
    EXPECT_EQ(Recorder::get().copy(Recorder::get().statuses).back(), "SimConnect request error 3, see Log.txt");
    ASSERT_EQ(exits().size(), 1u);
    EXPECT_EQ(exits()[0], std::make_pair(ExitReason::RESTART, 10));
    EXPECT_TRUE(simErrorFlag.load());

    const std::size_t start = m_stub->packets().size();
    gf_queueNavLights(a, 1);
    gf_queueCreateAircraft(createRequest(title, "BBB2", kLiveRecordId + 1));
    positionsFilling.push_back(tzo::PositionUpdate{1, 2, 3, 4, 5, 6, 7, 8, a});
    gf_handOverPositions();
    {
        std::lock_guard lock(simQueueMutex);
        removeQueue.push_back(a);
    }
    gf_requestUserAircraftState(); // not sent either
    frameAndSettle();
    EXPECT_EQ(m_stub->packets().size(), start);
    EXPECT_TRUE(eventQueue.empty());
    EXPECT_TRUE(createQueue.empty());
    EXPECT_TRUE(removeQueue.empty());
    EXPECT_TRUE(positionsToSend.empty());
    EXPECT_TRUE(logHas("SimConnect request error 3, see Log.txt"));
}

TEST_F(SimQueues, failedRequestsWithoutConnectionAreCounted)
{
    gf_stopSimClient();
    gf_requestUserTitleAndModel();
    EXPECT_EQ(simRequestErrorCount.load(), 2);
    gf_requestUserAircraftState();
    EXPECT_EQ(simRequestErrorCount.load(), 3);
    EXPECT_TRUE(simErrorFlag.load());
    EXPECT_TRUE(logHas("===> SimConnect request user ac title fails"));
    EXPECT_TRUE(logHas("===> SimConnect reques user ac model fails"));
    EXPECT_TRUE(logHas("===> SimConnect request user ac position fails"));
}

TEST_F(SimQueues, flightPlanThatCannotLoadIsLogged)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    // The simulator is given a plan's path without ".pln" and adds it.
    const auto plan = dir() / "plan.pln";
    testsupport::writeFile(plan, "<FlightPlan.FlightPlan>\n<FPType>VFR</FPType>\n<DepartureID>LSZH</DepartureID>\n"
                                 "<DestinationID>LSGG</DestinationID>\n</FlightPlan.FlightPlan>\n");
    {
        std::lock_guard lock(simQueueMutex);
        SimConnect_AISetAircraftFlightPlan(simConnectHandle.load(), a, (dir() / "plan").string().c_str(),
                                           tzo::REQUEST_FLIGHT_PLAN);
        SimConnect_AISetAircraftFlightPlan(simConnectHandle.load(), a, (dir() / "missing").string().c_str(),
                                           tzo::REQUEST_FLIGHT_PLAN);
    }
    ASSERT_TRUE(testsupport::waitFor([&] { return logHas("===> Simconnect Exception: load flight plan failed"); }));
    EXPECT_EQ(m_stub->object(a)->flightPlan, plan.string());
    EXPECT_EQ(m_stub->object(a)->planDeparture, "LSZH");
    EXPECT_EQ(m_stub->object(a)->planDestination, "LSGG");
}

TEST_F(SimQueues, staticCentreOfGravityArrivesAsKind4)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    {
        std::lock_guard lock(simQueueMutex);
        SimConnect_RequestDataOnSimObject(simConnectHandle.load(), tzo::REQUEST_STATIC_CG, tzo::DEFINITION_STATIC_CG,
                                          a, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    }
    const auto n = waitForNotifications(1);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_STATIC_CG);
    EXPECT_EQ(n[0].objectId, a);
    EXPECT_DOUBLE_EQ(n[0].value1, 5.5);
    EXPECT_DOUBLE_EQ(n[0].value2, 0.02);
}

TEST_F(SimQueues, standInRecordsPacketsAimedAtTheUserOrAtNothing)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    {
        std::lock_guard lock(simQueueMutex);
        const SimConnectHandle h = simConnectHandle.load();
        SimConnect_TransmitClientEvent(h, SIMCONNECT_OBJECT_ID_USER, tzo::NAV_LIGHTS_SET, 1, tzo::GROUP_ALL, 0);
        SimConnect_AIRemoveObject(h, 1, tzo::REQUEST_REMOVE);
        SimConnect_AIReleaseControl(h, 999, tzo::REQUEST_RELEASE);
        SimConnect_TransmitClientEvent(h, a, tzo::NAV_LIGHTS_SET, 1, tzo::GROUP_ALL, 0);
    }
    ASSERT_TRUE(testsupport::waitFor([&] { return m_stub->misdirectedPackets().size() == 3; }));
    const auto p = m_stub->misdirectedPackets();
    EXPECT_EQ(p[0].name, "TransmitClientEvent");
    EXPECT_EQ(p[1].name, "AIRemoveObject");
    EXPECT_EQ(p[2].name, "AIReleaseControl");
    EXPECT_TRUE(m_stub->object(a).has_value());
    EXPECT_EQ(m_stub->user().events.size(), 0u) << "the user's aircraft is left as it was";
}

// A simulator that stops reading while a crowd flies: the connection's
// queue fills to its bound and refuses the packets of the next frames. No
// record waits for a packet that never left: the refused creation is given
// up at once (its record may ask again), the refused removal waits in the
// queue and goes once the simulator reads again; no refusal (a request for
// data neither) counts as a simulator error, and each kind is said once, then with its count and the
// aircraft concerned.
TEST_F(SimQueues, aSimulatorThatStopsReadingHasTheRefusedCreationGivenUpAndTheRefusedRemovalSentLater)
{
    const std::uint32_t a = createAircraft(title, "AAA1", kLiveRecordId);
    const std::uint32_t b = createAircraft(title, "BBB2", kLiveRecordId + 1);
    frameAndSettle();
    tzo::gf_takeSimNotifications();
    const std::size_t connection = m_stub->connectionCount() - 1;

    m_stub->holdReading(true);
    {
        // The crowd's positions, as large as packets go, until the queue is full.
        std::vector<double> positions(600 * 8, 47.5);
        std::lock_guard lock(simQueueMutex);
        SimConnectResult rc = SIMCONNECT_S_OK;
        for (int i = 0; i < 4000 && rc == SIMCONNECT_S_OK; ++i)
            rc = SimConnect_SetDataOnSimObject(simConnectHandle.load(), tzo::DEFINITION_AI_POSITION, a, 0, 600,
                                               64, positions.data());
        ASSERT_EQ(rc, SIMCONNECT_E_OUTOFMEMORY) << "the queue never refused";
        // And to its last bytes, in the smallest packets the frame sends: none of them fits.
        rc = SIMCONNECT_S_OK;
        for (int i = 0; i < 4000 && rc == SIMCONNECT_S_OK; ++i)
            rc = SimConnect_AIReleaseControl(simConnectHandle.load(), a, tzo::REQUEST_RELEASE);
        ASSERT_EQ(rc, SIMCONNECT_E_OUTOFMEMORY);
    }
    gf_queueNavLights(a, 1);
    gf_queueNavLights(b, 1);
    gf_queueCreateAircraft(createRequest(title, "CCC3", kLiveRecordId + 2));
    {
        std::lock_guard lock(simQueueMutex);
        removeQueue.push_back(b);
    }
    // The stand-in still sends frames; what the program sends waits.
    for (int frame = 0; frame < 3; ++frame) {
        m_stub->stepFrames(1);
        flightRunning.store(false);
        m_stub->sendSystemEvent("Sim", 1);
        ASSERT_TRUE(testsupport::waitFor([] { return flightRunning.load(); }, std::chrono::seconds(60)));
    }
    gf_requestUserAircraftState();
    gf_requestUserAircraftState();
    const auto n = tzo::gf_takeSimNotifications();
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_CREATION_GIVEN_UP);
    EXPECT_EQ(n[0].info, kLiveRecordId + 2);
    EXPECT_TRUE(pendingCreations.empty()) << "nothing waits for an answer";
    {
        std::lock_guard lock(simQueueMutex);
        EXPECT_EQ(removeQueue, std::vector<std::uint32_t>{b}) << "the removal waits for room";
    }
    EXPECT_EQ(simRequestErrorCount.load(), 0);
    EXPECT_TRUE(exits().empty());
    const auto count = [this](const std::string& text) {
        const std::string all = log();
        std::size_t found = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++found;
        return found;
    };
    EXPECT_EQ(count("! Simcon call to create ac in sim failed, hexid:5022132, liv: \"" + title +
                    "\", callsign: CCC3: the simulator takes no more for now; given up"),
              1u);
    EXPECT_EQ(count("!Simconnect call to remove AI ac from sim failed"), 1u) << "three frames, one line";
    EXPECT_EQ(count(fmt::format("failed, id {}? (BBB2): the simulator takes no more for now; sent again later", b)),
              1u);
    EXPECT_EQ(count("SimConnect TransmitClientEvent"), 1u) << "two events, one line";
    EXPECT_TRUE(logHas("SimConnect TransmitClientEvent: 208 fails, for AAA1"));
    EXPECT_EQ(count("SimConnect request user ac position fails, for the user's aircraft: the simulator takes no "
                    "more for now"),
              1u);

    // The simulator reads again: the queue empties, and the removal goes.
    m_stub->holdReading(false);
    std::uint32_t last = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(simConnectHandle.load(), &last), SIMCONNECT_S_OK);
    ASSERT_TRUE(testsupport::waitFor([&] { return m_stub->handledSendId(connection) - last < 0x80000000u; },
                                     std::chrono::seconds(120)));
    gf_queueNavLights(a, 0);
    gf_requestUserAircraftState();
    frameAndSettle();
    EXPECT_FALSE(m_stub->object(b).has_value()) << "the removal went later";
    {
        std::lock_guard lock(simQueueMutex);
        EXPECT_TRUE(removeQueue.empty());
    }
    EXPECT_EQ(m_stub->object(a)->event("NAV_LIGHTS_SET"), 0u);
    EXPECT_EQ(count("!Simconnect call to remove AI ac from sim failed 2 more times in "), 1u);
    EXPECT_TRUE(logHas("the simulator took no more; sent again: BBB2"));
    EXPECT_TRUE(logHas("SimConnect TransmitClientEvent: 1 more failed in "));
    EXPECT_TRUE(logHas(" s, for BBB2"));
    EXPECT_TRUE(logHas("SimConnect requests failed 1 more times in "));
    for (const auto& p : m_stub->packetsNamed("AICreateNonATCAircraft"))
        EXPECT_NE(p.text("tailNumber"), "CCC3") << "the refused creation never left";

    // Its record asks again, and gets its aircraft.
    createAircraft(title, "CCC3", kLiveRecordId + 2);
    EXPECT_EQ(m_stub->aiObjects().size(), 2u);
    EXPECT_EQ(simRequestErrorCount.load(), 0);
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}
