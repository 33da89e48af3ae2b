// The tick itself: failures that must not stop it, the counter's wrap, the
// create request and the hand-over of positions while the simulator side
// holds the command lock.

#include "traffic/track_samples.hpp"
#include "traffic_fixture.hpp"

#include <future>
#include <numbers>
#include <set>
#include <stdexcept>
#include <thread>

using namespace traffictest;
using tzo::AircraftState;

namespace {

std::set<std::uint32_t> g_failing; // record ids whose steps throw
int g_trackSteps = 0;

void failingStep(tzo::LiveAircraft& a)
{
    ++g_trackSteps;
    if (g_failing.count(a.recordId) != 0)
        throw std::out_of_range("invalid unordered_map<K, T> key");
}

void failingGhostRule(const std::string&)
{
    throw std::runtime_error("ghost rule failed");
}

std::vector<std::uint32_t> sentObjects()
{
    std::lock_guard lock(simQueueMutex);
    std::vector<std::uint32_t> ids;
    for (const auto& p : positionsToSend)
        ids.push_back(p.objectId);
    return ids;
}

// Holds the command lock on a thread of its own until released.
class LockHolder {
public:
    LockHolder()
    {
        m_thread = std::thread([this] {
            std::lock_guard lock(simQueueMutex);
            m_held.set_value();
            m_release.get_future().wait();
        });
        m_held.get_future().wait();
    }
    ~LockHolder() { release(); }
    void release()
    {
        if (m_thread.joinable()) {
            m_release.set_value();
            m_thread.join();
        }
    }

private:
    std::promise<void> m_held;
    std::promise<void> m_release;
    std::thread m_thread;
};

} // namespace

struct Driver : TrafficTest {
    Driver()
    {
        g_failing.clear();
        g_trackSteps = 0;
        tzo::gf_liveStepHooks().trackStep = failingStep;
        tzo::gf_liveStepHooks().newAircraftStep = failingStep;
    }

    // In the simulator, its front sample due at once.
    tzo::LiveAircraft& due(std::uint32_t hexid)
    {
        tzo::LiveAircraft& a =
            inSimulator(report(hexid, 1000.0, 47.5 + (hexid % 100) * 0.01, 8.5, 5000.0, 250.0), tzo::kPhaseFlight, false);
        a.samples.front().dueTick = liveTickCounter.load();
        return a;
    }
};

TEST_F(Driver, anAircraftWhoseStepFailsIsGivenUpAndTheTickGoesOn)
{
    liveTickCounter.store(7);
    const std::uint32_t failingId = due(0x400001).recordId;
    const std::uint32_t goodObject = due(0x400002).objectId;
    auto fresh = report(0x400003, 1000.0, 46.0);
    newAircraft(fresh);
    g_failing = {0x400001, 0x400003};

    gf_liveTraffic();

    ASSERT_EQ(liveAircraft.size(), 2u) << "the new one without an object is erased";
    const tzo::LiveAircraft* failed = gf_findLiveAircraft(failingId);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->state, AircraftState::BeingRemoved);
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{failed->objectId});
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{goodObject}) << "the others' positions are handed over";
    EXPECT_EQ(liveTickCounter.load(), 8u);
    EXPECT_NE(log().find("given up: invalid unordered_map<K, T> key"), std::string::npos) << log();

    gf_liveTraffic();
    EXPECT_EQ(g_trackSteps, 4) << "the failed aircraft takes no more steps";
}

TEST_F(Driver, aReportWhoseIntakeFailsIsDroppedAndTheNextIsTaken)
{
    tzo::gf_liveStepHooks().ghostRule = failingGhostRule;
    liveTickCounter.store(1);
    tzo::LiveAircraft& a = due(0x400001);
    a.samples.front().dueTick = 100000;
    auto renamed = report(0x400001, 1010.0, 47.6, 8.5, 5000.0, 250.0);
    renamed.callsign = "EDW1";
    trafficQueue.setIntakeOpen(true);
    trafficQueue.push(renamed);
    trafficQueue.push(report(0x400002, 1000.0, 46.0));

    gf_liveTraffic();

    EXPECT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[0].samples.size(), 1u);
    EXPECT_EQ(liveTickCounter.load(), 2u);
    EXPECT_NE(log().find("report of 4194305 dropped: ghost rule failed"), std::string::npos) << log();
}

TEST_F(Driver, anEmptySampleQueueIsNeverRead)
{
    liveTickCounter.store(1);
    tzo::LiveAircraft& a = due(0x400001);
    a.samples.clear();
    gf_liveTraffic();
    EXPECT_EQ(g_trackSteps, 0);
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{a.objectId});

    gf_addSample(liveAircraft[0], tzo::gf_sampleOf(report(0x400001, 1010.0, 47.7, 8.5, 5000.0, 250.0)));
    EXPECT_EQ(liveAircraft[0].samples.size(), 1u);
}

TEST_F(Driver, dueTicksAreReachedAcrossTheCounterWrap)
{
    struct Case {
        std::uint32_t now;
        std::int32_t dueIn; // ticks from now
        bool reached;
    };
    const Case cases[] = {
        {0xFFFFFF00u, 3000, false}, // due after the wrap
        {0xFFFFFF00u, -5, true},
        {10, -20, true}, // due before the wrap
        {0x7FFFFFF0u, 100, false},
        {0x7FFFFFF0u, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        liveAircraft.clear();
        g_trackSteps = 0;
        liveTickCounter.store(c.now);
        tzo::LiveAircraft& a = due(0x400001);
        a.samples.front().dueTick = c.now + static_cast<std::uint32_t>(c.dueIn);
        gf_liveTraffic();
        EXPECT_EQ(g_trackSteps, c.reached ? 1 : 0);
    }
}

TEST_F(Driver, theNewestIdToCreateGetsItsRequestFirst)
{
    tzo::LiveAircraft& older = due(0x400001);
    older.pitch = -0.05;
    older.bank = 0.1;
    older.heading = std::numbers::pi;
    older.altitude = 5000.0;
    older.samples.front().dueTick = 100000;
    older.liveryTitle = "Airbus A320 Swiss";
    tzo::LiveAircraft& newer = inSimulator(report(0x400002, 1000.0, 47.0), tzo::kPhaseGround);
    newer.samples.front().dueTick = 100000;
    idsToCreate = {0x400001, 0x400002, 0x499999};
    liveTickCounter.store(1);

    gf_liveTraffic(); // 0x499999: no such aircraft, nothing
    EXPECT_TRUE(liveCreateQueue.empty());
    gf_liveTraffic();
    gf_liveTraffic();
    ASSERT_EQ(liveCreateQueue.size(), 2u);
    const tzo::CreateRequest& first = liveCreateQueue[0];
    EXPECT_EQ(first.recordId, 0x400002u);
    EXPECT_EQ(first.position.OnGround, 1u);
    const tzo::CreateRequest& second = liveCreateQueue[1];
    EXPECT_EQ(second.recordId, 0x400001u);
    EXPECT_EQ(second.position.OnGround, 0u);
    EXPECT_DOUBLE_EQ(second.position.Heading, 180.0);
    EXPECT_DOUBLE_EQ(second.position.Bank, 0.1 * 57.29577951308232);
    EXPECT_EQ(second.position.Altitude, 5000.0);
    EXPECT_EQ(second.position.Airspeed, 0u);
    EXPECT_EQ(second.callsign, "SWR305");
    EXPECT_EQ(second.liveryTitle, "Airbus A320 Swiss");
}

TEST_F(Driver, aBusyCommandLockCostsASlowSimulatorTheTicksPositions)
{
    const std::uint32_t object = due(0x400001).objectId;
    liveAircraft[0].samples.front().dueTick = 100000;
    liveTickCounter.store(1); // no slot and no request on this tick
    {
        std::lock_guard lock(simQueueMutex);
        positionsToSend = {tzo::PositionUpdate{}};
        positionsToSend[0].objectId = 77;
    }
    simFrameRate.store(30.0f);
    {
        LockHolder holder;
        gf_liveTraffic();
        EXPECT_EQ(liveTickCounter.load(), 2u);
        EXPECT_TRUE(positionsFilling.empty());
    }
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{77}) << "the previous set stays";

    simFrameRate.store(60.0f);
    LockHolder holder;
    auto tick = std::async(std::launch::async, [] { gf_liveTraffic(); });
    EXPECT_EQ(tick.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "a fast simulator is waited for";
    holder.release();
    tick.get();
    EXPECT_EQ(sentObjects(), std::vector<std::uint32_t>{object});
}
