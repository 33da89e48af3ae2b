// The connection thread and its registration against the stand-in.

#include "sim_layer_fixture.hpp"

#include <fmt/ranges.h>

#include <functional>
#include <optional>

using namespace simtest;

namespace {

// "datum|units|type" of every data definition: the stand-in answers by datum
// name and never looks at the units, which the simulator converts to.
std::map<std::uint32_t, std::vector<std::string>> expectedDefinitions()
{
    const std::vector<std::string> position = {
        "Plane Latitude|degree|4",       "Plane Longitude|degree|4", "Plane Pitch degrees|radians|4",
        "Plane Bank degrees|radians|4", "Plane Heading degrees true|radians|4", "Plane Altitude|feet|4"};
    auto aiPosition = position;
    aiPosition.insert(aiPosition.end(), {"Vertical Speed|feet per second|4", "Airspeed True|knots|4"});
    auto userState = position;
    userState.insert(userState.end(), {"Plane Alt Above Ground|feet|4", "Ground Velocity|knots|4",
                                       "ZULU TIME|Seconds|2", "ZULU DAY OF YEAR|Number|2", "ZULU YEAR|Number|2",
                                       "LIGHT STATES|Mask|2"});
    return {
        {401, {"SPOILERS HANDLE POSITION|percent|4", "GENERAL ENG THROTTLE LEVER POSITION:1|percent|4",
               "GENERAL ENG THROTTLE LEVER POSITION:2|percent|4"}},
        {402, aiPosition},
        {403, userState},
        {404, {"Plane Alt Above Ground|feet|4", "Ground Altitude|feet|4", "SIM ON GROUND|Bool|2", "ATC ID||6"}},
        {405, {"Static CG to Ground|feet|4", "Static Pitch|radians|4"}},
        {406, {"Light On States|Mask|2"}},
        {407, {"TITLE||11"}},
        {408, {"ATC MODEL||6"}},
        {409, {"SIM ON GROUND|Bool|2"}},
    };
}

} // namespace

TEST_F(SimLayer, registrationDefinesTheDataInItsUnitsAndMasksEveryGroupEventButTheEngineStart)
{
    startQuietStub();
    startAndRegister();
    EXPECT_TRUE(m_stub->protocolErrors().empty());
    const auto state = m_stub->clientState();
    std::map<std::uint32_t, std::vector<std::string>> defined;
    for (const auto& [id, entries] : state.dataDefinitions)
        for (const auto& e : entries)
            defined[id].push_back(fmt::format("{}|{}|{}", e.datumName, e.unitsName, e.datumType));
    EXPECT_EQ(defined, expectedDefinitions());
    ASSERT_EQ(state.groups.at(301).events.size(), 16u);
    for (const auto& [event, maskable] : state.groups.at(301).events) {
        EXPECT_NE(event, 221u) << "ENGINE_AUTO_START is mapped but never in the group";
        EXPECT_TRUE(maskable);
    }
    EXPECT_TRUE(state.clientEvents.contains(221));
    EXPECT_TRUE(Recorder::get().hasWindow("connected true"));
    EXPECT_TRUE(Recorder::get().hasWindow("sim Lockheed Martin Prepar3D v5 (5.3.17.28)"));
    EXPECT_TRUE(logHas("Lockheed Martin Prepar3D v5 (5.3.17.28) connected "));
}

TEST_F(SimLayer, withoutSimulatorOneWaitingLineThenConnectsWhenItComes)
{
    gf_startSimClient();
    ASSERT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 1; }));
    // A few tries go by without a further line.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    EXPECT_EQ(Recorder::get().copy(Recorder::get().statuses),
              std::vector<std::string>{"Waiting for Prepar3Dv5 ..."});
    EXPECT_TRUE(logHas("Waiting for Prepar3Dv5 ..."));
    // It keeps trying, once a second, until the simulator is there.
    startQuietStub();
    ASSERT_TRUE(testsupport::waitFor([&] { return !m_stub->packetsNamed("SetNotificationGroupPriority").empty(); },
                                     std::chrono::seconds(4)));
    EXPECT_EQ(m_stub->connectionCount(), 1u);
}

TEST_F(SimLayer, stopWhileWaitingEndsTheThread)
{
    P3D_VERSION.setValue(6);
    gf_startSimClient();
    ASSERT_TRUE(testsupport::waitFor([] { return !Recorder::get().copy(Recorder::get().statuses).empty(); }));
    EXPECT_EQ(Recorder::get().copy(Recorder::get().statuses)[0], "Waiting for Prepar3Dv6 ...");
    gf_requestSimClientStop();
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }, std::chrono::seconds(10)));
    EXPECT_TRUE(exits().empty());
}

TEST_F(SimLayer, exitingFlagKeepsTheThreadFromOpening)
{
    startQuietStub();
    exiting.store(true);
    gf_startSimClient();
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
    EXPECT_EQ(m_stub->connectionCount(), 0u);
}

TEST_F(SimLayer, stopClosesTheConnectionQuietly)
{
    startQuietStub();
    startAndRegister();
    gf_stopSimClient();
    EXPECT_EQ(runningThreads.load(), 0);
    EXPECT_TRUE(testsupport::waitFor([&] { return m_stub->clientState().closedByClient; }));
    EXPECT_EQ(m_stub->packetsNamed("ClearDataDefinition").size(), 9u);
    EXPECT_EQ(m_stub->packetsNamed("UnsubscribeFromSystemEvent").size(), 6u);
    EXPECT_TRUE(exits().empty());
    EXPECT_EQ(simConnectHandle.load(), nullptr);
    EXPECT_TRUE(Recorder::get().hasWindow("connected false"));
}

TEST_F(SimLayer, quitOnlyEndsTheFlightAndTheClosedStreamEndsTheProgram)
{
    startQuietStub();
    startAndRegister();
    settle();
    m_stub->sendQuit();
    ASSERT_TRUE(testsupport::waitFor([] { return !flightRunning.load(); }));
    EXPECT_TRUE(exits().empty());
    EXPECT_EQ(runningThreads.load(), 1);
    m_stub->closeConnections();
    ASSERT_TRUE(testsupport::waitFor([&] { return !exits().empty(); }));
    EXPECT_EQ(exits()[0], std::make_pair(ExitReason::SIM_WAS_CLOSED, 0));
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
    EXPECT_TRUE(logHas("Flight Simulator no longer connected, Norvane_P3D will stop ..."));
}

// What a simulator sends that the log must not take as it comes: each row
// gives one line; a stream that breaks the protocol ends the program as a
// system error (exit code 1), never as the simulator closing (exit code 0).
TEST_F(SimLayer, hostileStreamsGiveOneLineEachAndABrokenStreamIsASystemError)
{
    const auto word = [](std::uint32_t v) {
        return std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                                         std::uint8_t(v >> 24)};
    };
    auto cut = word(100);  // size 100, version 5, id 8: 20 of its 100 bytes
    for (std::uint32_t v : {5u, 8u, 0u, 0u})
        cut.insert(cut.end(), {std::uint8_t(v), 0, 0, 0});
    struct Row {
        const char* what;
        std::string name;
        std::function<void(simstub::SimStub&)> send;
        std::string line;  // once in the log, or on the error line when an exit follows
        std::optional<ExitReason> exit;
    };
    const Row rows[] = {
        {"a line feed in the name", "Lockheed Martin Prepar3D v5\nForged line", [](simstub::SimStub&) {},
         "Lockheed Martin Prepar3D v5 Forged line (5.3.17.28) connected ", std::nullopt},
        {"too many objects, again and again", "Lockheed Martin Prepar3D v5",
         [](simstub::SimStub& stub) {
             for (int i = 0; i < 300; ++i)
                 stub.sendException(11, 0, 0);
         },
         "SimConnect: too many objects (max 1000)", std::nullopt},
        {"a size of 2", "Lockheed Martin Prepar3D v5", [&](simstub::SimStub& stub) { stub.sendRaw(word(2)); },
         "a size no message has: size 2, 4 bytes of it received", ExitReason::SYSTEM_ERROR},
        {"a size no message may have", "Lockheed Martin Prepar3D v5",
         [&](simstub::SimStub& stub) { stub.sendRaw(word(0x7FFFFFF0u)); },
         "a message larger than a message may be: size 2147483632", ExitReason::SYSTEM_ERROR},
        {"a message cut by the close", "Lockheed Martin Prepar3D v5",
         [&](simstub::SimStub& stub) {
             stub.sendRaw(cut);
             stub.closeConnections();
         },
         "the stream ended inside a message: size 100, id 8, 20 bytes of it received", ExitReason::SYSTEM_ERROR},
        {"the simulator closing", "Lockheed Martin Prepar3D v5",
         [](simstub::SimStub& stub) { stub.closeConnections(); },
         "Flight Simulator no longer connected, Norvane_P3D will stop ...", ExitReason::SIM_WAS_CLOSED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m_stub.reset();
        resetLayer();
        gf_openLog(dir() / "Log.txt");
        simstub::Options options;
        options.applicationName = row.name;
        startQuietStub(options);
        startAndRegister();
        row.send(*m_stub);
        if (row.exit) {
            ASSERT_TRUE(testsupport::waitFor([&] { return !exits().empty(); }));
            EXPECT_EQ(exits(), (std::vector<std::pair<ExitReason, int>>{{*row.exit, 0}}));
            EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
        } else {
            settle();
            EXPECT_TRUE(exits().empty());
        }
        const std::string text = log() + fmt::format("{}", fmt::join(Recorder::get().copy(Recorder::get().errors), "\n"));
        std::size_t count = 0;
        for (auto at = text.find(row.line); at != std::string::npos; at = text.find(row.line, at + 1))
            ++count;
        EXPECT_EQ(count, 1u) << text;
        EXPECT_EQ(text.find("\nForged line"), std::string::npos) << text;
        if (row.exit == ExitReason::SYSTEM_ERROR)
            EXPECT_FALSE(logHas("no longer connected")) << "a broken stream is not the simulator closing";
    }
}

TEST_F(SimLayer, abruptDropOverTcpEndsTheProgram)
{
    simstub::Options options;
    options.listenPipe = false;
    options.listenIpv4 = true;
    auto& stub = startQuietStub(options);
    testsupport::writeFile(dir() / "documents" / "SimConnect.cfg",
                           fmt::format("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort={}\n", stub.ipv4Port()));
    startAndRegister();
    stub.dropConnections();
    ASSERT_TRUE(testsupport::waitFor([&] { return !exits().empty(); }));
    EXPECT_EQ(exits()[0], std::make_pair(ExitReason::SIM_WAS_CLOSED, 0));
    EXPECT_FALSE(flightRunning.load());
}

TEST_F(SimLayer, droppedPipeWhileExitingAsksForNoSecondExit)
{
    startQuietStub();
    startAndRegister();
    exiting.store(true);
    m_stub->dropConnections();
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
    EXPECT_TRUE(exits().empty());
}

TEST_F(SimLayer, positionChangedFlightLoadedAndNewFileRestartIn30Seconds)
{
    startQuietStub();
    startAndRegister();
    m_stub->sendSystemEvent("PositionChanged", 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return exits().size() == 1; }));
    m_stub->sendSystemEvent("FlightLoaded", 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return exits().size() == 2; }));
    m_stub->sendFilenameEvent("FlightLoaded", "C:\\flights\\other.fxml");
    ASSERT_TRUE(testsupport::waitFor([&] { return exits().size() == 3; }));
    for (const auto& e : exits())
        EXPECT_EQ(e, std::make_pair(ExitReason::RESTART, 30));
    EXPECT_TRUE(logHas("===> User ac position changed"));
    EXPECT_TRUE(logHas("===> Flight loaded"));
    EXPECT_TRUE(logHas("===> New file loaded"));
}

TEST_F(SimLayer, simEventDrivesFlightRunningAndItsIndicator)
{
    startQuietStub();
    startAndRegister();
    m_stub->sendSystemEvent("Sim", 1);
    ASSERT_TRUE(testsupport::waitFor([] { return flightRunning.load(); }));
    m_stub->sendSystemEvent("Sim", 0);
    ASSERT_TRUE(testsupport::waitFor([] { return !flightRunning.load(); }));
    EXPECT_TRUE(Recorder::get().hasWindow("running true"));
    EXPECT_TRUE(Recorder::get().hasWindow("running false"));
}

TEST_F(SimLayer, wrongVersionIsRefusedAndTheConnectionClosedWithoutExit)
{
    simstub::Options options;
    options.applicationName = "Lockheed Martin Prepar3D v6";
    options.versionMajor = 6;
    startQuietStub(options);
    gf_startSimClient();
    ASSERT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0 && !Recorder::get().copy(Recorder::get().errors).empty(); }));
    EXPECT_EQ(Recorder::get().copy(Recorder::get().errors)[0],
              "78: wrong P3D version \"Lockheed Martin Prepar3D v6 (6.3.17.28)\" connects ... ?");
    EXPECT_TRUE(Recorder::get().hasWindow("install path enabled"));
    EXPECT_TRUE(exits().empty());
    EXPECT_TRUE(testsupport::waitFor([&] { return m_stub->clientState().closedByClient; }));
}

TEST_F(SimLayer, onceASecondAnswersComeFasterThanRealTime)
{
    simstub::Options options;
    options.secondInterval = std::chrono::milliseconds(1);
    startStub(options);
    startAndRegister();
    requestUserStateAndWait();
    requestUserOnGroundEachSecond();
    // Ten minutes of program seconds, each taken once as the main loop takes it.
    int seconds = 0;
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            bool expected = true;
            if (secondTick.compare_exchange_strong(expected, false))
                ++seconds;
            return seconds >= 600;
        },
        std::chrono::seconds(30)));
    EXPECT_TRUE(userOnGroundKnown.load());
    EXPECT_TRUE(userOnGround.load());
}

TEST_F(SimLayer, userStateTitleAndModelArriveThroughTheRequests)
{
    g_wingspans["B738"] = 17.9 / 1852.0;
    g_largestHalfSpanNm = 40.0 / 1852.0;
    startQuietStub();
    startAndRegister();
    m_stub->setUserVar("Plane Latitude", 51.47);
    m_stub->setUserVar("Plane Longitude", -0.45);
    m_stub->setUserVar("Plane Altitude", -20.0);
    requestUserStateAndWait();
    const auto s = gf_receivedUserState();
    EXPECT_DOUBLE_EQ(s.latitude, 51.47);
    EXPECT_DOUBLE_EQ(s.longitude, -0.45);
    EXPECT_EQ(s.altitude, 0.0) << "a negative altitude is stored as 0";
    EXPECT_EQ(s.zuluYear, 2026);
    EXPECT_EQ(userObjectId.load(), 1u);

    gf_requestUserTitleAndModel();
    // The model's log line is the handler's last step.
    ASSERT_TRUE(testsupport::waitFor([&] { return logHas("SimConnect: User aircraft model: "); }));
    EXPECT_EQ(gf_userTitle(), "Stand-in Boeing 737-800");
    EXPECT_DOUBLE_EQ(*gf_userHalfWingspanNm(), 17.9 / 1852.0);
    EXPECT_TRUE(logHas("          SimConnect: User aircraft title: Stand-in Boeing 737-800"));
    EXPECT_TRUE(logHas("          SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: Light"));
}

TEST_F(SimLayer, teleportBeyondTenMilesRestarts)
{
    startQuietStub();
    startAndRegister();
    // The request reaching the stand-in is not the answer being handled: wait
    // for the answer's position before judging.
    auto answerAt = [&](double latitude) {
        m_stub->setUserVar("Plane Latitude", latitude);
        requestUserStateAndWait();
        ASSERT_TRUE(testsupport::waitFor([&] { return gf_receivedUserState().latitude == latitude; }));
    };
    m_stub->setUserVar("Plane Longitude", 8.0);
    answerAt(47.0);
    answerAt(47.0 + 9.9 / 60.0);
    EXPECT_TRUE(exits().empty());
    answerAt(47.0 + 9.9 / 60.0 + 10.1 / 60.0);
    ASSERT_TRUE(testsupport::waitFor([&] { return !exits().empty(); }));
    ASSERT_EQ(exits().size(), 1u);
    EXPECT_EQ(exits()[0], std::make_pair(ExitReason::RESTART, 30));
    EXPECT_TRUE(logHas("Teleport"));
}
