// Driven ticks against the simulator and RealTraffic stand-ins: the pace of
// removals and creations, the periodic requests, the user's position sent
// to RealTraffic and the traffic that then arrives.

#include "realtraffic/link_state.hpp"
#include "realtraffic/reader_fixture.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/rt_server.hpp"
#include "rtstub/rtstub.hpp"
#include "rtstub/tcp_link.hpp"
#include "replay_fixture.hpp"

#include <numbers>

using namespace traffictest;
using testsupport::waitFor;

namespace {

tzo::CreateRequest createRequest(std::uint32_t recordId, std::string callsign)
{
    tzo::CreateRequest r;
    r.position = {47.46, 8.55, 1416.0, 0.0, 0.0, 0.0, 1, 0};
    r.callsign = std::move(callsign);
    r.liveryTitle = "Airbus A320 Stand-in";
    r.recordId = recordId;
    return r;
}

int g_planSteps = 0;

} // namespace

class LiveTrafficWithStandIns : public TrafficInSimulator {
protected:
    void SetUp() override
    {
        TrafficInSimulator::SetUp();
        g_planSteps = 0;
        tzo::gf_liveStepHooks().realiseParkingPlan = [] {
            ++g_planSteps;
            staticParkingPlan.pop_back();
        };
        startQuietStub();
        startAndRegister();
        requestUserStateAndWait();
    }
    // Packets of that name (and request id, when given) recorded so far.
    std::size_t count(std::string_view name, std::uint32_t requestId = 0)
    {
        std::size_t n = 0;
        for (const auto& p : m_stub->packetsNamed(name))
            n += requestId == 0 || p.u32("requestId") == requestId;
        return n;
    }

    static void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            gf_liveTraffic();
    }
};

TEST_F(LiveTrafficWithStandIns, oneRemovalPerTenTicksAndLiveCreationsBeforeStaticOnes)
{
    removalQueue = {201, 202, 203};
    liveCreateQueue = {createRequest(0x400001, "SWR1"), createRequest(0x400002, "SWR2")};
    staticCreateQueue = {createRequest(17, "EDW5*")};
    staticParkingPlan.resize(3);
    liveTickCounter.store(1);

    // Per tick: "r" a removal, a record id a creation, "p" a plan step.
    std::vector<std::string> released;
    for (int i = 0; i < 150; ++i) {
        const std::uint32_t tick = liveTickCounter.load();
        const std::size_t removals = removeQueue.size();
        const std::size_t creations = createQueue.size();
        const int plan = g_planSteps;
        gf_liveTraffic();
        if (removeQueue.size() > removals)
            released.push_back(fmt::format("{} r", tick));
        if (createQueue.size() > creations)
            released.push_back(fmt::format("{} {}", tick, createQueue.back().recordId));
        if (g_planSteps > plan)
            released.push_back(fmt::format("{} p", tick));
    }
    EXPECT_EQ(released, (std::vector<std::string>{"10 r", "20 r", "30 r", "50 4194305", "100 4194306", "150 17",
                                                  "150 p"}));
    frameAndSettle();
    EXPECT_EQ(count("AIRemoveObject"), 3u);
    EXPECT_EQ(count("AICreateNonATCAircraft"), 3u);
}

TEST_F(LiveTrafficWithStandIns, aircraftAroundTheUserAreAskedForEverySecondAndFiveTimesAsOftenWhileOneLands)
{
    liveTickCounter.store(1);
    // Landing, request error, then the requests of 100 ticks: around the user, user state.
    for (const auto& [landing, error, around, user] :
         {std::tuple{false, false, 1u, 1u}, {true, false, 5u, 1u}, {false, true, 0u, 0u}}) {
        // A flaring aircraft between two objects: not moved, but it flares.
        liveAircraft.clear();
        if (landing) {
            tzo::LiveAircraft& a = liveAircraft.emplace_back();
            a.state = tzo::AircraftState::LiveryChange;
            a.landing = true;
            a.flareStage = 1;
        }
        simErrorFlag.store(error);
        const std::size_t aroundBefore = count("RequestDataOnSimObjectType", tzo::REQUEST_IN_RANGE);
        const std::size_t userBefore = count("RequestDataOnSimObject", tzo::REQUEST_USER_STATE);
        ticks(100);
        settle();
        EXPECT_EQ(count("RequestDataOnSimObjectType", tzo::REQUEST_IN_RANGE) - aroundBefore, around);
        EXPECT_EQ(count("RequestDataOnSimObject", tzo::REQUEST_USER_STATE) - userBefore, user);
    }
}

TEST_F(LiveTrafficWithStandIns, theUsersPositionGoesToRealTrafficAndTrafficAroundItArrives)
{
    exiting = false;
    rtOnThisPc = true;
    tzo::createServer("0");
    rtstub::TcpOptions options;
    options.port = tzo::serverPort();
    rtstub::TcpLink link(options);
    link.start();
    gf_connectRealTraffic();
    ASSERT_TRUE(realTrafficConnected.load());

    m_stub->setUserVar("Plane Latitude", rtstub::kZurichLatitude);
    m_stub->setUserVar("Plane Longitude", rtstub::kZurichLongitude);
    m_stub->setUserVar("Plane Altitude", rtstub::kZurichElevationFt);
    requestUserStateAndWait();

    // The first second takes the simulator's answer; nothing is sent from
    // a user aircraft not yet known.
    liveTickCounter.store(100);
    ticks(1);
    EXPECT_NEAR(userAircraft.latitude, rtstub::kZurichLatitude, 1e-9);
    ticks(100);
    ASSERT_TRUE(waitFor([&] { return link.positions().size() == 1; }));
    EXPECT_NEAR(link.positions()[0].latitude * 180.0 / std::numbers::pi, rtstub::kZurichLatitude, 1e-4);

    // What the main loop does every 5 s, then traffic near and far.
    trafficReader.setUserPosition(userAircraft.latitude, userAircraft.longitude);
    gf_storeRange(40.0);
    gf_setFlightRunning(true);
    testsupport::RunningReader reader(trafficReader, true);
    ASSERT_TRUE(reader.started);
    rtstub::RtStub rt(reader.port(), 0);
    rt.sendTrafficLine(rtstub::TrafficLine::airborne().set(rtstub::kHexid, "4508001").set(rtstub::kLatitude, "40.0"));
    rt.sendTrafficLine(rtstub::TrafficLine::airborne());
    ASSERT_TRUE(waitFor([] { return trafficQueue.size() == 1; }));
    ticks(1);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].callsign, "SWR17K");

    reader.stop();
    link.stop();
    tzo::closeServer();
}
