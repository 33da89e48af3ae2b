#include "app/main_loop.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "traffic/collisions.hpp"
#include "traffic/live_traffic.hpp"
#include "support/test_support.hpp"
#include "tick_recorder.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

struct MainLoopTest : ::testing::Test {
    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};
    TickRecorder work;
    tzo::SteadyTickClock clock;
    tzo::MainLoop loop{work, clock};

    MainLoopTest()
    {
        gf_initDataFolder();
        gf_openLog();
        liveAircraft.clear();
        staticAircraft.clear();
        newLiveIds.clear();
        noMatches.clear();
        secondsCounter.store(0);
        flightRunning.store(false);
        secondTick.store(false);
        renewalPending.store(false);
        userOnGround.store(false);
        rtError.store(false);
        AUTO_RANGE.setValue(true);
        INITIAL_LOAD_ONLY.setValue(false);
        COLLISION_USER_AIR.setValue(false);
        COLLISION_USER_GND.setValue(false);
        COLLISION_LIVE_PARKED_GND.setValue(false);
        BLOCK_CALLSIGN.setValue("");
    }
    ~MainLoopTest() override { gf_closeLog(); }

    // One simulator second: the once-a-second answer arrives, the next tick takes it.
    void second()
    {
        secondTick.store(true);
        loop.round();
    }
    void seconds(int n)
    {
        for (int i = 0; i < n; ++i)
            second();
    }
};

std::vector<int> multiplesUpTo(int period, int last)
{
    std::vector<int> out;
    for (int s = period; s <= last; s += period)
        out.push_back(s);
    return out;
}

tzo::LiveAircraft live(std::uint32_t id, std::string callsign)
{
    tzo::LiveAircraft a;
    a.recordId = id;
    a.callsign = std::move(callsign);
    a.state = tzo::AircraftState::InSimulator;
    return a;
}

tzo::AircraftRecord parked(std::uint32_t id)
{
    tzo::AircraftRecord a;
    a.recordId = id;
    a.state = tzo::AircraftState::InSimulator;
    return a;
}

} // namespace

TEST_F(MainLoopTest, eachPeriodicTaskRunsAtExactlyItsSeconds)
{
    flightRunning.store(true);
    staticAircraft.push_back(parked(1));
    noMatches = {{"B738", 2}};
    const int last = 3600;
    seconds(last);
    EXPECT_TRUE(noMatches.empty()) << "the unmatched list is emptied once written";

    EXPECT_EQ(work.secondsOf("positionToReader"), multiplesUpTo(5, last));
    EXPECT_EQ(work.secondsOf("timeToRT"), multiplesUpTo(5, last));
    EXPECT_EQ(work.secondsOf("updateRange"), multiplesUpTo(30, last));
    EXPECT_EQ(work.secondsOf("header"), multiplesUpTo(60, last));
    EXPECT_EQ(work.secondsOf("logNoMatches"), multiplesUpTo(1200, last));
    EXPECT_EQ(work.secondsOf("readersAlive"), multiplesUpTo(59, last));
    EXPECT_EQ(work.secondsOf("staticTwins"), multiplesUpTo(61, last));
    EXPECT_EQ(work.count("statusClock"), last);
    EXPECT_EQ(work.count("liveTraffic"), last);

    // A renewal is flagged at each 1200-s mark; its first step follows at the
    // next 15-s mark, its second at the one after; the 16-s driver waits between.
    EXPECT_EQ(work.secondsOf("collecting"), (std::vector<int>{1215, 2415}));
    EXPECT_EQ(work.secondsOf("disableControls"), (std::vector<int>{1215, 2415}));
    EXPECT_EQ(work.secondsOf("adjustParking"), (std::vector<int>{1230, 2430}));
    std::vector<int> parking;
    for (int s : multiplesUpTo(16, last)) {
        const bool betweenSteps = (s >= 1215 && s < 1230) || (s >= 2415 && s < 2430);
        if (!betweenSteps)
            parking.push_back(s);
    }
    EXPECT_EQ(work.secondsOf("staticParking"), parking);
    EXPECT_TRUE(renewalPending.load()) << "flagged again at 3600";
    ASSERT_EQ(work.minutesShown.size(), 60U);
    EXPECT_EQ(work.minutesShown[0], 19) << "at 60 s";
    EXPECT_EQ(work.minutesShown[18], 1) << "at 1140 s";
    EXPECT_EQ(work.minutesShown[19], 20) << "at 1200 s";
}

TEST_F(MainLoopTest, dailyResetLetsTheIndependentTasksRunInThatTick)
{
    flightRunning.store(true);
    work.parkActive = false;
    staticAircraft.push_back(parked(1));
    liveLiveryCache.emplace(20001, "Some Title");
    seconds(86399);
    work.calls.clear();

    second();
    EXPECT_EQ(secondsCounter.load(), 0);
    EXPECT_TRUE(liveLiveryCache.empty());
    for (const char* task : {"matchingSummary", "staticParking", "readersAlive", "staticTwins"})
        EXPECT_EQ(work.secondsOf(task), std::vector<int>{0}) << task;
    EXPECT_EQ(work.secondsOf("header"), std::vector<int>{86400});

    second();
    EXPECT_EQ(secondsCounter.load(), 1);
}

TEST_F(MainLoopTest, counterStandsStillWhileNoFlightRunsButPositionStillGoesOut)
{
    secondTick.store(true);
    for (int i = 0; i < 250; ++i)
        loop.round();
    EXPECT_EQ(secondsCounter.load(), 0);
    EXPECT_TRUE(secondTick.load()) << "the second stays pending while no flight runs";
    EXPECT_EQ(work.count("positionToRT"), 2) << "every 100 ticks";
    EXPECT_EQ(work.count("counters"), 2);
    EXPECT_EQ(work.count("notifications"), 250);
    EXPECT_EQ(work.count("intakeClosed"), 1);
    EXPECT_EQ(work.count("positionToReader"), 0);

    flightRunning.store(true);
    loop.round();  // takes the pending second
    EXPECT_EQ(secondsCounter.load(), 1);
    EXPECT_EQ(work.count("intakeOpen"), 1);
    loop.round();  // no second: live traffic only
    EXPECT_EQ(secondsCounter.load(), 1);
    EXPECT_EQ(work.count("liveTraffic"), 2);

    const std::string log = readFile("Log.txt");
    EXPECT_NE(log.find(" Flight not running"), std::string::npos);
    EXPECT_EQ(log.find("Flight not running"), log.rfind("Flight not running")) << "logged once per stop";
    EXPECT_NE(log.find(" Flight resumed"), std::string::npos);
}

TEST_F(MainLoopTest, intakeReopensOnTheFirstTickOfAResumedFlightBeforeItsTraffic)
{
    loop.round(); // not running: the intake closes
    flightRunning.store(true);
    loop.round(); // no second arrived yet
    std::vector<std::string> order;
    for (const auto& call : work.calls)
        if (call.second == "intakeOpen" || call.second == "liveTraffic")
            order.push_back(call.second);
    EXPECT_EQ(order, (std::vector<std::string>{"intakeOpen", "liveTraffic"}));
}

TEST_F(MainLoopTest, newLiveIdOfAircraftThatLeftIsDropped)
{
    flightRunning.store(true);
    liveAircraft.push_back(live(20001, "SWR12A"));
    liveAircraft[0].onGround = true;
    staticAircraft = {parked(5), parked(6), parked(7)};
    newLiveIds = {20000, 20001, 20002};
    work.duplicateOfStatic = 6;

    second();
    EXPECT_EQ(newLiveIds, (std::deque<std::uint32_t>{20002}));
    const std::vector<std::pair<int, std::string>> expected{
        {1, "coupled 20001"}, {1, "duplicate? 20001 SWR12 5"}, {1, "duplicate? 20001 SWR12 6"}, {1, "remove 6"}};
    std::vector<std::pair<int, std::string>> followUp;
    for (const auto& call : work.calls)
        if (call.second.starts_with("coupled") || call.second.starts_with("duplicate") ||
            call.second.starts_with("remove"))
            followUp.push_back(call);
    EXPECT_EQ(followUp, expected);
    EXPECT_NE(liveAircraft[0].couplesSearched, 0u);

    second();
    EXPECT_TRUE(newLiveIds.empty()) << "an id with no aircraft does not block the list";
}

TEST_F(MainLoopTest, collisionChecksStopAtTheFirstRemoval)
{
    flightRunning.store(true);
    COLLISION_USER_AIR.setValue(true);
    COLLISION_LIVE_PARKED_GND.setValue(true);
    work.airVictim = 20002;
    work.parkedVictim = 7;
    liveAircraft = {live(20001, "A"), live(20002, "B"), live(20003, "C")};
    for (auto& a : liveAircraft) {
        a.onGround = true;
        a.movementPhase = 2;
        a.latitude = 47.0;
    }
    liveAircraft[1].movementPhase = 3;               // not taxiing
    liveAircraft[2].excludedFromParkedCheck = true;  // excluded
    staticAircraft = {parked(7), parked(8)};
    for (auto& s : staticAircraft)
        s.stand.latitude = 47.0;  // where they can be touched

    second();
    EXPECT_EQ(work.count("userCollisionAir 20001"), 1);
    EXPECT_EQ(work.count("userCollisionAir 20002"), 1);
    EXPECT_EQ(work.count("userCollisionAir 20003"), 0);
    EXPECT_EQ(work.count("parkedCollision 20001 7"), 1);
    EXPECT_EQ(work.count("parkedCollision 20001 8"), 0);
    EXPECT_EQ(work.count("parkedCollision 20002 7") + work.count("parkedCollision 20003 7"), 0);

    second();  // nobody moved: no new parked check
    EXPECT_EQ(work.count("parkedCollision 20001 7"), 1);
    staticAircraft.push_back(parked(9));
    staticAircraft.back().objectId = 300;
    staticAircraft.back().stand.latitude = 47.0;
    second();  // a static aircraft came into the simulator: everybody once more
    EXPECT_EQ(work.count("parkedCollision 20001 7"), 2);
    second();
    EXPECT_EQ(work.count("parkedCollision 20001 7"), 2);

    userOnGround.store(true);
    COLLISION_USER_GND.setValue(true);
    second();
    EXPECT_EQ(work.count("userCollisionGround"), 1);
    EXPECT_EQ(work.count("userCollisionAir 20001"), 4);
}

namespace {

// A seeded crowd of taxiing live aircraft among static ones around a centre.
struct CrowdCase {
    std::uint32_t seed;
    int live;
    int parked;
    double latitude;
    double longitude;
    double latitudeSpread; // degrees each way
    double longitudeSpread;
    std::size_t fewestRemoved;
};

double wrapped(double longitude)
{
    return longitude > 180.0 ? longitude - 360.0 : longitude < -180.0 ? longitude + 360.0 : longitude;
}

void fillCrowd(const CrowdCase& c)
{
    std::mt19937 random(c.seed);
    std::uniform_real_distribution<double> north(-c.latitudeSpread, c.latitudeSpread);
    std::uniform_real_distribution<double> east(-c.longitudeSpread, c.longitudeSpread);
    std::uniform_real_distribution<double> halfSpanMetres(5.0, 35.0);
    std::uniform_int_distribution<int> die(0, 19);
    liveAircraft.clear();
    staticAircraft.clear();
    for (int i = 0; i < c.parked; ++i) {
        tzo::AircraftRecord s = parked(static_cast<std::uint32_t>(i + 1));
        s.objectId = static_cast<std::uint32_t>(5000 + i);
        s.stand.latitude = std::clamp(c.latitude + north(random), -90.0, 90.0);
        s.stand.longitude = wrapped(c.longitude + east(random));
        s.radius = halfSpanMetres(random) / 1852.0;
        if (die(random) == 0)
            s.state = tzo::AircraftState::CreateRequested;
        staticAircraft.push_back(s);
    }
    for (int i = 0; i < c.live; ++i) {
        tzo::LiveAircraft a = live(static_cast<std::uint32_t>(20000 + i), "L" + std::to_string(i));
        a.objectId = static_cast<std::uint32_t>(100 + i);
        a.latitude = std::clamp(c.latitude + north(random), -90.0, 90.0);
        a.longitude = wrapped(c.longitude + east(random));
        a.radius = halfSpanMetres(random) / 1852.0;
        const int roll = die(random);
        a.onGround = roll != 0;
        a.movementPhase = roll % 2 == 0 ? tzo::kPhaseGround : roll == 3 ? tzo::kPhaseFlight : tzo::kPhaseToStand;
        a.towed = roll == 5;
        a.takeOffRun = roll == 7;
        a.excludedAsPushback = roll == 9;
        liveAircraft.push_back(a);
    }
}

// The check as it was: every taxiing live aircraft against every static one in order.
std::vector<std::uint32_t> removedByEveryPair()
{
    for (tzo::LiveAircraft& a : liveAircraft) {
        if (!a.onGround || (a.movementPhase != 2 && a.movementPhase != 5) || a.excludedAsPushback ||
            a.excludedFromParkedCheck || a.state != tzo::AircraftState::InSimulator)
            continue;
        for (tzo::AircraftRecord& s : staticAircraft)
            if (gf_avoidCollisionWithLive(a, s))
                break;
    }
    return {removalQueue.begin(), removalQueue.end()};
}

struct RealParkedCheck : TickRecorder {
    bool avoidCollisionWithLive(const tzo::LiveAircraft& live, tzo::AircraftRecord& parked) override
    {
        return gf_avoidCollisionWithLive(live, parked);
    }
};

} // namespace

TEST_F(MainLoopTest, theParkedCheckRemovesTheSameAircraftAsEveryPairInASeededCrowd)
{
    const std::vector<CrowdCase> crowds = {
        {1, 2000, 500, 47.45, 8.56, 0.012, 0.018, 100}, // a busy airport: often several in reach
        {2, 300, 120, 47.45, 8.56, 0.004, 0.006, 50},   // a packed apron
        {3, 300, 200, 89.99, 0.0, 0.003, 2.5, 50},      // near the pole the meridians meet
        {4, 200, 200, 0.0, 180.0, 0.0008, 0.0008, 50},  // across the date line
        {5, 50, 400, -33.9, 151.2, 0.3, 0.3, 0},        // spread wide: hardly anybody near
    };
    const bool logged = LOG.value();
    LOG.setValue(false);
    flightRunning.store(true);
    COLLISION_LIVE_PARKED_GND.setValue(true);
    for (const CrowdCase& c : crowds) {
        SCOPED_TRACE(::testing::Message() << "seed " << c.seed);
        fillCrowd(c);
        const auto liveBefore = liveAircraft;
        const auto staticBefore = staticAircraft;
        removalQueue.clear();
        const std::vector<std::uint32_t> expected = removedByEveryPair();
        EXPECT_GE(expected.size(), c.fewestRemoved) << "a crowd in which aircraft touch";

        liveAircraft = liveBefore;
        staticAircraft = staticBefore;
        removalQueue.clear();
        RealParkedCheck realWork;
        tzo::SteadyTickClock steady;
        tzo::MainLoop crowdLoop(realWork, steady);
        secondTick.store(true);
        crowdLoop.round();
        EXPECT_EQ(std::vector<std::uint32_t>(removalQueue.begin(), removalQueue.end()), expected);
    }
    removalQueue.clear();
    LOG.setValue(logged);
}

TEST_F(MainLoopTest, blockedCallsignRemovesTheFirstAircraftInTheSimulator)
{
    flightRunning.store(true);
    liveAircraft = {live(20001, "SWR1"), live(20002, "SWR1"), live(20003, "SWR1")};
    liveAircraft[0].state = tzo::AircraftState::CreateRequested;
    BLOCK_CALLSIGN.setValue("SWR1");
    blockCallsignPending.store(true);
    second();
    EXPECT_EQ(work.count("remove 20002"), 1);
    EXPECT_EQ(work.count("remove 20001") + work.count("remove 20003"), 0);
    EXPECT_FALSE(blockCallsignPending.load());
}

TEST_F(MainLoopTest, rereadWaitsWhileControlsAreBusy)
{
    flightRunning.store(true);
    rereadPending.store(true);
    work.busy = true;
    seconds(10);
    EXPECT_EQ(work.count("checkReservedStand"), 0);
    EXPECT_TRUE(rereadPending.load());
    work.busy = false;
    seconds(5);
    EXPECT_EQ(work.secondsOf("checkReservedStand"), std::vector<int>{15});
    EXPECT_EQ(work.count("rereadEnabled"), 1);
    EXPECT_FALSE(rereadPending.load());
}

TEST_F(MainLoopTest, matchingChangeClearsNoMatchesAtTheNextHalfMinute)
{
    flightRunning.store(true);
    matchingChanged.store(true);
    noMatches = {{"B738", 2}, {"A320", 1}};
    seconds(30);
    EXPECT_TRUE(noMatches.empty());
    EXPECT_FALSE(matchingChanged.load());
    EXPECT_EQ(work.secondsOf("logNoMatches"), std::vector<int>{30});
    EXPECT_NE(readFile("Log.txt").find("2 No-matches cleared because of matching parameter change"),
              std::string::npos);

    matchingChanged.store(true);
    seconds(30);
    EXPECT_FALSE(matchingChanged.load()) << "cleared without a log line when there is nothing";
    EXPECT_EQ(work.count("logNoMatches"), 1);
}

TEST_F(MainLoopTest, windowRequestsAreServedByTheNextTick)
{
    navLightsPending.store(true);
    limitLiveCountPending.store(true);
    updateRangePending.store(true);
    loop.round();
    EXPECT_EQ(work.count("navLights"), 1);
    EXPECT_EQ(work.count("limitLiveCount"), 1);
    EXPECT_EQ(work.count("updateRange"), 1);
    loop.round();
    EXPECT_EQ(work.count("navLights"), 1);
}

namespace {

// A clock that moves only when the loop sleeps or a tick says it took time.
struct DrivenClock : tzo::TickClock {
    Clock::time_point current{};
    std::vector<long> sleptUntilMs;

    Clock::time_point now() override { return current; }
    void sleepUntil(Clock::time_point deadline) override
    {
        sleptUntilMs.push_back(
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - start()).count()));
        current = deadline;
    }
    static Clock::time_point start() { return Clock::time_point{}; }
};

struct SlowTickWork : TickRecorder {
    DrivenClock* clock = nullptr;
    std::stop_source* stop = nullptr;
    int ticks = 0;
    int ticksToRun = 6;
    int slowTick = 2;
    int secondDuringTick = 0;
    int throwingTick = 0;

    void processSimNotifications() override
    {
        ++ticks;
        if (ticks == slowTick)
            clock->current += std::chrono::milliseconds(25);
        if (ticks == secondDuringTick)
            secondTick.store(true);
        if (ticks == throwingTick)
            throw tzo::UserErrorException(99, "broken tick");
        if (ticks == ticksToRun)
            stop->request_stop();
    }
};

} // namespace

TEST_F(MainLoopTest, ticksKeepAFixedGridAndCatchUpAfterASlowTick)
{
    DrivenClock driven;
    std::stop_source stop;
    SlowTickWork slow;
    slow.clock = &driven;
    slow.stop = &stop;
    tzo::MainLoop driver(slow, driven);
    driver.run(stop.get_token());
    // Tick 2 took 25 ms: no sleep after it or after tick 3 (still behind), then
    // the grid of 10 ms goes on where it was.
    EXPECT_EQ(driven.sleptUntilMs, (std::vector<long>{10, 40, 50, 60}));
    EXPECT_EQ(runningThreads.load(), 0);
}

TEST_F(MainLoopTest, pendingSecondRestartsTheGridFromNow)
{
    DrivenClock driven;
    std::stop_source stop;
    SlowTickWork slow;
    slow.clock = &driven;
    slow.stop = &stop;
    slow.slowTick = 2;
    slow.ticksToRun = 4;
    slow.secondDuringTick = 2;
    driven.current += std::chrono::milliseconds(3);  // the grid starts off the round numbers
    tzo::MainLoop driver(slow, driven);
    driver.run(stop.get_token());
    // Tick 2 took 25 ms and a second arrived meanwhile: the next deadline is
    // now + 10 ms (48), not the old grid's 33, and the new grid holds after.
    EXPECT_EQ(driven.sleptUntilMs, (std::vector<long>{13, 48, 58}));
}

TEST_F(MainLoopTest, exceptionInATickIsReportedAndTheLoopGoesOn)
{
    std::vector<std::string> reported;
    static std::vector<std::string>* sink = nullptr;
    sink = &reported;
    AppHooks hooks;
    hooks.logException = [](std::string_view name) {
        try {
            throw;
        } catch (const std::exception& e) {
            sink->push_back(std::string(name) + ": " + e.what());
        }
    };
    gf_installAppHooks(hooks);

    DrivenClock driven;
    std::stop_source stop;
    SlowTickWork slow;
    slow.clock = &driven;
    slow.stop = &stop;
    slow.slowTick = 0;
    slow.throwingTick = 3;
    slow.ticksToRun = 8;
    tzo::MainLoop driver(slow, driven);
    driver.run(stop.get_token());
    gf_installAppHooks(AppHooks{});

    EXPECT_EQ(slow.ticks, 8) << "the loop went on after the failing tick";
    ASSERT_EQ(reported.size(), 1U);
    EXPECT_EQ(reported[0], "mainLoop: broken tick");
}

TEST_F(MainLoopTest, flushStaticRemovesParkedAircraftAndHoldsBackTheNextLoad)
{
    flightRunning.store(true);
    flushStaticPending.store(true);
    second();
    EXPECT_EQ(work.count("removeAllStatic"), 1);
    EXPECT_FALSE(flushStaticPending.load());
    EXPECT_TRUE(INITIAL_LOAD_ONLY.value());
    EXPECT_FALSE(std::filesystem::exists(g_parametersPath)) << "not written to the settings file";
    INITIAL_LOAD_ONLY.setValue(false);
}

TEST_F(MainLoopTest, readerErrorShowsTheErrorLineAndRequestsAnExit)
{
    static std::vector<std::string> events;
    events.clear();
    AppHooks hooks;
    hooks.showError = [](std::string_view text) { events.emplace_back(text); };
    hooks.requestExit = [](ExitReason reason, int seconds) {
        events.push_back(fmt::format("exit {} {}", static_cast<int>(reason), seconds));
    };
    gf_installAppHooks(hooks);
    flightRunning.store(true);
    rtError.store(true);
    seconds(29);
    EXPECT_TRUE(events.empty());
    second();
    gf_installAppHooks(AppHooks{});
    EXPECT_EQ(events, (std::vector<std::string>{"1001: RT error", "exit 5 0"}));
}

TEST_F(MainLoopTest, programMainLoopRunsAsOneThreadUntilAskedToStop)
{
    tzo::gf_startMainLoop();
    ASSERT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 1; }));
    ASSERT_TRUE(testsupport::waitFor([] { return readFile("Log.txt").find("Flight not running") != std::string::npos; }));

    // A second start replaces the first: never two main loops side by side.
    tzo::gf_startMainLoop();
    EXPECT_LE(runningThreads.load(), 1) << "the first has ended before the second starts";
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 1; }));

    tzo::gf_requestMainLoopStop();
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
}

TEST_F(MainLoopTest, noMainLoopStartsOnceAnExitHasClaimedTheStop)
{
    // The exit has claimed `exiting` and asked for the stops; a start of
    // operations that comes late must not leave a loop the exit never stopped.
    exiting.store(true);
    tzo::gf_requestMainLoopStop();
    tzo::gf_startMainLoop();
    const bool started = testsupport::waitFor([] { return runningThreads.load() > 0; }, std::chrono::milliseconds(300));

    tzo::gf_requestMainLoopStop();
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
    exiting.store(false);
    EXPECT_FALSE(started) << "a main loop ran after the exit's stop request";
}
