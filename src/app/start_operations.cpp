#include "app/start_operations.hpp"

#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "app/traffic_range.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/rt_server.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "simconnect/sim_client.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "simconnect/simconnect.hpp"
#include "traffic/live_traffic.hpp"

#include <fmt/format.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <thread>

std::atomic<std::int32_t> simulatorMajorVersion{5};

namespace tzo {

namespace {

using namespace std::chrono_literals;

constexpr auto kWaitStep = 100ms;
// Step 22: at most 150 waits of 100 ms for the first traffic line.
constexpr int kTrafficWaits = 150;
// At most 10 s for the readers to bind: even a loaded machine binds sooner.
constexpr auto kBindWaitStep = 10ms;
constexpr int kBindWaits = 1000;

// The run this start of operations belongs to: an exit (and perhaps a new
// start) since then makes it stale.
std::uint64_t g_startedUnder = 0;

bool lf_exitBegun()
{
    return exiting.load() || userClosed.load() || runGeneration.load() != g_startedUnder;
}

// Sleeps in steps of 100 ms; false as soon as an exit has begun, so that a
// close during start-up ends the program promptly.
bool lf_sleepUnlessExit(std::chrono::milliseconds duration)
{
    for (auto slept = 0ms; slept < duration; slept += kWaitStep) {
        if (lf_exitBegun())
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(kWaitStep, duration - slept));
    }
    return !lf_exitBegun();
}

void lf_repaintWindow()
{
    gf_invalidateMainWindow(ui::Rect{0, 0, kMainWindowWidth, kMainWindowHeight});
}

std::uint16_t lf_portFromEnvironment(const char* name, std::uint16_t fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    const std::string_view view(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || value == 0 || value > 65535) {
        gf_logLineMarked(fmt::format("{}={} is no port, {} used", name, view, fallback));
        return fallback;
    }
    return static_cast<std::uint16_t>(value);
}

constexpr const char* kQnhPortVariable = "NORVANE_QNH_PORT";
constexpr const char* kTrafficPortVariable = "NORVANE_TRAFFIC_PORT";

// The one line for a port that cannot be used, UDP or TCP: the port, the
// system's words for why, and what to do.
std::string lf_portInUseText(std::string_view protocol, std::string_view port, std::string_view cause,
                             std::string_view setting)
{
    return fmt::format("{} port {} cannot be used{}{}: stop the program that holds it, or set {} to a free port",
                       protocol, port, cause.empty() ? "" : ": ", cause, setting);
}

std::string lf_readerErrorText()
{
    const auto failure = gf_firstReaderFailure();
    if (!failure)
        return "Reader error";
    return "Reader error: " + lf_portInUseText("UDP", std::to_string(failure->port), failure->cause,
                                               failure->traffic ? kTrafficPortVariable : kQnhPortVariable);
}

// Starts a detached reader thread, counted before it exists. False (nothing
// started) when an exit has begun.
bool lf_startReader(void (*body)(std::uint16_t), std::uint16_t port)
{
    if (lf_exitBegun())
        return false;
    try {
        std::thread(gf_countThreadToStart([body, port] { body(port); })).detach();
    } catch (...) {
        gf_uncountThreadToStart();
        throw;
    }
    return true;
}

// The readers bind on their own threads: the test for a reader that could
// not start looks once both have bound or one has failed. False when an exit
// began meanwhile.
bool lf_waitForReadersBound()
{
    for (int i = 0; i < kBindWaits; ++i) {
        if (rtError.load() || (qnhReader.boundPort() != 0 && trafficReader.boundPort() != 0))
            return true;
        if (!lf_sleepUnlessExit(kBindWaitStep))
            return false;
    }
    return true;
}

void lf_reserveContainers()
{
    gf_reserveSimContainers();  // clears simErrorFlag too
    liveAircraft.reserve(512);
    ghostTexts.reserve(64);
}

// Steps 1 to 24; false where it ended early.
bool lf_operations()
{
    if (auto* window = currentWindow.load())
        window->setTopmost(ALWAYS_ON_TOP.value());
    simulatorMajorVersion.store(P3D_VERSION.value());
    lf_reserveContainers();

    realTrafficConnected.store(false);
    mainWindowObject.simConnected.store(false);
    lf_repaintWindow();

    if (lf_exitBegun())
        return false;
    gf_startSimClient();
    if (!lf_requestAircraftOnGround())
        return false;

    gf_readMyParkAirports(false);
    gf_enableControl(RE_READ);
    gf_flushLog();

    try {
        gf_startRealTrafficServer();
    } catch (const UserErrorException&) {
        throw; // a setting to mend: it names the value itself
    } catch (const ServerBindError& e) {
        // A system error with or without a window, as a busy UDP port is.
        gf_showError("RealTraffic's TCP server cannot start: " +
                     lf_portInUseText("TCP", e.port(), e.cause(),
                                      fmt::format("{} in {}", PORT_NUMBER.name(), g_parametersPath)));
        closeServer();
        gf_requestExit(ExitReason::SYSTEM_ERROR, 0);
        return false;
    } catch (const std::exception& e) {
        // Not every set-up step names the port; the user needs it to mend the setting.
        throw std::runtime_error(
            fmt::format("RealTraffic's TCP server cannot start on port {}: {}", PORT_NUMBER.value(), e.what()));
    }
    lf_repaintWindow();
    if (AUTO_RANGE.value()) {
        gf_updateTrafficRange();
        gf_disableControl(LATERAL_RANGE);
    }
    if (lf_exitBegun())
        return false;

    mainWindowObject.operationsNotStarted.store(false);
    lf_repaintWindow();
    gf_flushLog();

    if (AEROWINX.value()) {
        rtConnected.store(false);
    } else {
        gf_connectRealTraffic();
        if (rtConnected.load())
            gf_sendTimeToRealTraffic(simTimeUnix.load());
    }
    if (lf_exitBegun())
        return false;

    // The main loop opens the intake once it runs.
    trafficQueue.setIntakeOpen(false);
    if (!lf_startReader(gf_qnhReaderThread, gf_qnhReaderPort()))
        return false;
    if (!lf_sleepUnlessExit(2s))
        return false;
    if (!lf_startReader(gf_trafficReaderThread, gf_trafficReaderPort()))
        return false;
    gf_sendPositionToRealTraffic(userAircraft);

    if (!lf_waitForReadersBound())
        return false;
    if (rtError.load()) {
        // A reader could not bind. The exit ends what runs; nothing more is
        // started, least of all a main loop that no exit would stop.
        // A system error with or without a window, as a busy TCP port is.
        gf_showError(lf_readerErrorText());
        gf_requestExit(ExitReason::SYSTEM_ERROR, 0);
        return false;
    }

    int waits = 0;
    while (trafficReader.timestamp() == 0.0 && waits < kTrafficWaits) {
        if (!lf_sleepUnlessExit(kWaitStep))
            return false;
        ++waits;
    }
    if (trafficReader.timestamp() == 0.0)
        gf_logLine("No traffic in this region?");

    nowDayHour.store(gf_currentDayHour().toU64());
    gf_staticParking(true);
    gf_flushLog();

    if (lf_exitBegun())
        return false;
    gf_logLine("Start of operations: main loop started");
    return gf_startMainLoop();
}

} // namespace

bool gf_inNearZeroBox(double latitude, double longitude)
{
    return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}

std::uint16_t gf_qnhReaderPort()
{
    return lf_portFromEnvironment(kQnhPortVariable, kQnhPort);
}

std::uint16_t gf_trafficReaderPort()
{
    return lf_portFromEnvironment(kTrafficPortVariable, kTrafficPort);
}

bool lf_requestAircraftOnGround()
{
    while (!flightRunning.load()) {
        if (!lf_sleepUnlessExit(kWaitStep))
            return false;
    }
    gf_logLine("Flight is running");

    SimConnectResult rc;
    {
        std::lock_guard lock(simQueueMutex);
        rc = SimConnect_RequestDataOnSimObject(simConnectHandle.load(), REQUEST_USER_ON_GROUND,
                                               DEFINITION_USER_ON_GROUND, SIMCONNECT_OBJECT_ID_USER,
                                               SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0);
    }
    if (rc != SIMCONNECT_S_OK) {
        gf_logLine("SimConnect request ac gnd/air fails");
        gf_simConnectRequestError();
    }

    while (!userOnGroundKnown.load() || gf_inNearZeroBox(userAircraft.latitude, userAircraft.longitude)) {
        userAircraft = gf_requestUserAircraftState();
        if (!lf_sleepUnlessExit(500ms))
            return false;
    }
    gf_requestUserTitleAndModel();
    while (gf_inNearZeroBox(userAircraft.latitude, userAircraft.longitude)) {
        userAircraft = gf_requestUserAircraftState();
        if (!lf_sleepUnlessExit(200ms))
            return false;
    }
    gf_logLine(fmt::format("User aircraft at {:.4f} {:.4f}, {}", userAircraft.latitude, userAircraft.longitude,
                           userOnGround.load() ? "on the ground" : "in the air"));
    return !userClosed.load();
}

void lf_startOperations()
{
    g_startedUnder = runGeneration.load();
    gf_logLine("Start of operations");
    try {
        lf_operations();
    } catch (const UserErrorException& e) {
        // A setting to mend (PORT_NUMBER): the user's error, shown as such.
        closeServer();
        gf_showError(e.what());
        lf_repaintWindow();
        gf_nothingLeftToDo();
    } catch (const std::exception& e) {
        gf_showStatus(e.what(), true);
        closeServer();
        lf_repaintWindow();
        gf_requestExit(ExitReason::SYSTEM_ERROR, 0);
    }
    gf_flushLog();
}

} // namespace tzo
