// The exit with the program's own services, against a real settings file in a
// temporary data folder; a restart leaves no traffic of the old run behind.

#include "airports/airport_services.hpp"
#include "airports/airports_list.hpp"
#include "airports/park_airport_hooks.hpp"
#include "app/exit.hpp"
#include "app/main_window.hpp"
#include "app/program_exit_services.hpp"
#include "app/start_up.hpp"
#include "exit_state_reset.hpp"
#include "window_state_reset.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/save_airport_file.hpp"
#include "parking/static_parking_driver.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "support/test_support.hpp"
#include "traffic/live_traffic.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

struct QuickProgramServices : tzo::ProgramExitServices {
    std::mutex mutex;
    std::vector<tzo::WindowMessage> posts;

    void sleepFor(std::chrono::milliseconds) override {}
    bool postToWindow(tzo::WindowMessage message) override
    {
        std::lock_guard lock(mutex);
        posts.push_back(message);
        return true;
    }
    std::vector<tzo::WindowMessage> postsNow()
    {
        std::lock_guard lock(mutex);
        return posts;
    }
};

struct ExitSettingsTest : ::testing::Test {
    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};
    std::shared_ptr<QuickProgramServices> services = std::make_shared<QuickProgramServices>();

    ExitSettingsTest()
    {
        gf_initDataFolder();
        fs::create_directories(g_dataFolder);
        gf_openLog();
        exiting.store(false);
        AppHooks hooks;
        hooks.requestExit = [](ExitReason reason, int seconds) { tzo::gf_beginExit(reason, seconds); };
        gf_installAppHooks(hooks);
        tzo::gf_installExitServices(services);

        SCAN_LIVERIES.setAndSave(true);
        SCAN_AIRPORTS.setAndSave(true);
        BLOCK_CALLSIGN.setAndSave("SWR123");
    }
    ~ExitSettingsTest() override
    {
        waitFor([] { return runningThreads.load() == 0; });
        tzo::gf_installExitServices(nullptr);
        gf_installAppHooks(AppHooks{});
        gf_closeLog();
        SCAN_LIVERIES.setValue(SCAN_LIVERIES.defaultValue());
        SCAN_AIRPORTS.setValue(SCAN_AIRPORTS.defaultValue());
        BLOCK_CALLSIGN.setValue(BLOCK_CALLSIGN.defaultValue());
        apptest::resetExitState();
    }

    void exitAndWait(ExitReason reason)
    {
        gf_requestExit(reason, 0);
        ASSERT_TRUE(waitFor([&] { return !services->postsNow().empty() && runningThreads.load() == 0; }));
    }
    static bool fileHas(const std::string& name, const std::string& value)
    {
        return readFile(g_parametersPath).find("name=\"" + name + "\" value=\"" + value + "\"") !=
               std::string::npos;
    }
};

} // namespace

TEST_F(ExitSettingsTest, theReasonDecidesTheScansAndTheBlockedCallsignInTheFile)
{
    // A restart for new scenery turns both scans off, one for an install path
    // keeps them; ending the program empties the blocked callsign.
    struct Case {
        ExitReason reason;
        tzo::WindowMessage post;
        const char* scans;
        const char* blocked;
    };
    for (const Case& c : {Case{ExitReason::RESTART, tzo::WindowMessage::START, "false", "SWR123"},
                          Case{ExitReason::RESTART_IPP, tzo::WindowMessage::START, "true", "SWR123"},
                          Case{ExitReason::USER_CLOSED_SIM, tzo::WindowMessage::FINAL_CLOSE, "true", ""}}) {
        SCOPED_TRACE(static_cast<int>(c.reason));
        SCAN_LIVERIES.setAndSave(true);
        SCAN_AIRPORTS.setAndSave(true);
        BLOCK_CALLSIGN.setAndSave("SWR123");
        {
            std::lock_guard lock(services->mutex);
            services->posts.clear();
        }
        exitAndWait(c.reason);
        apptest::resetExitState();
        EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{c.post});
        EXPECT_TRUE(fileHas("SCAN_LIVERIES", c.scans));
        EXPECT_TRUE(fileHas("SCAN_AIRPORTS", c.scans));
        EXPECT_TRUE(fileHas("BLOCK_CALLSIGN", c.blocked));
        EXPECT_EQ(BLOCK_CALLSIGN.value(), c.blocked);
    }
}

// A park airport's own MAX_LIVE is in force while the user is there, and
// after the exit closed the airport until the start-up reads the user's
// settings again. Whatever saves all settings from memory in that time, the
// exit's own saves included, writes the user's value.
TEST_F(ExitSettingsTest, theUsersMaxLiveStaysInTheFileThroughEveryRestartAndTheClose)
{
    apptest::writeParkAirportWithItsOwnMaxLive(40);
    testsupport::writeFile(g_parametersPath, "<parameters><parameter name=\"MAX_LIVE\" value=\"120\"/></parameters>");
    gf_installParkingSave();

    for (const ExitReason reason : {ExitReason::RESTART, ExitReason::RESTART_IPP, ExitReason::USER_CLOSED_SIM}) {
        SCOPED_TRACE(static_cast<int>(reason));
        // The start-up reads the user's settings, static parking loads the airport.
        tzo::lf_loadParameters();
        ASSERT_EQ(MAX_LIVE.value(), 120);
        ASSERT_TRUE(lf_setParkAirport("LIRF"));
        ASSERT_EQ(lf_loadParkAirport(), "");
        ASSERT_EQ(MAX_LIVE.value(), 40);
        EXPECT_TRUE(fileHas("MAX_LIVE", "120"));

        // Every save from here on finds no file and writes all settings.
        fs::remove(g_parametersPath);
        {
            std::lock_guard lock(services->mutex);
            services->posts.clear();
        }
        exitAndWait(reason);
        EXPECT_FALSE(parkAirportActive.load()) << "the exit closed the park airport";
        EXPECT_EQ(MAX_LIVE.value(), 40) << "the airport's value is still in force";
        if (reason != ExitReason::RESTART_IPP) {
            EXPECT_TRUE(fileHas("MAX_LIVE", "120")) << "the exit's own save";
        }
        // A save after the exit: a click during the countdown, the window's close.
        fs::remove(g_parametersPath);
        AUTO_RANGE.setAndSave(AUTO_RANGE.value());
        EXPECT_TRUE(fileHas("MAX_LIVE", "120"));
        apptest::resetExitState();
    }
    tzo::lf_loadParameters();
    EXPECT_EQ(MAX_LIVE.value(), 120);

    gf_installStoredTextHook(nullptr);
    gf_installParkAirportHooks({});
    gf_resetAirportsListForTests();
    gf_resetStaticParking();
    MAX_LIVE.setValue(MAX_LIVE.defaultValue());
    savedMaxLive.store(0);
}

TEST_F(ExitSettingsTest, restartDerivesTheRangeFromTheSettingAgain)
{
    LATERAL_RANGE.setValue(25);
    gf_storeRange(8);
    exitAndWait(ExitReason::RESTART_IPP);
    EXPECT_EQ(rangeNm.load(), 25.0);
    EXPECT_EQ(rangeMetres.load(), 25U * 1852U);
}

TEST_F(ExitSettingsTest, restartEmptiesEveryTrafficTableAndQueue)
{
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

    exitAndWait(ExitReason::RESTART);

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
}
