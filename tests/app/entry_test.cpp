// The entry in this process on a headless window: the saved position, the
// start message, the close box and the final close.

#include "main_window_fixture.hpp"
#include "exit_state_reset.hpp"
#include "window_state_reset.hpp"

#include "app/entry.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <fmt/format.h>

#include <future>

namespace fs = std::filesystem;
using namespace tzo;
using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

class EntryTest : public ::testing::Test {
protected:
    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};
    ui::HeadlessWindow window;
    MainWindowProcedure procedure;
    std::future<int> loop;

    void SetUp() override
    {
        apptest::resetAllSettings();
        apptest::resetWindowState();
        gf_initDataFolder();
        gf_openLog();
        apptest::installHooks();
    }
    void TearDown() override
    {
        if (loop.valid()) {
            window.postQuit(0);
            loop.wait();
        }
        waitFor([] { return runningThreads.load() == 0; });
        mainWindowObject.mainWindow.store(nullptr);
        currentWindow.store(nullptr);
        gf_installParameterControlHooks(tzo::ParameterControlHooks{});
        gf_installAppHooks(AppHooks{});
        if (gf_isLogOpen())
            gf_closeLog();
        apptest::resetExitState();
        apptest::resetAllSettings();
        apptest::resetWindowState();
    }

    void writePosition(int x, int y)
    {
        fs::create_directories(g_dataFolder);
        testsupport::writeFile(g_parametersPath,
                               fmt::format("<?xml version=\"1.0\"?>\n<parameters>\n"
                                           "<parameter name=\"MAIN_WINDOW_X\" value=\"{}\"/>\n"
                                           "<parameter name=\"MAIN_WINDOW_Y\" value=\"{}\"/>\n</parameters>\n",
                                           x, y));
    }
    static std::optional<std::string> stored(const std::string& name) { return apptest::storedSetting(name); }
    // Runs the entry's window on a thread of its own until the start-up has
    // brought the settings into the controls.
    void start()
    {
        loop = std::async(std::launch::async, [this] { return initInstance(window, procedure); });
        ASSERT_TRUE(waitFor([&] { return window.isEnabled(MAX_LIVE.controlId()); }));
        ASSERT_TRUE(waitFor([] { return runningThreads.load() == 0; }));
    }
    int finish()
    {
        window.post(ui::Message{ui::MessageKind::app2, 0});
        EXPECT_EQ(loop.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        return loop.get();
    }
};

} // namespace

TEST_F(EntryTest, positionsAtTheLimitsAreReplacedByTheDefaultAndSaved)
{
    for (const auto& [x, y] : {std::pair{30000, -30000}, std::pair{-30000, 30000}}) {
        SCOPED_TRACE(x);
        writePosition(x, y);
        std::promise<bool> opened;
        std::thread thread([&] {
            ui::HeadlessWindow w;
            opened.set_value(lf_createMainWindow(w, procedure));
            EXPECT_EQ(w.frame().left, 400);
            EXPECT_EQ(w.frame().top, 20);
            mainWindowObject.mainWindow.store(nullptr);
        });
        EXPECT_TRUE(opened.get_future().get());
        thread.join();
        EXPECT_EQ(stored("MAIN_WINDOW_X"), "400");
        EXPECT_EQ(stored("MAIN_WINDOW_Y"), "20");
    }
}

TEST_F(EntryTest, withoutParametersTheWindowOpensAtTheDefaultAndTheDataFolderIsMade)
{
    ASSERT_FALSE(fs::exists(g_dataFolder));
    start();
    EXPECT_EQ(window.frame().left, 400);
    EXPECT_EQ(window.frame().top, 20);
    EXPECT_TRUE(fs::is_directory(g_dataFolder));
    EXPECT_EQ(window.text(LATERAL_RANGE.controlId()), "40") << "the start message loaded the settings";
    EXPECT_EQ(manualRange.load(), 40);
    EXPECT_EQ(finish(), 0);
}

TEST_F(EntryTest, closeBoxOnlyAsksForTheExitAndTheFinalCloseSavesThePosition)
{
    writePosition(500, 60);
    start();
    EXPECT_EQ(window.frame().left, 500);

    window.clickCloseBox();
    ASSERT_TRUE(window.flush());
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        EXPECT_EQ(mainWindowObject.statusText, "Close window button clicked, closing Norvane_P3D ...");
    }
    const auto exits = apptest::exitRequests();
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].reason, ExitReason::USER_CLOSED_SIM);
    EXPECT_EQ(loop.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout) << "the window stays";

    // Dragged far off the screen: the left edge is not kept, the top is.
    window.moveTo(-31000, 70);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(stored("MAIN_WINDOW_X"), "500");
    EXPECT_EQ(stored("MAIN_WINDOW_Y"), "70");
    EXPECT_FALSE(gf_isLogOpen()) << "the final close closes the log";
}

TEST_F(EntryTest, everyStartMessageRunsAFreshStartUp)
{
    std::atomic<int> starts{0};
    gf_installStartUpBody([&] { ++starts; });
    loop = std::async(std::launch::async, [this] { return initInstance(window, procedure); });
    ASSERT_TRUE(waitFor([&] { return starts.load() == 1; }));
    window.post(ui::Message{ui::MessageKind::app1, 0});
    ASSERT_TRUE(waitFor([&] { return starts.load() == 2; }));
    gf_installStartUpBody({});
    EXPECT_EQ(finish(), 0);
}

// At its default size the window shows every setting it names, a default
// value too ("max live:" with 300 in parameters.xml), and every control lies
// inside it: the install path's field is asked for far wider.
TEST_F(EntryTest, theWindowShowsEverySettingItNamesInsideItsDefaultSize)
{
    fs::create_directories(g_dataFolder);
    testsupport::writeFile(g_parametersPath, "<?xml version=\"1.0\"?>\n<parameters>\n"
                                             "<parameter name=\"MAX_LIVE\" value=\"300\"/>\n"
                                             "<parameter name=\"SIM_INSTALL_PATH\" value=\"/opt/p3d/Prepar3D v5/\"/>\n"
                                             "</parameters>\n");
    start();
    EXPECT_EQ(window.text(MAX_LIVE.controlId()), "300");
    EXPECT_EQ(window.text(SIM_INSTALL_PATH.controlId()), "/opt/p3d/Prepar3D v5/");
    const ui::Rect inside{0, 0, kMainWindowWidth, kMainWindowHeight};
    for (const ui::ControlState& control : window.controls()) {
        SCOPED_TRACE(control.id);
        EXPECT_GE(control.rect.left, inside.left);
        EXPECT_LE(control.rect.right, inside.right);
        EXPECT_LE(control.rect.bottom, inside.bottom);
    }
    EXPECT_GT(window.control(SIM_INSTALL_PATH.controlId())->rect.right, kMainWindowWidth - 20)
        << "as wide as the window lets it be";
    EXPECT_EQ(finish(), 0);
}
