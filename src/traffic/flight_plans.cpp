#include "traffic/flight_plans.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"

#include <fmt/format.h>

#include <atomic>
#include <mutex>

namespace {

const std::filesystem::path kFolderName = "orig_dest";

// Set on the start-up side before the main loop runs, read by the main loop
// and the exit thread; a mutex keeps a restart's new path from tearing.
std::mutex g_folderMutex;
std::filesystem::path g_folder;

bool lf_isPlainAlnum(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

std::filesystem::path gf_flightPlanFolder()
{
    std::lock_guard lock(g_folderMutex);
    return g_folder;
}

bool gf_createFlightPlanFolder()
{
    const std::filesystem::path folder = g_dataFolder / kFolderName;
    {
        std::lock_guard lock(g_folderMutex);
        g_folder = folder;
    }
    if (!g_dataFolder.empty() && !std::filesystem::exists(g_dataFolder))
        std::filesystem::create_directories(g_dataFolder);
    if (!std::filesystem::exists(folder))
        std::filesystem::create_directory(folder);
    return std::filesystem::is_directory(folder);
}

bool gf_removeFlightPlanFolder()
{
    try {
        const std::filesystem::path folder = gf_flightPlanFolder();
        if (!folder.empty() && std::filesystem::exists(folder))
            std::filesystem::remove_all(folder);
        return true;
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("gf_removeFlightPlanFolder: {}", e.what()));
        return false;
    }
}

std::string gf_flightPlanFileName(std::uint32_t objectId)
{
    return fmt::format("{}.pln", objectId);
}

bool gf_isPlanCode(std::string_view code)
{
    if (code.empty() || code.size() > 8)
        return false;
    for (const char c : code)
        if (!lf_isPlainAlnum(c))
            return false;
    return true;
}

bool gf_writeFlightPlan(const std::filesystem::path& path, const tzo::AircraftRecord& aircraft,
                        std::error_code& error)
{
    const bool ifr = aircraft.category == tzo::AircraftCategory::Buzjets ||
                     aircraft.category == tzo::AircraftCategory::Large ||
                     aircraft.category == tzo::AircraftCategory::Heavy;
    // Every line ends in a bare "\n", on every platform. The quote after the
    // second line's bracket is what the simulator has always been given; it
    // reads the plan with it.
    const std::string plan = fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\"\n"
                                         "<FlightPlan.FlightPlan>\n"
                                         "<FPType>{}</FPType>\n"
                                         "<DepartureID>{}</DepartureID>\n"
                                         "<DestinationID>{}</DestinationID>\n"
                                         "</FlightPlan.FlightPlan>\n"
                                         "</SimBase.Document>\n",
                                         ifr ? "IFR" : "VFR", aircraft.departure, aircraft.destination);
    return gf_writeFileAtomically(path, plan, error, false);
}

void lf_flightPlanStep(tzo::LiveAircraft& a)
{
    if (a.departure.empty() || a.destination.empty())
        return;
    // The codes come from traffic lines: anything but a plain code would
    // break the plan's XML or smuggle elements into it.
    if (!gf_isPlanCode(a.departure) || !gf_isPlanCode(a.destination)) {
        gf_logLineMarked(fmt::format("{} no flight plan for route codes {}", gf_formatStatusLine(a),
                                     gf_formatRoute(a)));
        a.flightPlanSet = false;
        return;
    }
    const std::filesystem::path folder = gf_flightPlanFolder();
    std::filesystem::path path;
    if (!folder.empty()) {
        path = folder / gf_flightPlanFileName(a.objectId);
        std::error_code error;
        if (!gf_writeFlightPlan(path, a, error)) {
            // Every aircraft meets the same full disk: the first says it.
            static std::atomic<bool> said{false};
            if (!said.exchange(true))
                gf_saySaveFailure("flight plans are not given while their files cannot be written: ", path, error);
            path.clear();
        }
    }
    if (!path.empty()) {
        // The simulator is given the plan without its extension and adds it.
        const std::string withoutExtension = (folder / std::to_string(a.objectId)).string();
        SimConnectResult rc;
        {
            std::lock_guard lock(simQueueMutex);
            rc = SimConnect_AISetAircraftFlightPlan(simConnectHandle.load(), a.objectId, withoutExtension.c_str(),
                                                    tzo::REQUEST_FLIGHT_PLAN);
        }
        if (rc == SIMCONNECT_S_OK) {
            a.flightPlanSet = true;
            return;
        }
    }
    gf_showStatus(gf_formatAircraftText(a) + " creating a flight plan failed !", true);
    a.flightPlanSet = false;
}

void gf_deleteFlightPlan(std::uint32_t objectId)
{
    const std::filesystem::path folder = gf_flightPlanFolder();
    if (folder.empty() || objectId == 0)
        return;
    std::error_code ec;
    std::filesystem::remove(folder / gf_flightPlanFileName(objectId), ec);
}
