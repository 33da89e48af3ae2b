#include "main_window_fixture.hpp"

namespace apptest {

namespace {

std::mutex g_exitMutex;
std::vector<ExitRequest> g_exits;

void lf_recordExit(ExitReason reason, int seconds)
{
    std::lock_guard lock(g_exitMutex);
    g_exits.push_back(ExitRequest{reason, seconds});
}

} // namespace

std::vector<ExitRequest> exitRequests()
{
    std::lock_guard lock(g_exitMutex);
    return g_exits;
}

void clearExitRequests()
{
    std::lock_guard lock(g_exitMutex);
    g_exits.clear();
}

void installHooks()
{
    gf_installMainWindowHooks();
    AppHooks hooks = gf_appHooks();
    hooks.requestExit = lf_recordExit;
    gf_installAppHooks(hooks);
    clearExitRequests();
}

void resetStatusLine()
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    o.statusText.clear();
    o.errorText.clear();
    o.errorBand.clear();
    o.errorHints.clear();
    o.statusClock = 0;
    o.statusShownAt = 0;
}

ui::WindowSpec mainWindowSpec()
{
    return ui::WindowSpec{"Norvane_P3D", 400, 20, kMainWindowWidth, kMainWindowHeight, ui::rgb(0, 0, 0)};
}

void TestWindowProcedure::onMessage(ui::Window& window, const ui::Message& message)
{
    currentWindow.store(&window);
    if (message.kind == ui::MessageKind::create)
        lf_onCreate(window);
    else if (message.kind == ui::MessageKind::command && onCommand)
        onCommand(message.value);
}

void MainWindowTest::SetUp()
{
    installHooks();
    resetStatusLine();
    busy = false;
    mainWindowObject.mainWindow.store(&window);
    ASSERT_TRUE(testsupport::openOnThread(window, mainWindowSpec(), procedure, windowThread));
}

void MainWindowTest::TearDown()
{
    testsupport::closeOnThread(window, windowThread);
    mainWindowObject.mainWindow.store(nullptr);
    currentWindow.store(nullptr);
}

} // namespace apptest
