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
using ui::ControlKind;

namespace {

struct ExpectedControl {
    const char* name;
    ui::ControlId id;
    ControlKind kind;
    int x;
    int row;
    int width; // check boxes: 12
};

// The window's layout as the settings table and the window layout give it:
// creation order, control id, x, row and width.
const ExpectedControl kLayout[] = {
    {"SIM_INSTALL_PATH", 32788, ControlKind::edit, 126, 119, 1200},
    {"SCAN_LIVERIES", 32797, ControlKind::checkBox, 5, 147, 12},
    {"LIG_AUTOMATIC", 32798, ControlKind::checkBox, 217, 147, 12},
    {"LIG_PRIORITIZE", 32799, ControlKind::checkBox, 323, 147, 12},
    {"SUPPRESS_STUB", 32800, ControlKind::checkBox, 430, 147, 12},
    {"LOG", 32779, ControlKind::checkBox, 652, 147, 12},
    {"ALWAYS_ON_TOP", 32771, ControlKind::checkBox, 748, 147, 12},
    {"SCAN_AIRPORTS", 32802, ControlKind::checkBox, 5, 175, 12},
    {"AFG_AUTOMATIC", 32803, ControlKind::checkBox, 217, 175, 12},
    {"NAV_LIGHTS_WHILE_PARKED", 32778, ControlKind::checkBox, 652, 175, 12},
    {"LEARN_SOFT", 32777, ControlKind::checkBox, 748, 175, 12},
    {"MATCHING_DEPTH", 32808, ControlKind::edit, 217, 203, 24},
    {"LIGHT_AIRCRAFT", 32809, ControlKind::checkBox, 323, 203, 12},
    {"HELICOPTERS", 32810, ControlKind::checkBox, 430, 203, 12},
    {"HIGH_PERF_AIRCRAFT", 32811, ControlKind::checkBox, 536, 203, 12},
    {"AEROWINX", 32775, ControlKind::checkBox, 652, 203, 12},
    {"GUID_CHANGES", 32773, ControlKind::checkBox, 748, 203, 12},
    {"LATERAL_RANGE", 32818, ControlKind::edit, 217, 231, 34},
    {"AUTO_RANGE", 32819, ControlKind::checkBox, 323, 231, 12},
    {"MAX_LIVE", 32820, ControlKind::edit, 576, 231, 34},
    {"Check version", 32780, ControlKind::button, 692, 229, 120},
    {"COLLISION_USER_GND", 32834, ControlKind::checkBox, 217, 287, 12},
    {"COLLISION_USER_AIR", 32833, ControlKind::checkBox, 323, 287, 12},
    {"COLLISION_LIVE_PARKED_GND", 32835, ControlKind::checkBox, 430, 287, 12},
    {"BLOCK_CALLSIGN", 32828, ControlKind::edit, 217, 259, 100},
    {"Unblock", 32829, ControlKind::button, 323, 257, 70},
    {"AIRPORT_RANGE", 32839, ControlKind::edit, 343, 315, 34},
    {"AIRPORT_HEIGHT", 32840, ControlKind::edit, 586, 315, 50},
    {"PARK_FAKE", 32856, ControlKind::checkBox, 5, 343, 12},
    {"WEEK", 32852, ControlKind::checkBox, 71, 343, 12},
    {"PARK_SOFT", 32850, ControlKind::checkBox, 151, 343, 12},
    {"parking_percentage", 32848, ControlKind::edit, 217, 343, 34},
    {"INITIAL_LOAD_ONLY", 32849, ControlKind::checkBox, 323, 343, 12},
    {"MAX_FIT_FL", 32853, ControlKind::edit, 460, 343, 24},
    {"Flush static", 32855, ControlKind::button, 642, 341, 90},
    {"Re-read", 32838, ControlKind::button, 758, 341, 90},
};

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

TEST_F(MainWindowTest, everyControlHasItsIdPlaceAndWidth)
{
    const auto controls = window.controls();
    ASSERT_EQ(controls.size(), std::size(kLayout));
    for (size_t i = 0; i < controls.size(); ++i) {
        const auto& want = kLayout[i];
        const auto& got = controls[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.kind, want.kind);
        const int height = want.kind == ControlKind::checkBox ? 12 : want.kind == ControlKind::edit ? 16 : 20;
        const int top = want.row + (want.kind == ControlKind::checkBox ? 2 : 0);
        EXPECT_EQ(got.rect, (ui::Rect{want.x, top, want.x + want.width, top + height}));
        if (want.kind == ControlKind::button) {
            EXPECT_EQ(got.text, want.name);
        }
        // Check boxes start enabled; edits and buttons wait for the start-up.
        EXPECT_EQ(got.enabled, want.kind == ControlKind::checkBox);
    }
}

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
