#include "simconnect/sim_client.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/p3d_version.hpp"
#include "foundation/run_state.hpp"
#include "foundation/time.hpp"
#include "simconnect/config.hpp"
#include "simconnect/connection.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_hooks.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

struct Variable {
    const char* name;
    const char* unit; // null: no unit
    std::uint32_t type;
};

struct Definition {
    tzo::DataDefinitionId id;
    std::vector<Variable> variables;
};

constexpr std::uint32_t F64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr std::uint32_t I64 = SIMCONNECT_DATATYPE_INT64;

const std::vector<Definition>& lf_definitions()
{
    // In the order they are registered (401 follows the client events).
    static const std::vector<Definition> definitions = {
        {tzo::DEFINITION_USER_TITLE, {{"TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV}}},
        {tzo::DEFINITION_USER_MODEL, {{"ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
        {tzo::DEFINITION_USER_ON_GROUND, {{"SIM ON GROUND", "Bool", I64}}},
        {tzo::DEFINITION_AI_POSITION,
         {{"Plane Latitude", "degree", F64},
          {"Plane Longitude", "degree", F64},
          {"Plane Pitch degrees", "radians", F64},
          {"Plane Bank degrees", "radians", F64},
          {"Plane Heading degrees true", "radians", F64},
          {"Plane Altitude", "feet", F64},
          {"Vertical Speed", "feet per second", F64},
          {"Airspeed True", "knots", F64}}},
        {tzo::DEFINITION_USER_STATE,
         {{"Plane Latitude", "degree", F64},
          {"Plane Longitude", "degree", F64},
          {"Plane Pitch degrees", "radians", F64},
          {"Plane Bank degrees", "radians", F64},
          {"Plane Heading degrees true", "radians", F64},
          {"Plane Altitude", "feet", F64},
          {"Plane Alt Above Ground", "feet", F64},
          {"Ground Velocity", "knots", F64},
          {"ZULU TIME", "Seconds", I64},
          {"ZULU DAY OF YEAR", "Number", I64},
          {"ZULU YEAR", "Number", I64},
          {"LIGHT STATES", "Mask", I64}}},
        {tzo::DEFINITION_STATIC_CG, {{"Static CG to Ground", "feet", F64}, {"Static Pitch", "radians", F64}}},
        {tzo::DEFINITION_LIGHT_ON, {{"Light On States", "Mask", I64}}},
        {tzo::DEFINITION_IN_RANGE,
         {{"Plane Alt Above Ground", "feet", F64},
          {"Ground Altitude", "feet", F64},
          {"SIM ON GROUND", "Bool", I64},
          {"ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
        {tzo::DEFINITION_AI_THROTTLES,
         {{"SPOILERS HANDLE POSITION", "percent", F64},
          {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent", F64},
          {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent", F64}}},
    };
    return definitions;
}

void lf_addDefinition(SimConnectHandle handle, const Definition& d)
{
    for (const Variable& v : d.variables)
        SimConnect_AddToDataDefinition(handle, d.id, v.name, v.unit, v.type, 0.0f, SIMCONNECT_UNUSED);
}

using namespace tzo;

constexpr ClientEventId kMapOrder[] = {
    GEAR_SET,           ENGINE_AUTO_START,  ENGINE_AUTO_SHUTDOWN, THROTTLE_SET,
    FLAPS_SET,          SPOILERS_SET,       NAV_LIGHTS_SET,       BEACON_LIGHTS_SET,
    LANDING_LIGHTS_SET, TAXI_LIGHTS_SET,    STROBES_SET,          LOGO_LIGHTS_SET,
    CABIN_LIGHTS_SET,   ALL_LIGHTS_TOGGLE,  FREEZE_LATITUDE_LONGITUDE_SET,
    FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET,
};

// Every mapped event but ENGINE_AUTO_START.
constexpr ClientEventId kGroupOrder[] = {
    NAV_LIGHTS_SET,     BEACON_LIGHTS_SET,  LANDING_LIGHTS_SET,   TAXI_LIGHTS_SET,
    STROBES_SET,        LOGO_LIGHTS_SET,    CABIN_LIGHTS_SET,     ALL_LIGHTS_TOGGLE,
    FLAPS_SET,          SPOILERS_SET,       GEAR_SET,             ENGINE_AUTO_SHUTDOWN,
    THROTTLE_SET,       FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET,
};

// Sleeps, or less when a stop is requested.
void lf_sleep(std::stop_token stop, std::chrono::milliseconds duration)
{
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    cv.wait_for(lock, stop, duration, [] { return false; });
}

std::mutex g_threadMutex;
std::jthread g_simClientThread;

} // namespace

namespace tzo {

const char* gf_clientEventName(ClientEventId id)
{
    switch (id) {
    case BEACON_LIGHTS_SET: return "BEACON_LIGHTS_SET";
    case NAV_LIGHTS_SET: return "NAV_LIGHTS_SET";
    case TAXI_LIGHTS_SET: return "TAXI_LIGHTS_SET";
    case STROBES_SET: return "STROBES_SET";
    case LANDING_LIGHTS_SET: return "LANDING_LIGHTS_SET";
    case CABIN_LIGHTS_SET: return "CABIN_LIGHTS_SET";
    case LOGO_LIGHTS_SET: return "LOGO_LIGHTS_SET";
    case ALL_LIGHTS_TOGGLE: return "ALL_LIGHTS_TOGGLE";
    case FREEZE_LATITUDE_LONGITUDE_SET: return "FREEZE_LATITUDE_LONGITUDE_SET";
    case FREEZE_ALTITUDE_SET: return "FREEZE_ALTITUDE_SET";
    case FREEZE_ATTITUDE_SET: return "FREEZE_ATTITUDE_SET";
    case FLAPS_SET: return "FLAPS_SET";
    case SPOILERS_SET: return "SPOILERS_SET";
    case GEAR_SET: return "GEAR_SET";
    case ENGINE_AUTO_START: return "ENGINE_AUTO_START";
    case ENGINE_AUTO_SHUTDOWN: return "ENGINE_AUTO_SHUTDOWN";
    case THROTTLE_SET: return "THROTTLE_SET";
    }
    return "";
}

} // namespace tzo

void lf_registerSimDefinitions()
{
    const SimConnectHandle h = simConnectHandle.load();
    SimConnect_SubscribeToSystemEvent(h, tzo::EVENT_SIM, "Sim");
    SimConnect_SubscribeToSystemEvent(h, tzo::EVENT_OBJECT_ADDED, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, tzo::EVENT_OBJECT_REMOVED, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(h, tzo::EVENT_POSITION_CHANGED, "PositionChanged");
    SimConnect_SubscribeToSystemEvent(h, tzo::EVENT_FLIGHT_LOADED, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(h, tzo::EVENT_FRAME, "Frame");

    const auto& definitions = lf_definitions();
    for (const Definition& d : definitions)
        if (d.id != tzo::DEFINITION_AI_THROTTLES)
            lf_addDefinition(h, d);
    for (tzo::ClientEventId id : kMapOrder)
        SimConnect_MapClientEventToSimEvent(h, id, tzo::gf_clientEventName(id));
    for (const Definition& d : definitions)
        if (d.id == tzo::DEFINITION_AI_THROTTLES)
            lf_addDefinition(h, d);
    for (tzo::ClientEventId id : kGroupOrder)
        SimConnect_AddClientEventToNotificationGroup(h, tzo::GROUP_ALL, id, true);
    SimConnect_SetNotificationGroupPriority(h, tzo::GROUP_ALL, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

void lf_closeSimConnect(bool requestExit)
{
    const SimLayerHooks hooks = gf_simLayerHooks();
    if (hooks.simConnected)
        hooks.simConnected(false);
    SimConnectHandle h;
    {
        // Other threads call the simulator under this mutex: none is
        // half-way through a call when the handle goes.
        std::lock_guard lock(simQueueMutex);
        h = simConnectHandle.exchange(nullptr);
    }
    if (h) {
        for (std::uint32_t id : {tzo::DEFINITION_USER_TITLE, tzo::DEFINITION_USER_MODEL, tzo::DEFINITION_USER_ON_GROUND,
                                 tzo::DEFINITION_AI_POSITION, tzo::DEFINITION_USER_STATE, tzo::DEFINITION_AI_THROTTLES,
                                 tzo::DEFINITION_IN_RANGE, tzo::DEFINITION_STATIC_CG, tzo::DEFINITION_LIGHT_ON})
            SimConnect_ClearDataDefinition(h, id);
        for (std::uint32_t id : {tzo::EVENT_SIM, tzo::EVENT_OBJECT_ADDED, tzo::EVENT_OBJECT_REMOVED, tzo::EVENT_FRAME,
                                 tzo::EVENT_POSITION_CHANGED, tzo::EVENT_FLIGHT_LOADED})
            SimConnect_UnsubscribeFromSystemEvent(h, id);
        if (SimConnect_Close(h) != SIMCONNECT_S_OK)
            gf_logLineMarked("SimConnect close failed!");
    }
    if (requestExit && !exiting.load()) {
        gf_logLine(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_nowUtcText(),
                               "Norvane_P3D"));
        gf_requestExit(ExitReason::SIM_WAS_CLOSED, 0);
    }
}

void SimClient(std::stop_token stop)
{
    RunningThreadCount counted;
    bool firstPass = true;
    std::chrono::steady_clock::time_point waitingSince;
    bool searchSaid = false;
    try {
        while (!exiting.load() && !userClosed.load() && !stop.stop_requested()) {
            if (firstPass) {
                firstPass = false;
                waitingSince = std::chrono::steady_clock::now();
                gf_showStatus("Waiting for Prepar3Dv" + gf_p3dVersionFromPath() + " ...", true);
                gf_flushLog();
            }
            SimConnectHandle handle = nullptr;
            if (SimConnect_Open(&handle, "Norvane_P3D", nullptr, 0, nullptr, 0) != SIMCONNECT_S_OK) {
                // A wait that lasts says once where it looks, as a silent
                // feed does: a simulator that runs may be looked for in the
                // wrong place.
                if (!searchSaid && std::chrono::steady_clock::now() - waitingSince >= tzo::kSimSearchSaidAfter) {
                    searchSaid = true;
                    gf_logProgressLine(fmt::format("Still waiting for Prepar3Dv{} after {} s: {}",
                                                   gf_p3dVersionFromPath(), tzo::kSimSearchSaidAfter.count(),
                                                   tzo::gf_simConnectSearchText(0)));
                }
                lf_sleep(stop, std::chrono::seconds(1));
                continue;
            }
            simConnectHandle.store(handle);
            lf_registerSimDefinitions();
            bool simulatorGone = false;
            std::string streamFault;
            while (!stop.stop_requested()) {
                // A failed dispatch means the stream has ended (the simulator
                // ended or crashed) or broke the protocol: nothing will ever
                // arrive on it again.
                if (SimConnect_CallDispatch(handle, &lf_dispatch, nullptr) != SIMCONNECT_S_OK) {
                    simulatorGone = true;
                    streamFault = tzo::gf_simConnectStreamFault(handle);
                    break;
                }
                std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(1));
            }
            if (simulatorGone) {
                flightRunning.store(false);
                if (streamFault.empty()) {
                    lf_closeSimConnect(true);
                } else {
                    // Not the simulator closing: whoever watches the program
                    // must be able to tell the two apart.
                    gf_showError(fmt::format("The simulator's stream broke the protocol ({}); {} stops",
                                             streamFault, "Norvane_P3D"));
                    lf_closeSimConnect(false);
                    gf_requestExit(ExitReason::SYSTEM_ERROR, 0);
                }
                break;
            }
            // Stopped for an exit or restart: the simulator drops our AI
            // objects only with the connection, so it must not linger.
            lf_closeSimConnect(false);
        }
    } catch (const tzo::UserErrorException& e) {
        gf_showError(e.what());
        lf_closeSimConnect(false);
        if (const SimLayerHooks hooks = gf_simLayerHooks(); hooks.nothingLeftToDo)
            hooks.nothingLeftToDo();
    } catch (const std::exception& e) {
        gf_showError(e.what());
        flightRunning.store(false);
        lf_closeSimConnect(true);
    } catch (...) {
        gf_showError(fmt::format("Exception in {}", "SimClient"));
        flightRunning.store(false);
        lf_closeSimConnect(true);
    }
    try {
        lf_rememberUserStand();
    } catch (...) {
        gf_logException("SimClient");
    }
}

namespace {

// The process may end while the thread still runs. It is stopped and joined
// before the state it uses is destroyed: what it reaches through function
// statics is made first, so that it outlives this exit handler.
void lf_stopAtExit()
{
    gf_stopSimClient();
}

void lf_stopAtExitOnce()
{
    static const bool registered = [] {
        (void)lf_definitions();
        (void)tzo::gf_simConnectSendLock();
        return std::atexit(lf_stopAtExit) == 0;
    }();
    (void)registered;
}

} // namespace

void gf_startSimClient()
{
    lf_stopAtExitOnce();
    std::lock_guard lock(g_threadMutex);
    if (g_simClientThread.joinable()) {
        g_simClientThread.request_stop();
        g_simClientThread.join();
    }
    // Counted before it exists: an exit that begins meanwhile waits for it.
    try {
        g_simClientThread = std::jthread(gf_countThreadToStart([](std::stop_token stop) { SimClient(stop); }));
    } catch (...) {
        gf_uncountThreadToStart();
        throw;
    }
}

void gf_requestSimClientStop()
{
    std::lock_guard lock(g_threadMutex);
    if (g_simClientThread.joinable())
        g_simClientThread.request_stop();
}

void gf_stopSimClient()
{
    std::lock_guard lock(g_threadMutex);
    if (g_simClientThread.joinable()) {
        g_simClientThread.request_stop();
        g_simClientThread.join();
    }
}
