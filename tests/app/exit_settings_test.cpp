// The exit with the program's own services, against a real settings file in a
// temporary data folder.

#include "app/exit.hpp"
#include "exit_state_reset.hpp"
#include "app/program_exit_services.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "support/test_support.hpp"

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

TEST_F(ExitSettingsTest, restartReasonTwoLeavesBothScansOffInTheFile)
{
    ASSERT_TRUE(fileHas("SCAN_LIVERIES", "true"));
    exitAndWait(ExitReason::RESTART);
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::START});
    EXPECT_TRUE(fileHas("SCAN_LIVERIES", "false"));
    EXPECT_TRUE(fileHas("SCAN_AIRPORTS", "false"));
    EXPECT_TRUE(fileHas("BLOCK_CALLSIGN", "SWR123")) << "kept over a restart";
}

TEST_F(ExitSettingsTest, restartReasonThreeKeepsTheScans)
{
    exitAndWait(ExitReason::RESTART_IPP);
    EXPECT_TRUE(fileHas("SCAN_LIVERIES", "true"));
    EXPECT_TRUE(fileHas("SCAN_AIRPORTS", "true"));
}

TEST_F(ExitSettingsTest, endingEmptiesTheBlockedCallsign)
{
    exitAndWait(ExitReason::USER_CLOSED_SIM);
    EXPECT_EQ(services->postsNow(), std::vector<tzo::WindowMessage>{tzo::WindowMessage::FINAL_CLOSE});
    EXPECT_FALSE(fileHas("BLOCK_CALLSIGN", "SWR123"));
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
    EXPECT_TRUE(fileHas("SCAN_LIVERIES", "true"));
}

TEST_F(ExitSettingsTest, restartDerivesTheRangeFromTheSettingAgain)
{
    LATERAL_RANGE.setValue(25);
    gf_storeRange(8);
    exitAndWait(ExitReason::RESTART_IPP);
    EXPECT_EQ(rangeNm.load(), 25.0);
    EXPECT_EQ(rangeMetres.load(), 25U * 1852U);
}
