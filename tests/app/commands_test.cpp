// The main window's check boxes, buttons and edit fields on a headless
// window: what each saves into "parameters.xml", what it shows, and what it
// asks of the main loop.

#include "main_window_fixture.hpp"
#include "window_state_reset.hpp"

#include "airports/airports_list.hpp"
#include "airports/park_airport_hooks.hpp"
#include "app/commands.hpp"
#include "app/start_up.hpp"
#include "parking/save_airport_file.hpp"
#include "parking/static_parking_driver.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <fmt/format.h>

#include <atomic>
#include <optional>

namespace fs = std::filesystem;
using namespace tzo;
using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

class CommandsTest : public apptest::MainWindowTest {
protected:
    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};

    void SetUp() override
    {
        apptest::resetAllSettings();
        apptest::resetWindowState();
        gf_initDataFolder();
        fs::create_directories(g_dataFolder);
        gf_openLog();
        gf_readSettings();
        manualRange = LATERAL_RANGE.value();
        MainWindowTest::SetUp();
        gf_installCommandHandlers();
        procedure.onCommand = [this](int id) { lf_onCommand(window, id); };
        for (const auto& control : window.controls())
            window.setEnabled(control.id, true);
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        gf_installEditCommitHandlers(EditCommitHandlers{});
        gf_installUpdateCheck({});
        gf_installParameterControlHooks(tzo::ParameterControlHooks{});
        gf_installAppHooks(AppHooks{});
        gf_closeLog();
        apptest::resetAllSettings();
        apptest::resetWindowState();
    }

    static std::optional<std::string> stored(const std::string& name) { return apptest::storedSetting(name); }
    std::string status()
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        return mainWindowObject.statusText;
    }
    std::string log() const { return readFile(dir.path() / "Log.txt"); }
    void click(const ParameterControl& control)
    {
        window.click(control.controlId());
        ASSERT_TRUE(window.flush());
    }
    void enter(const ParameterControl& control, std::string_view text)
    {
        window.setText(control.controlId(), text);
        window.pressEnter(control.controlId());
        ASSERT_TRUE(window.flush());
    }
};

} // namespace

TEST_F(CommandsTest, everyCheckBoxTogglesSavesAndSaysWhy)
{
    const std::string scanLiveries = "Your liveries will be scanned at the next start of Norvane_P3D, recommended "
                                     "after you have add/removed AI aircraft models/liveries";
    const std::string scanAirports = "Your airports will be scanned at the next start of Norvane_P3D, recommended "
                                     "after you have add/removed airports";
    struct Case {
        BoolParameterCheckBox* box;
        std::optional<std::string> whenOn;   // "": the line cleared; none: left as it was
        std::optional<std::string> whenOff;
    };
    const std::optional<std::string> kept;
    const Case cases[] = {
        {&SCAN_LIVERIES, scanLiveries, ""},
        {&SCAN_AIRPORTS, scanAirports, ""},
        {&LIG_AUTOMATIC, "", "The liveries defined by your lfolder parameters will be scanned"},
        {&LIG_PRIORITIZE, "Liveries in lower lfolders that are already available will be skipped", ""},
        {&AFG_AUTOMATIC, "", "The airports defined by your afolder parameters will be scanned"},
        {&SUPPRESS_STUB, "Exclude FSLTL-liveries titles ending with _STUB from scan", ""},
        {&ALWAYS_ON_TOP, "Norvane_P3D's window will remain visible", ""},
        {&AEROWINX, "Note: This mode is for Aerowinx PSX users only, please re-start Norvane_P3D", ""},
        {&GUID_CHANGES, "", "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc.."},
        {&INITIAL_LOAD_ONLY,
         "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes", ""},
        {&COLLISION_LIVE_PARKED_GND, "",
         "Be aware, no collision avoidance with live aircraft vs parked static on the ground"},
        {&COLLISION_USER_GND, "", "Be aware, no collision avoidance with user aircraft on the ground"},
        {&COLLISION_USER_AIR, "", "Be aware, no collision avoidance with user aircraft in the air"},
        {&LOG, kept, kept},
        {&LIGHT_AIRCRAFT, kept, kept},
        {&HELICOPTERS, kept, kept},
        {&HIGH_PERF_AIRCRAFT, kept, kept},
        {&LEARN_SOFT, kept, kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box->name());
        c.box->setChecked(false);
        ASSERT_TRUE(window.flush());
        for (const bool on : {true, false}) {
            gf_showStatus("before");
            click(*c.box);
            EXPECT_EQ(c.box->value(), on);
            EXPECT_EQ(window.isChecked(c.box->controlId()), on);
            EXPECT_EQ(stored(c.box->name()), on ? "true" : "false");
            EXPECT_EQ(status(), (on ? c.whenOn : c.whenOff).value_or("before"));
            if (c.box == &ALWAYS_ON_TOP) {
                EXPECT_EQ(window.isTopmost(), on);
            }
        }
    }
}

TEST_F(CommandsTest, checkBoxFollowUpsRequestWorkOfTheMainLoop)
{
    click(NAV_LIGHTS_WHILE_PARKED);
    EXPECT_TRUE(navLightsPending.load());

    parkAirportActive = true;
    secondsCounter = 30;
    click(WEEK);
    EXPECT_TRUE(parkAirportChanged.load());
    EXPECT_TRUE(renewalPending.load());
    EXPECT_EQ(status(), "Norvane_P3D will respond in 15 seconds ...");
    secondsCounter = 44;
    click(PARK_FAKE);
    EXPECT_EQ(status(), "Norvane_P3D will respond in 1 second ...");
}

TEST_F(CommandsTest, automaticRangeOffGoesBackToTheManualRange)
{
    AUTO_RANGE.setChecked(false);
    ASSERT_TRUE(window.flush());
    ASSERT_EQ(LATERAL_RANGE.value(), 40);
    click(AUTO_RANGE);
    EXPECT_TRUE(updateRangePending.load());
    EXPECT_FALSE(window.isEnabled(LATERAL_RANGE.controlId()));
    gf_setRangeNm(8);  // what the automatic range does in flight

    click(AUTO_RANGE);
    EXPECT_TRUE(window.isEnabled(LATERAL_RANGE.controlId()));
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_EQ(rangeNm.load(), 40.0);
    EXPECT_EQ(rangeMetres.load(), 40u * 1852u);
    EXPECT_EQ(window.text(LATERAL_RANGE.controlId()), "40");
}

TEST_F(CommandsTest, integerFieldsParseClampAndSave)
{
    struct Case {
        IntParameterField* field;
        const char* typed;
        std::optional<std::int32_t> value;  // none: refused, nothing changes
        const char* status;
    };
    const Case cases[] = {
        {&AIRPORT_RANGE, "50", 30, "The new AIRPORT_RANGE is 30"},
        {&LATERAL_RANGE, " 12abc", 12, "The new LATERAL_RANGE is 12"},
        {&AIRPORT_HEIGHT, "abc", std::nullopt, "invalid input: abc"},
        {&AIRPORT_HEIGHT, "12345678901234567890", std::nullopt, ""},
        {&AIRPORT_HEIGHT, "18000", std::nullopt, "Same AIRPORT_HEIGHT value 18000, no changes made"},
        {&AIRPORT_RANGE, "", 20, "The new AIRPORT_RANGE is 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field->name()) + " <- " + c.typed);
        apptest::resetStatusLine();
        const std::int32_t before = c.field->value();
        const auto storedBefore = stored(c.field->name());
        enter(*c.field, c.typed);
        EXPECT_EQ(status(), c.status);
        const std::int32_t expected = c.value.value_or(before);
        EXPECT_EQ(c.field->value(), expected);
        EXPECT_EQ(window.text(c.field->controlId()), std::to_string(expected)) << "the field shows the stored value";
        if (c.value)
            EXPECT_EQ(stored(c.field->name()), std::to_string(*c.value));
        else
            EXPECT_EQ(stored(c.field->name()), storedBefore);
    }
    EXPECT_NE(log().find("procesTbInt exception stoi, h=12345678901234567890 "), std::string::npos);
    EXPECT_NE(log().find("invalid input: abc"), std::string::npos);
    EXPECT_EQ(rangeNm.load(), 12.0) << "a new LATERAL_RANGE is the range at once";
}

TEST_F(CommandsTest, emptyParkingPercentageIsZeroForThisRunOnly)
{
    const std::string file = readFile(g_parametersPath);
    enter(parking_percentage, "");
    EXPECT_EQ(parking_percentage.value(), 0);
    EXPECT_EQ(status(), "The new parking_percentage is 0");
    EXPECT_EQ(readFile(g_parametersPath), file);
}

// The default is a value like any other: the field shows it.
TEST_F(CommandsTest, maxLiveAtItsDefaultShowsInTheField)
{
    enter(MAX_LIVE, "100");
    EXPECT_EQ(window.text(MAX_LIVE.controlId()), "100");
    EXPECT_EQ(savedMaxLive.load(), 100u);
    EXPECT_TRUE(limitLiveCountPending.load());
    enter(MAX_LIVE, "300");
    EXPECT_EQ(stored("MAX_LIVE"), "300");
    EXPECT_EQ(window.text(MAX_LIVE.controlId()), "300");
}

// The user's MAX_LIVE through the real exit and its restarts, with the
// airport's value still in force: exit_settings_test.cpp.
TEST_F(CommandsTest, parkingSettingsTypedAtTheParkAirportStayInItsFileAndTheUsersMaxLiveComesBackOnLeaving)
{
    apptest::writeParkAirportWithItsOwnMaxLive(50);
    testsupport::writeFile(g_parametersPath, "<parameters><parameter name=\"MAX_LIVE\" value=\"120\"/></parameters>");
    lf_loadParameters(); // as the start-up reads the user's settings
    gf_installParkingSave();
    ASSERT_TRUE(lf_setParkAirport("LIRF"));
    ASSERT_EQ(lf_loadParkAirport(), "");
    ASSERT_EQ(MAX_LIVE.value(), 50);

    enter(parking_percentage, "80");
    enter(MAX_LIVE, "40");
    // A save that finds no settings file writes all of them from memory.
    fs::remove(g_parametersPath);
    enter(MATCHING_DEPTH, "2");
    EXPECT_EQ(stored("MAX_LIVE"), "120") << "the airport's value stays with the airport";
    lf_removeParkedAndLeave();
    const std::string learned = readFile("airports/learned/stock/LIRF.xml");
    EXPECT_NE(learned.find("name=\"parking_percentage\" value=\"80\""), std::string::npos);
    EXPECT_NE(learned.find("name=\"MAX_LIVE\" value=\"40\""), std::string::npos);
    EXPECT_EQ(MAX_LIVE.value(), 120);
    EXPECT_EQ(stored("MAX_LIVE"), "120") << "the airport's value stays with the airport";

    // The next visit: the airport's value is still the airport's, the
    // user's still the user's.
    ASSERT_TRUE(lf_setParkAirport("LIRF"));
    ASSERT_EQ(lf_loadParkAirport(), "");
    EXPECT_EQ(MAX_LIVE.value(), 40);
    lf_removeParkedAndLeave();
    EXPECT_EQ(MAX_LIVE.value(), 120);
    EXPECT_EQ(stored("MAX_LIVE"), "120");

    gf_installStoredTextHook(nullptr);
    gf_installParkAirportHooks({});
    gf_resetAirportsListForTests();
    gf_resetStaticParking();
}

TEST_F(CommandsTest, onlyADeeperMatchingAsksForNewMatches)
{
    enter(MATCHING_DEPTH, "2");
    EXPECT_EQ(MATCHING_DEPTH.value(), 2);
    EXPECT_FALSE(matchingChanged.load());
    enter(MATCHING_DEPTH, "3");
    EXPECT_TRUE(matchingChanged.load());
}

TEST_F(CommandsTest, fitSnapsToHalfHoursAndRefusesWords)
{
    enter(MAX_FIT_FL, "1.3");
    EXPECT_EQ(MAX_FIT_FL.value(), 24.0f) << "without a park airport Enter does nothing";

    parkAirportActive = true;
    enter(MAX_FIT_FL, "1.3");
    EXPECT_EQ(MAX_FIT_FL.value(), 1.5f);
    EXPECT_EQ(stored("MAX_FIT"), "2");
    EXPECT_EQ(window.text(MAX_FIT_FL.controlId()), "1.5");
    EXPECT_EQ(status(), "Norvane_P3D will respond in 15 seconds ...") << "the renewal follows the new fit";
    EXPECT_TRUE(renewalPending.load());

    for (const char* word : {"nan", "inf", "x1"}) {
        SCOPED_TRACE(word);
        enter(MAX_FIT_FL, word);
        EXPECT_EQ(MAX_FIT_FL.value(), 1.5f);
        EXPECT_EQ(stored("MAX_FIT"), "2");
        EXPECT_EQ(window.text(MAX_FIT_FL.controlId()), "1.5");
    }
    EXPECT_NE(log().find("procesTbFloat exception stof, h=nan "), std::string::npos);

    enter(MAX_FIT_FL, "");
    EXPECT_EQ(MAX_FIT_FL.value(), 24.0f);
    EXPECT_EQ(stored("MAX_FIT"), "47");
}

TEST_F(CommandsTest, callsignIsBlockedInCapitalsAndUnblocked)
{
    for (const char* wrong : {"AB", "ABCDEFGHI"}) {
        enter(BLOCK_CALLSIGN, wrong);
        EXPECT_EQ(status(), fmt::format("callsign \"{}\" is not valid", wrong));
        EXPECT_EQ(window.text(BLOCK_CALLSIGN.controlId()), "");
    }
    EXPECT_FALSE(blockCallsignPending.load());
    window.setEnabled(UNBLOCK.controlId(), false);

    enter(BLOCK_CALLSIGN, "klm123");
    EXPECT_EQ(stored("BLOCK_CALLSIGN"), "KLM123");
    EXPECT_EQ(window.text(BLOCK_CALLSIGN.controlId()), "KLM123");
    EXPECT_EQ(status(), "live aircraft with callsign \"KLM123\" will be blocked");
    EXPECT_TRUE(window.isEnabled(UNBLOCK.controlId()));
    EXPECT_TRUE(blockCallsignPending.exchange(false));

    click(UNBLOCK);
    EXPECT_EQ(stored("BLOCK_CALLSIGN"), "");
    EXPECT_EQ(status(), "no more blocking of live aircraft \"KLM123\"");
    EXPECT_FALSE(window.isEnabled(UNBLOCK.controlId()));
    EXPECT_TRUE(blockCallsignPending.load());

    window.setEnabled(UNBLOCK.controlId(), true);
    click(UNBLOCK);
    EXPECT_EQ(status(), "Nothing to block or unblock...");
}

TEST_F(CommandsTest, existingInstallPathRestartsAFileIsRefused)
{
    const fs::path file = dir.path() / "a_file";
    testsupport::writeFile(file, "x");
    enter(SIM_INSTALL_PATH, file.string());
    EXPECT_EQ(status(), "This install path does not exist: " + file.string());
    EXPECT_EQ(stored("SIM_INSTALL_PATH"), "");
    EXPECT_TRUE(apptest::exitRequests().empty());

    gf_showError("no simulator");
    const fs::path folder = dir.path() / "P3D v5";
    fs::create_directories(folder);
    enter(SIM_INSTALL_PATH, folder.string());
    EXPECT_EQ(stored("SIM_INSTALL_PATH"), folder.string());
    EXPECT_EQ(status(), "Install path exists, re-start");
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        EXPECT_EQ(mainWindowObject.errorText, "") << "a new path clears the error line";
    }
    const auto exits = apptest::exitRequests();
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].reason, ExitReason::RESTART_IPP);
    EXPECT_EQ(exits[0].seconds, 3);
}

TEST_F(CommandsTest, rereadAndFlushStaticAreRequestedOnce)
{
    click(RE_READ);
    EXPECT_TRUE(rereadPending.load());
    EXPECT_FALSE(window.isEnabled(RE_READ.controlId()));
    click(FLUSH_STATIC);
    EXPECT_TRUE(flushStaticPending.load());
    EXPECT_FALSE(window.isEnabled(FLUSH_STATIC.controlId()));
    EXPECT_EQ(status(), "All static parked aircraft will be removed ...");
}

TEST_F(CommandsTest, slowVersionCheckLeavesTheWindowPainting)
{
    std::atomic<bool> release{false};
    gf_installUpdateCheck([&]() -> std::optional<std::string> {
        waitFor([&] { return release.load(); }, std::chrono::seconds(20));
        return std::string();
    });
    click(CHECK_VERSION);
    EXPECT_FALSE(window.isEnabled(CHECK_VERSION.controlId()));
    EXPECT_TRUE(gf_updateCheckRunning());
    const auto painted = window.paintCount();
    window.invalidate(kStatusBand);
    EXPECT_TRUE(waitFor([&] { return window.paintCount() > painted; })) << "the window thread is not blocked";
    release = true;
    ASSERT_TRUE(waitFor([&] { return !gf_updateCheckRunning(); }));
    EXPECT_EQ(status(), "Norvane_P3D is up to date");

    DATA_CHECKED_AT_DATE.setAndSave("2026-12-09");
    gf_installUpdateCheck([] { return std::optional<std::string>("A new dbase.xml is available"); });
    window.setEnabled(CHECK_VERSION.controlId(), true);
    click(CHECK_VERSION);
    ASSERT_TRUE(waitFor([&] { return !gf_updateCheckRunning(); }));
    EXPECT_EQ(status(), "A new dbase.xml is available  ( exit Norvane_P3D and restart )");
    EXPECT_EQ(stored("DATA_CHECKED_AT_DATE"), "");

    // A check that learned nothing at all failed; it is not "up to date".
    gf_installUpdateCheck([] { return std::optional<std::string>(); });
    window.setEnabled(CHECK_VERSION.controlId(), true);
    click(CHECK_VERSION);
    ASSERT_TRUE(waitFor([&] { return !gf_updateCheckRunning(); }));
    EXPECT_EQ(status(), "version check failed?");
}
