#include "main_window_fixture.hpp"

#include "airports/airport_services.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "realtraffic/rt_messages.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "support/test_support.hpp"

#include <gmock/gmock.h>

#include <barrier>
#include <set>
#include <thread>

using apptest::MainWindowTest;
using testsupport::waitFor;

namespace {

constexpr ui::ControlId kStaticParkingIds[] = {32848, 32849, 32856, 32850, 32853, 32852, 32855, 32838};

// Enter commits through these; the tests see which field was committed.
std::mutex g_commitMutex;
std::vector<std::string> g_commits;

void lf_recordCommit(std::string what)
{
    std::lock_guard lock(g_commitMutex);
    g_commits.push_back(std::move(what));
}

std::vector<std::string> lf_commits()
{
    std::lock_guard lock(g_commitMutex);
    return g_commits;
}

void lf_installRecordingCommits()
{
    {
        std::lock_guard lock(g_commitMutex);
        g_commits.clear();
    }
    EditCommitHandlers handlers;
    handlers.intField = [](tzo::IntParameterField& f) { lf_recordCommit(f.name()); };
    handlers.fitField = [](tzo::FloatParameterField& f) { lf_recordCommit(f.name()); };
    handlers.callsignField = [] { lf_recordCommit("callsign"); };
    handlers.installPathField = [] { lf_recordCommit("install path"); };
    gf_installEditCommitHandlers(handlers);
}

} // namespace

TEST_F(MainWindowTest, checkBoxesStartCheckedFromTheirValues)
{
    EXPECT_TRUE(window.isChecked(SCAN_LIVERIES.controlId()));  // default on
    EXPECT_FALSE(window.isChecked(AEROWINX.controlId()));      // default off
    EXPECT_TRUE(window.isChecked(COLLISION_USER_GND.controlId()));
    EXPECT_FALSE(window.isChecked(WEEK.controlId()));
}

TEST_F(MainWindowTest, enterCommitsTheFieldAndInsertsNothing)
{
    lf_installRecordingCommits();
    for (auto id : {MAX_LIVE.controlId(), BLOCK_CALLSIGN.controlId(), SIM_INSTALL_PATH.controlId()})
        window.setEnabled(id, true);
    window.typeText(MAX_LIVE.controlId(), "12");
    window.pressEnter(MAX_LIVE.controlId());
    window.typeText(MAX_LIVE.controlId(), "3");
    window.typeText(BLOCK_CALLSIGN.controlId(), "klm123");
    window.pressEnter(BLOCK_CALLSIGN.controlId());
    window.pressEnter(SIM_INSTALL_PATH.controlId());
    ASSERT_TRUE(window.flush());
    EXPECT_EQ(window.text(MAX_LIVE.controlId()), "123");
    EXPECT_EQ(window.text(BLOCK_CALLSIGN.controlId()), "klm123");
    EXPECT_THAT(lf_commits(), ::testing::ElementsAre("MAX_LIVE", "callsign", "install path"));
}

TEST_F(MainWindowTest, enterClearsTheStatusLine)
{
    lf_installRecordingCommits();
    window.setEnabled(AIRPORT_RANGE.controlId(), true);
    gf_showStatus("The new AIRPORT_RANGE is 30");
    window.pressEnter(AIRPORT_RANGE.controlId());
    ASSERT_TRUE(window.flush());
    std::lock_guard lock(mainWindowObject.statusMutex);
    EXPECT_EQ(mainWindowObject.statusText, "");
}

TEST_F(MainWindowTest, fitFieldCommitsOnlyWithAnActiveParkAirport)
{
    lf_installRecordingCommits();
    window.setEnabled(MAX_FIT_FL.controlId(), true);
    parkAirportActive = false;
    window.pressEnter(MAX_FIT_FL.controlId());
    ASSERT_TRUE(window.flush());
    EXPECT_TRUE(lf_commits().empty());
    parkAirportActive = true;
    window.pressEnter(MAX_FIT_FL.controlId());
    ASSERT_TRUE(window.flush());
    parkAirportActive = false;
    EXPECT_THAT(lf_commits(), ::testing::ElementsAre("MAX_FIT_FL"));
    EXPECT_EQ(window.text(MAX_FIT_FL.controlId()), "");
}

TEST_F(MainWindowTest, busySwitchingTurnsExactlyTheEightStaticParkingControls)
{
    for (const auto& c : window.controls())
        window.setEnabled(c.id, true);
    gf_showStatus("before");
    gf_disableControls();
    EXPECT_TRUE(busy.load());
    const std::set<ui::ControlId> parking(std::begin(kStaticParkingIds), std::end(kStaticParkingIds));
    for (const auto& c : window.controls())
        EXPECT_EQ(c.enabled, !parking.contains(c.id)) << c.id;
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        EXPECT_EQ(mainWindowObject.statusText, "");
    }
    window.takeInvalidations();
    gf_enableControls();
    EXPECT_FALSE(busy.load());
    for (const auto& c : window.controls())
        EXPECT_TRUE(c.enabled) << c.id;
    EXPECT_THAT(window.takeInvalidations(), ::testing::Contains(kControlsBand));
}

TEST_F(MainWindowTest, settersBringValuesIntoTheirControls)
{
    MAX_LIVE.setValue(120);
    MAX_LIVE.show();
    MAX_FIT_FL.setValue(1.5f);
    MAX_FIT_FL.show();
    BLOCK_CALLSIGN.setValue("KLM123");
    BLOCK_CALLSIGN.show();
    WEEK.setChecked(true);
    EXPECT_EQ(window.text(MAX_LIVE.controlId()), "120");
    EXPECT_EQ(window.text(MAX_FIT_FL.controlId()), "1.5");
    EXPECT_EQ(window.text(BLOCK_CALLSIGN.controlId()), "KLM123");
    EXPECT_TRUE(window.isChecked(WEEK.controlId()));
    gf_clearControlText(MAX_LIVE.controlId());
    EXPECT_EQ(window.text(MAX_LIVE.controlId()), "");
    gf_enableControl(UNBLOCK);
    EXPECT_TRUE(window.isEnabled(UNBLOCK.controlId()));
    // Text that does not convert leaves the field as it was.
    BLOCK_CALLSIGN.setValue("bad \xFF");
    BLOCK_CALLSIGN.show();
    EXPECT_EQ(window.text(BLOCK_CALLSIGN.controlId()), "KLM123");
    WEEK.setChecked(false);
    MAX_LIVE.setValue(300);
    BLOCK_CALLSIGN.setValue("");
}

// Two threads set the same check box and field at the same moment; whichever
// comes last, the control ends showing the setting's value.
TEST_F(MainWindowTest, settersRacingOnOneControlLeaveItShowingTheValue)
{
    constexpr int kRounds = 3000;
    std::barrier sync(3); // the two setters and this thread, which checks
    auto setter = [&](bool checked, std::int32_t live) {
        for (int round = 0; round < kRounds; ++round) {
            sync.arrive_and_wait();
            WEEK.setChecked(checked);
            MAX_LIVE.setValue(live);
            MAX_LIVE.show();
            sync.arrive_and_wait();
        }
    };
    std::thread first(setter, true, 100);
    std::thread second(setter, false, 200);
    int mismatches = 0;
    for (int round = 0; round < kRounds; ++round) {
        sync.arrive_and_wait();
        sync.arrive_and_wait();
        mismatches += window.isChecked(WEEK.controlId()) != WEEK.value();
        mismatches += window.text(MAX_LIVE.controlId()) != std::to_string(MAX_LIVE.value());
    }
    first.join();
    second.join();
    EXPECT_EQ(mismatches, 0);
    WEEK.setChecked(false);
    MAX_LIVE.setValue(300);
}

TEST_F(MainWindowTest, aWorkerSetterDoesNotWaitForABusyWindowThread)
{
    std::promise<void> entered;
    std::promise<void> release;
    auto releaseFuture = release.get_future().share();
    procedure.onCommand = [&](int) {
        entered.set_value();
        releaseFuture.wait();
    };
    window.setEnabled(RE_READ.controlId(), true);
    window.click(RE_READ.controlId());
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);

    // The window thread now waits for the worker, which uses every kind of setter.
    auto worker = std::async(std::launch::async, [] {
        MAX_LIVE.show();
        SIM_INSTALL_PATH.show();
        LOG.setChecked(LOG.value());
        gf_showStatus("from a worker", false);
        gf_disableControls();
        gf_enableControls();
        gf_showError("worker error");
        gf_clearError();
        mainWindowObject.simulatorText.set("Prepar3D v5");
        gf_invalidateMainWindow(kHeaderAndStatistics);
    });
    const bool finished = worker.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    release.set_value();
    ASSERT_TRUE(finished) << "a setter waited for the window thread";
    worker.get();
    ASSERT_TRUE(window.flush());
    EXPECT_TRUE(waitFor([&] { return window.lastPaintRegion().contains(kHeaderAndStatistics); }));
}

TEST_F(MainWindowTest, installPathIsSavedAndShown)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv appData("NORVANE_APPDATA", (dir.path() / "roaming").string());
    gf_initDataFolder();
    std::filesystem::create_directories(g_dataFolder);
    lf_setInstallPath("/opt/Prepar3D v5/");
    EXPECT_EQ(window.text(SIM_INSTALL_PATH.controlId()), "/opt/Prepar3D v5/");
    EXPECT_THAT(testsupport::readFile(g_parametersPath),
                ::testing::HasSubstr(R"(name="SIM_INSTALL_PATH" value="/opt/Prepar3D v5/")"));
    SIM_INSTALL_PATH.setValue("");
}

TEST_F(MainWindowTest, realTrafficVersionLineIsShownByTheWindow)
{
    archiveWeek = 12;
    mainWindowObject.realTrafficText.clear();
    lf_readRealTrafficVersion(R"({"version": "9.0.1", "level": 2})");
    EXPECT_EQ(mainWindowObject.realTrafficText.get(), "RT prof edition: 9.0.1, archive: week 12");
    rtProfessional = false;
    mainWindowObject.realTrafficText.clear();
}
