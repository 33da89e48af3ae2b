#include "app/entry.hpp"

#include "app/commands.hpp"
#include "app/controls.hpp"
#include "app/exit.hpp"
#include "app/main_window.hpp"
#include "app/main_window_paint.hpp"
#include "app/settings_into_controls.hpp"
#include "app/status_line.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/terminal.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"
#include "parking/save_airport_file.hpp"
#include "platform/close_signals.hpp"
#include "platform/folders.hpp"
#include "platform/terminal.hpp"
#include "platform/ui/fltk/fltk_window.hpp"
#include "platform/ui/headless_window.hpp"
#include "refdata/update_check.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tzo {

namespace {

using namespace std::chrono_literals;

constexpr int kReadyTries = 18;
constexpr auto kReadyWait = 50ms;

// The start-up thread holder: each start replaces (and detaches) the last one.
std::jthread startUpThread;

// Whether a signal's closing line was shown; the window thread's alone.
std::atomic<bool> g_signalShown{false};

std::mutex g_startUpMutex;
StartUpBody g_startUpBody;

StartUpBody lf_startUpBody()
{
    std::lock_guard lock(g_startUpMutex);
    if (g_startUpBody)
        return g_startUpBody;
    return gf_loadSettingsIntoControls;
}

void lf_startUpNRVX(StartUpBody body)
{
    const RunningThreadCount counted;
    try {
        body();
    } catch (...) {
        gf_logException("lf_startUpNRVX");
    }
}

// A stored limit value is a position the window never had (a window dragged
// off the screen records one): the default takes its place, saved.
void lf_resetLimitPosition(IntParameter& position)
{
    if (position.value() == position.min() || position.value() == position.max()) {
        position.setValue(position.defaultValue());
        gf_saveParameter(position);
    }
}

// The position after a close: the edge clamped, but never a limit itself;
// then the value held before stays.
void lf_storeClosingPosition(IntParameter& position, int edge, std::int32_t before)
{
    position.setValue(edge);
    gf_saveParameter(position);
    if (position.value() == position.min() || position.value() == position.max()) {
        position.setValue(before);
        gf_saveParameter(position);
    }
}

std::string lf_signalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT (Ctrl-C)";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP (terminal closed)";
    case SIGQUIT: return "SIGQUIT (Ctrl-\\)";
    default: return std::to_string(signal);
    }
}

std::string lf_usageText()
{
    return fmt::format(
        "usage: norvane [--headless]\n"
        "       norvane --help | -h     this text; nothing else is done\n"
        "\n"
        "{0} fills the simulator with RealTraffic's aircraft. Start it in its program folder, the one\n"
        "holding \"docs\" (else it stops with Error 41, leaving nothing there) and \"input\"; it writes\n"
        "Log.txt, \"output\" and \"airports\" there, and its settings to parameters.xml in the data folder ({0} below\n"
        "NORVANE_APPDATA, else $XDG_CONFIG_HOME or ~/.config).\n"
        "With --headless, or without a display, there is no window: the status and error lines, the\n"
        "state of the links and the aircraft counts go to standard error.\n"
        "Exit code: 0 closed (close box, Ctrl-C, SIGTERM, SIGHUP, the simulator or the display closing), 1 a\n"
        "system error (a port in use among them), 2 headless an error that leaves it nothing to do, 255\n"
        "another copy runs for this user. ./run.sh --help in the source folder says more: the\n"
        "environment variables, registry.ini and a run against the stand-ins.\n",
        kProgramName);
}

} // namespace

std::filesystem::path gf_instanceLockPath()
{
    return platform::runtimeFolder() / fmt::format("{}-{}.lock", kProgramName, ::getuid());
}

std::filesystem::path gf_dataFolderLockPath()
{
    std::filesystem::path lock = g_dataFolder;
    lock += ".lock";
    return lock;
}

namespace {

InstanceGuard lf_takeLock(const std::filesystem::path& path)
{
    // Never closed: the lock lives as long as the process.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return InstanceGuard::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return InstanceGuard::taken;
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? InstanceGuard::alreadyRunning : InstanceGuard::unavailable;
}

} // namespace

InstanceLock gf_takeSingleInstanceGuard()
{
    const std::filesystem::path runtime = gf_instanceLockPath();
    const InstanceGuard user = lf_takeLock(runtime);
    if (user == InstanceGuard::alreadyRunning)
        return {InstanceGuard::alreadyRunning, runtime};
    // The runtime folder is the user's session's; a copy that sees another
    // one (or none) would otherwise share the data folder with this copy.
    const std::filesystem::path beside = gf_dataFolderLockPath();
    std::error_code ignored;
    std::filesystem::create_directories(beside.parent_path(), ignored);
    const InstanceGuard data = lf_takeLock(beside);
    if (data == InstanceGuard::alreadyRunning)
        return {InstanceGuard::alreadyRunning, beside};
    if (user == InstanceGuard::unavailable && data == InstanceGuard::unavailable)
        return {InstanceGuard::unavailable, runtime};
    return {InstanceGuard::taken, user == InstanceGuard::taken ? runtime : beside};
}

void gf_installStartUpBody(StartUpBody body)
{
    std::lock_guard lock(g_startUpMutex);
    g_startUpBody = std::move(body);
}

void lf_startStartUp()
{
    try {
        startUpThread = std::jthread(lf_startUpNRVX, lf_startUpBody());
        startUpThread.detach();
    } catch (const std::exception& e) {
        gf_showError(fmt::format("The start-up thread could not be started: {}", e.what()));
    }
}

void lf_finalClose(ui::Window& window)
{
    const ui::Rect frame = window.frame();
    const std::int32_t beforeX = MAIN_WINDOW_X.value();
    const std::int32_t beforeY = MAIN_WINDOW_Y.value();
    lf_storeClosingPosition(MAIN_WINDOW_X, frame.left, beforeX);
    lf_storeClosingPosition(MAIN_WINDOW_Y, frame.top, beforeY);
    gf_logLine(gf_utcTimeText());
    if (gf_isLogOpen()) {
        gf_flushLog();
        gf_closeLog();
    }
    window.postQuit(gf_exitCode());
}

// Like a terminal that closed: nobody sees the window any more, so from here
// on the lines go to the terminal, and the program ends through its exit.
void lf_onDisplayGone()
{
    gf_setWindowless(true);
    const char* display = std::getenv("DISPLAY");
    gf_logProgressLine(fmt::format("The display {} went away, closing {} ...", display ? display : "", kProgramName));
    gf_requestExit(ExitReason::USER_CLOSED_SIM, 0);
}

void MainWindowProcedure::onMessage(ui::Window& window, const ui::Message& message)
{
    currentWindow.store(&window);
    try {
        switch (message.kind) {
        case ui::MessageKind::create:
            lf_onCreate(window);
            break;
        case ui::MessageKind::close:
            // The window stays: the exit thread ends the program with the final close.
            if (message.value == ui::kCloseDisplayGone) {
                lf_onDisplayGone();
                break;
            }
            if (message.value != 0) {
                // The exit first, whatever becomes of the line; only a signal
                // that is acted on says so, once (a second Ctrl-C, or one while
                // the program ends anyway, adds nothing). The line is logged,
                // unlike the close box's: nobody may have seen the terminal it
                // came from.
                if (gf_beginExit(ExitReason::USER_CLOSED_SIM, 0) && !g_signalShown.exchange(true))
                    gf_showStatus(fmt::format("Signal {} received, closing {} ...", lf_signalName(message.value),
                                              kProgramName),
                                  true);
                break;
            }
            gf_showStatus(fmt::format("Close window button clicked, closing {} ...", kProgramName), false);
            gf_requestExit(ExitReason::USER_CLOSED_SIM, 0);
            break;
        case ui::MessageKind::command:
            lf_onCommand(window, message.value);
            break;
        case ui::MessageKind::app1:
            lf_startStartUp();
            break;
        case ui::MessageKind::app2:
            lf_finalClose(window);
            break;
        case ui::MessageKind::quit:
            break;
        }
    } catch (...) {
        gf_logException("lf_wndProc");
    }
}

void MainWindowProcedure::onPaint(ui::Window& window, ui::Painter& painter)
{
    currentWindow.store(&window);
    try {
        lf_paintStatusWindow(painter);
    } catch (...) {
        mainWindowObject.paintDc = nullptr;
        gf_logException("lf_paintStatusWindow");
    }
}

bool lf_createMainWindow(ui::Window& window, ui::WindowProcedure& procedure)
{
    int tries = 0;
    while (!mainWindowObject.ready.load()) {
        if (++tries > kReadyTries)
            return false;
        std::this_thread::sleep_for(kReadyWait);
    }

    pugi::xml_document doc;
    if (gf_loadSettingsDocument(doc)) {
        MAIN_WINDOW_X.load(doc, false);
        MAIN_WINDOW_Y.load(doc, false);
        lf_resetLimitPosition(MAIN_WINDOW_X);
        lf_resetLimitPosition(MAIN_WINDOW_Y);
    }

    mainWindowObject.mainWindow.store(&window);
    const ui::WindowSpec spec{std::string(kProgramName), MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value(),
                              kMainWindowWidth, kMainWindowHeight, mainWindowObject.blackBrush};
    if (!window.open(spec, procedure)) {
        mainWindowObject.mainWindow.store(nullptr);
        return false;
    }
    return true;
}

int initInstance(ui::Window& window, ui::WindowProcedure& procedure)
{
    if (!lf_createMainWindow(window, procedure)) {
        gf_logLine("initInstance failed");
        gf_showError("initInstance failed: the main window cannot be made");
        return kExitSystemError;
    }
    std::error_code error;
    if (std::filesystem::exists(g_dataFolder, error) && !std::filesystem::is_directory(g_dataFolder, error)) {
        // Every setting and catalogue lives below it: each save would fail on
        // its own, and none would say why.
        gf_showStatus(
            fmt::format("The data folder {} is a file, not a folder: move the file away", g_dataFolder.string()),
            true);
        return kExitSystemError;
    }
    if (!std::filesystem::exists(g_dataFolder, error)) {
        // With its parents: an application-data folder moved by the
        // environment may not exist yet.
        std::filesystem::create_directories(g_dataFolder, error);
        if (error)
            gf_logLine(fmt::format("The data folder {} cannot be made: {}", g_dataFolder.string(), error.message()));
    }
    window.post(ui::Message{ui::MessageKind::app1, 0});
    window.closeOnSignals();
    return window.run();
}

int gf_programMain(int argc, char** argv)
{
    // Before anything else: a signal from here on ends the program through
    // its exit steps, and the terminal is taken while it is surely there.
    platform::fillClosedStandardStreams();
    platform::holdCloseSignals();
    platform::prepareTerminal();

    // Before the guard and the log: asking how to run it, or asking wrongly,
    // touches nothing. A mistyped option is never taken for none: "--headles"
    // would open a window.
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--headless") {
            headless = true;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(lf_usageText().c_str(), stdout);
            return 0;
        } else {
            std::fputs(fmt::format("norvane: unknown option {}\n{}", argument, lf_usageText()).c_str(), stderr);
            return kExitUserError;
        }
    }

    const InstanceLock lock = gf_takeSingleInstanceGuard();
    switch (lock.guard) {
    case InstanceGuard::alreadyRunning:
        gf_toTerminal(fmt::format("{} already runs for this user (lock file {})", kProgramName, lock.path.string()));
        return -1;
    case InstanceGuard::unavailable:
        // Two copies on one data folder overwrite each other's settings.
        gf_toTerminal(fmt::format("{} cannot make sure that it runs only once: neither {} nor {} can be locked",
                                  kProgramName, gf_instanceLockPath().string(), gf_dataFolderLockPath().string()));
        return 1;
    case InstanceGuard::taken:
        break;
    }

    // A folder without "docs" is not the program's: the start-up ends there
    // at its error, which the window or the terminal shows, and writes no
    // log into a folder the user did not mean.
    try {
        std::error_code notThere;
        if (std::filesystem::is_directory(g_docsFolder, notThere))
            gf_openLog();
    } catch (const std::exception& e) {
        gf_toTerminal(fmt::format("The log cannot be opened: {}", e.what()));
        return 1;
    }

    gf_installMainWindowHooks();
    gf_installParkingSave();
    gf_installExitHook();
    gf_installCommandHandlers();
    gf_installUpdateCheck(gf_runUpdateCheck);

    int code = 0;
    {
        // Decided once, by the one open of the display: whether a window
        // shows also decides where the status and error lines go.
        std::string displayProblem;
        std::unique_ptr<ui::Window> window = ui::createWindow(headless, &displayProblem);
        gf_setWindowless(dynamic_cast<ui::HeadlessWindow*>(window.get()) != nullptr);
        if (!displayProblem.empty())
            gf_logProgressLine(fmt::format("{}: {} runs without a window", displayProblem, kProgramName));
        MainWindowProcedure procedure;
        code = initInstance(*window, procedure);
        gf_sayWhyEnded(code);
        if (runningThreads.load() > 0 || gf_updateCheckRunning()) {
            // Threads that outlived the exit's wait may still use the window,
            // the settings and the window's texts: nothing is destroyed under
            // them. The log is closed already.
            std::fflush(nullptr);
            std::quick_exit(code);
        }
        mainWindowObject.mainWindow.store(nullptr);
        currentWindow.store(nullptr);
    }
    return code;
}

} // namespace tzo
