#include "liveries/liveries_not_created.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <list>
#include <mutex>

namespace tzo {

std::vector<std::string> liveriesNotCreated;

namespace {

std::mutex g_modelsMutex;
std::list<std::string> g_notCreatedModels; // "model airline", one per failure

} // namespace

void gf_liveryNotCreated(const AircraftRecord& aircraft)
{
    gf_showStatus(fmt::format("{} \"{}\" could not be created by your Sim!", aircraft.callsign, aircraft.liveryTitle),
                  true);
    liveriesNotCreated.emplace_back(aircraft.liveryTitle);
    {
        std::lock_guard lock(g_modelsMutex);
        g_notCreatedModels.push_back(aircraft.model + " " + aircraft.airline);
    }
    if (liveriesNotCreated.size() < kMaxLiveriesNotCreated)
        return;
    const std::string text = fmt::format("there are too many liveries that could not be created by {}!", kSimShortName);
    gf_logLine(fmt::format("\n{}Error 81, {}\n", g_logMarker, text));
    throw UserErrorException(81, fmt::format("{}, see Log.txt", text));
}

bool gf_isLiveryNotCreated(std::string_view title)
{
    // A short list: from the twentieth entry on, each new one ends the main loop.
    return std::find(liveriesNotCreated.begin(), liveriesNotCreated.end(), title) != liveriesNotCreated.end();
}

std::vector<std::string> gf_getLiveriesNotCreated()
{
    std::lock_guard lock(g_modelsMutex);
    g_notCreatedModels.sort();
    g_notCreatedModels.unique();
    return {g_notCreatedModels.begin(), g_notCreatedModels.end()};
}

void gf_resetLiveriesNotCreated()
{
    liveriesNotCreated.clear();
    std::lock_guard lock(g_modelsMutex);
    g_notCreatedModels.clear();
}

} // namespace tzo
