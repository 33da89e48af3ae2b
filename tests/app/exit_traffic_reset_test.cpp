// A restart through the exit with the program's own services leaves no
// traffic of the old run behind.

#include "airports/airport_services.hpp"
#include "app/main_window.hpp"
#include "app/program_exit_services.hpp"
#include "exit_state_reset.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "support/test_support.hpp"
#include "traffic/live_traffic.hpp"

#include <gtest/gtest.h>

namespace {

struct QuickServices : tzo::ProgramExitServices {
    std::atomic<int> posts{0};
    void sleepFor(std::chrono::milliseconds) override {}
    bool postToWindow(tzo::WindowMessage) override { return ++posts, true; }
};

} // namespace

TEST(ExitTrafficReset, restartEmptiesEveryTrafficTableAndQueue)
{
    testsupport::TempDir dir{true};
    gf_openLog();
    auto services = std::make_shared<QuickServices>();
    AppHooks hooks;
    hooks.requestExit = [](ExitReason reason, int seconds) { tzo::gf_beginExit(reason, seconds); };
    gf_installAppHooks(hooks);
    tzo::gf_installExitServices(services);

    tzo::TrafficRecord r;
    liveAircraft.emplace_back(r, tzo::AircraftRecord{}, 1000.0);
    staticAircraft.emplace_back();
    liveCreateQueue.emplace_back();
    staticCreateQueue.emplace_back();
    removalQueue.push_back(5);
    idsToCreate.push_back(1);
    newLiveIds.push_back(1);
    noMatches["DLH A320"] = 2;
    liveLiveryCache[1] = "title";
    ghostTexts.push_back("SWR1_");
    pendingLights.emplace_back();
    softLearningThrottle.push_back({1, 3});
    staticParkingPlan.emplace_back();
    landingInProgress = true;
    tzo::gf_pushSimNotification({});
    trafficQueue.setIntakeOpen(true);
    trafficQueue.push(r);
    qnhValue.store(990);
    parkAirportCode.set("LSZH");
    parkAirportIata.set("ZRH");
    parkAirportElevationFt.store(1416.0);
    reservedStand.set("A12");
    busy.store(true);

    gf_requestExit(ExitReason::RESTART, 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return services->posts.load() == 1 && runningThreads.load() == 0; }));

    EXPECT_TRUE(liveAircraft.empty() && staticAircraft.empty());
    EXPECT_TRUE(liveCreateQueue.empty() && staticCreateQueue.empty() && removalQueue.empty());
    EXPECT_TRUE(idsToCreate.empty() && newLiveIds.empty() && softLearningThrottle.empty());
    EXPECT_TRUE(noMatches.empty() && liveLiveryCache.empty() && ghostTexts.empty());
    EXPECT_TRUE(pendingLights.empty() && staticParkingPlan.empty() && tzo::gf_takeSimNotifications().empty());
    EXPECT_FALSE(landingInProgress);
    EXPECT_EQ(trafficQueue.size(), 0u);
    EXPECT_EQ(qnhValue.load(), 1013);
    EXPECT_TRUE(parkAirportCode.empty() && parkAirportIata.empty() && reservedStand.empty());
    EXPECT_EQ(parkAirportElevationFt.load(), kNoParkAirportElevation);
    EXPECT_FALSE(busy.load());

    trafficQueue.setIntakeOpen(false);
    tzo::gf_installExitServices(nullptr);
    gf_installAppHooks(AppHooks{});
    gf_closeLog();
    apptest::resetExitState();
}
