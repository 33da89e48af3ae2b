// The exit with the program's own services and a real (headless) main window:
// the restart and the final close arrive as the window's own messages.

#include "main_window_fixture.hpp"
#include "exit_state_reset.hpp"

#include "app/controls.hpp"
#include "app/exit.hpp"
#include "app/main_window.hpp"
#include "app/program_exit_services.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "platform/ui/headless_window.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

struct RecordingProcedure : ui::WindowProcedure {
    std::mutex mutex;
    std::vector<ui::MessageKind> received;

    void onMessage(ui::Window& window, const ui::Message& message) override
    {
        currentWindow.store(&window);
        if (message.kind == ui::MessageKind::create)
            lf_onCreate(window);
        std::lock_guard lock(mutex);
        if (message.kind == ui::MessageKind::app1 || message.kind == ui::MessageKind::app2)
            received.push_back(message.kind);
    }
    void onPaint(ui::Window&, ui::Painter&) override {}
    std::vector<ui::MessageKind> messages()
    {
        std::lock_guard lock(mutex);
        return received;
    }
};

struct InstantProgramServices : tzo::ProgramExitServices {
    void sleepFor(std::chrono::milliseconds) override {}
};

struct ExitWindowTest : ::testing::Test {
    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};
    RecordingProcedure procedure;
    ui::HeadlessWindow window;
    std::thread windowThread;

    void SetUp() override
    {
        gf_initDataFolder();
        fs::create_directories(g_dataFolder);
        gf_openLog();
        exiting.store(false);
        gf_installMainWindowHooks();
        tzo::gf_installExitHook();
        tzo::gf_installExitServices(std::make_shared<InstantProgramServices>());
        mainWindowObject.mainWindow.store(&window);
        ASSERT_TRUE(testsupport::openOnThread(window, apptest::mainWindowSpec(), procedure, windowThread));
    }
    void TearDown() override
    {
        waitFor([] { return runningThreads.load() == 0; });
        testsupport::closeOnThread(window, windowThread);
        mainWindowObject.mainWindow.store(nullptr);
        currentWindow.store(nullptr);
        gf_installParameterControlHooks(tzo::ParameterControlHooks{});
        gf_installAppHooks(AppHooks{});
        tzo::gf_installExitServices(nullptr);
        gf_closeLog();
        apptest::resetExitState();
    }
};

} // namespace

TEST_F(ExitWindowTest, restartPostsTheStartMessageAfterTheCountdown)
{
    mainWindowObject.qnh.store(1013);
    gf_requestExit(ExitReason::RESTART_IPP, 2);
    ASSERT_TRUE(waitFor([&] { return !procedure.messages().empty(); }));
    EXPECT_EQ(procedure.messages(), std::vector<ui::MessageKind>{ui::MessageKind::app1});
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        EXPECT_EQ(mainWindowObject.statusText, "Restarting after 1 second");
    }
    EXPECT_EQ(mainWindowObject.qnh.load(), 0) << "the window's counters are back at their start values";
    EXPECT_FALSE(exiting.load());
}

TEST_F(ExitWindowTest, closeEndsWithTheFinalCloseMessage)
{
    gf_requestExit(ExitReason::USER_CLOSED_SIM, 0);
    ASSERT_TRUE(waitFor([&] { return !procedure.messages().empty(); }));
    EXPECT_EQ(procedure.messages(), std::vector<ui::MessageKind>{ui::MessageKind::app2});
    EXPECT_TRUE(exiting.load());
}
