// The tick itself: failures that must not stop it, the counter's wrap, the
// create request and the hand-over of positions under a busy command lock.

#include "traffic_fixture.hpp"

#include <cmath>
#include <future>
#include <numbers>
#include <set>
#include <stdexcept>
#include <thread>

using namespace traffictest;

namespace {

std::set<std::uint32_t> g_failing; // record ids whose steps throw
int g_steps = 0;

void countedStep(tzo::LiveAircraft& a)
{
    ++g_steps;
    if (g_failing.count(a.recordId) != 0)
        throw std::out_of_range("invalid unordered_map<K, T> key");
}

std::vector<std::uint32_t> sentObjects()
{
    std::lock_guard lock(simQueueMutex);
    std::vector<std::uint32_t> ids;
    for (const auto& p : positionsToSend)
        ids.push_back(p.objectId);
    return ids;
}

} // namespace

struct Driver : TrafficTest {
    Driver()
    {
        g_failing.clear();
        g_steps = 0;
        tzo::gf_liveStepHooks().trackStep = countedStep;
        tzo::gf_liveStepHooks().newAircraftStep = countedStep;
        liveTickCounter.store(1); // no slot and no once-a-second request
    }
    // Flying in the simulator, its front sample due now plus dueIn.
    tzo::LiveAircraft& flying(std::uint32_t hexid, std::int32_t dueIn = 0)
    {
        tzo::LiveAircraft& a = inSimulator(report(hexid, 1000.0, 47.0 + (hexid % 100) * 0.1, 5000.0, 250.0),
                                           tzo::kPhaseFlight);
        a.samples.front().dueTick = liveTickCounter.load() + static_cast<std::uint32_t>(dueIn);
        return a;
    }
};

TEST_F(Driver, anAircraftWhoseStepFailsIsGivenUpAndTheTickGoesOn)
{
    const std::uint32_t failedObject = flying(0x400001).objectId;
    const std::uint32_t goodObject = flying(0x400002).objectId;
    newAircraft(report(0x400003, 1000.0, 46.0));
    g_failing = {0x400001, 0x400003};

    gf_liveTraffic();
    ASSERT_EQ(liveAircraft.size(), 2u) << "the new one, without an object, is erased";
    EXPECT_EQ(liveAircraft[0].state, tzo::AircraftState::BeingRemoved);
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{failedObject});
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{goodObject}) << "the others' positions are handed over";
    EXPECT_EQ(liveTickCounter.load(), 2u);
    EXPECT_NE(log().find("given up: invalid unordered_map<K, T> key"), std::string::npos);

    gf_liveTraffic();
    EXPECT_EQ(g_steps, 4) << "the given-up aircraft takes no more steps";
}

TEST_F(Driver, aReportWhoseIntakeFailsIsDroppedAndTheNextIsTaken)
{
    tzo::gf_liveStepHooks().ghostRule = [](const std::string&) { throw std::runtime_error("ghost rule failed"); };
    flying(0x400001, 100000);
    auto renamed = report(0x400001, 1010.0, 47.6, 5000.0, 250.0, 180.0);
    renamed.callsign = "EDW1";
    trafficQueue.setIntakeOpen(true);
    trafficQueue.push(renamed);
    trafficQueue.push(report(0x400002, 1000.0, 46.0));

    gf_liveTraffic();
    EXPECT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[0].samples.size(), 1u);
    EXPECT_EQ(liveTickCounter.load(), 2u);
    EXPECT_NE(log().find("report of 4194305 dropped: ghost rule failed"), std::string::npos);
}

TEST_F(Driver, anEmptySampleQueueIsNeverRead)
{
    tzo::LiveAircraft& a = flying(0x400001);
    a.samples.clear();
    gf_liveTraffic();
    EXPECT_EQ(g_steps, 0);
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{liveAircraft[0].objectId});
    gf_addSample(liveAircraft[0], tzo::gf_sampleOf(report(0x400001, 1010.0, 47.7, 5000.0, 250.0)));
    EXPECT_EQ(liveAircraft[0].samples.size(), 1u);
}

TEST_F(Driver, dueTicksAreReachedAcrossTheCounterWrap)
{
    const std::tuple<std::uint32_t, std::int32_t, int> cases[] = {
        {0xFFFFFF01u, 3000, 0}, {0xFFFFFF01u, -5, 1}, {11, -20, 1}, {0x7FFFFFF1u, 100, 0}, {0x7FFFFFF1u, 0, 1},
    };
    for (const auto& [now, dueIn, steps] : cases) {
        SCOPED_TRACE(now);
        g_steps = 0;
        liveTickCounter.store(now);
        flying(0x400001, dueIn);
        gf_liveTraffic();
        EXPECT_EQ(g_steps, steps);
        liveAircraft.clear();
    }
}

TEST_F(Driver, theNewestIdToCreateGetsItsRequestFirst)
{
    tzo::LiveAircraft& older = flying(0x400001, 100000);
    older.bank = 0.1;
    older.heading = std::numbers::pi;
    older.altitude = 5000.0;
    older.liveryTitle = "Airbus A320 Swiss";
    inSimulator(report(0x400002, 1000.0, 47.0), tzo::kPhaseGround).samples.front().dueTick = 100000;
    idsToCreate = {0x400001, 0x400002, 0x499999}; // the last names no aircraft

    for (int i = 0; i < 3; ++i)
        gf_liveTraffic();
    ASSERT_EQ(liveCreateQueue.size(), 2u);
    EXPECT_EQ(liveCreateQueue[0].recordId, 0x400002u);
    EXPECT_EQ(liveCreateQueue[0].position.OnGround, 1u);
    const tzo::CreateRequest& r = liveCreateQueue[1];
    EXPECT_EQ(r.recordId, 0x400001u);
    EXPECT_EQ(r.position.OnGround, 0u);
    EXPECT_DOUBLE_EQ(r.position.Heading, 180.0);
    EXPECT_DOUBLE_EQ(r.position.Bank, 0.1 * 57.29577951308232);
    EXPECT_EQ(r.callsign + "/" + std::string(r.liveryTitle), "SWR305/Airbus A320 Swiss");
}

TEST_F(Driver, aBusyCommandLockCostsASlowSimulatorTheTicksPositionsAndAFastOneWaits)
{
    const std::uint32_t object = flying(0x400001, 100000).objectId;
    positionsToSend = {tzo::PositionUpdate{}};
    positionsToSend[0].objectId = 77;
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        std::lock_guard lock(simQueueMutex);
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();

    simFrameRate.store(30.0f);
    gf_liveTraffic();
    EXPECT_TRUE(positionsFilling.empty());
    simFrameRate.store(60.0f);
    auto tick = std::async(std::launch::async, [] { gf_liveTraffic(); });
    EXPECT_EQ(tick.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(positionsToSend[0].objectId, 77u) << "at 30 frames the previous set stayed";
    release.set_value();
    holder.join();
    tick.get();
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{object});
}

// Found by the live traffic fuzzer: reports at 60,000 ft and 6,000 ft that
// arrive together give a rate of hundreds of thousands of feet a minute,
// and the simulator was sent it.
TEST_F(TrafficTest, aJumpBetweenReportsReachesTheSimulatorWithinWhatAnAircraftDoes)
{
    simErrorFlag.store(true); // no requests to a simulator that is not there
    liveTickCounter.store(1);
    inSimulator(report(0x400001, 1000.0, 47.5, 60000.0, 250.0), tzo::kPhaseFlight).altitude = 60000.0;
    gf_takeReport(report(0x400001, 1005.0, 47.505, 6000.0, 250.0));
    ASSERT_EQ(liveAircraft[0].samples.size(), 2u);

    liveTickCounter.store(liveAircraft[0].samples.front().dueTick);
    double lowest = 60000.0;
    for (int i = 0; i < 100; ++i) {
        gf_liveTraffic();
        std::lock_guard lock(simQueueMutex);
        ASSERT_EQ(positionsToSend.size(), 1u);
        const tzo::PositionUpdate& p = positionsToSend[0];
        ASSERT_LE(std::fabs(p.verticalSpeed), 1000.0) << "ft/s, tick " << i;
        ASSERT_TRUE(p.altitude >= -2000.0 && p.altitude <= 150000.0) << p.altitude << " ft, tick " << i;
        lowest = std::min(lowest, p.altitude);
    }
    EXPECT_LT(lowest, 60000.0) << "it descends all the same";
}
