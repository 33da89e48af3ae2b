#pragma once
// Puts back what the window's tests change: every setting at its default, the
// window object's shown state, the park airport's and static parking's state
// and the request flags.

#include "airports/airport_services.hpp"
#include "airports/airports_list.hpp"
#include "app/commands.hpp"
#include "app/main_window.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/static_parking_services.hpp"
#include "support/settings_reset.hpp"
#include "support/test_support.hpp"

#include <optional>
#include <string>

namespace apptest {

// The "value" of a setting as "parameters.xml" holds it; none without the file or the element.
inline std::optional<std::string> storedSetting(const std::string& name)
{
    pugi::xml_document doc;
    if (!doc.load_file(g_parametersPath.c_str()))
        return std::nullopt;
    pugi::xml_node node = gf_findParameterNode(doc, name);
    if (!node)
        return std::nullopt;
    return std::string(node.attribute("value").value());
}

inline void resetAllSettings()
{
    testsupport::resetStoredSettings();
    MAX_FIT_FL.setValue(MAX_FIT_FL.defaultValue());
    parking_percentage.setValue(parking_percentage.defaultValue());
}

inline void resetWindowState()
{
    mainWindowObject.resetShownState();
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        mainWindowObject.statusText.clear();
        mainWindowObject.errorText.clear();
    }
    busy = false;
    parkAirportCode.clear();
    parkAirportActive = false;
    tbloAirportCount = 0;
    reservedStand.clear();
    parkAirportChanged = false;
    savedMaxLive = 0;
    manualRange = 0;
    secondsCounter = 0;
    for (auto* flag : {&flushStaticPending, &rereadPending, &blockCallsignPending, &matchingChanged,
                       &navLightsPending, &limitLiveCountPending, &updateRangePending, &renewalPending})
        flag->store(false);
}

// LIRF in the airports list and its airport files in the program folder: the
// archived one with one stand, and what an earlier visit learned, with a
// MAX_LIVE of its own. Static parking loads it after lf_setParkAirport("LIRF").
inline void writeParkAirportWithItsOwnMaxLive(int maxLive)
{
    const std::string meta = "<meta><info name=\"author\" value=\"Norvane_P3D\"/><info name=\"version\" "
                             "value=\"8.8.0\"/><info name=\"date\" value=\"Dec  1, 2026\"/></meta>";
    testsupport::writeFile("airports/archive/stock/LIRF.xml",
                           meta + "<parameters><parameter name=\"publisher\" value=\"stock\"/><parameter "
                                  "name=\"altitude\" value=\"15\"/></parameters><parkpositions><parkpos id=\"P1\" "
                                  "latitude=\"41.8\" longitude=\"12.25\" radius=\"30\"/></parkpositions>");
    testsupport::writeFile("airports/learned/stock/LIRF.xml",
                           meta + "<parameters><parameter name=\"MAX_LIVE\" value=\"" + std::to_string(maxLive) +
                               "\"/></parameters><parkpositions/>");
    gf_setAirportsListForTests({{"LIRF", "FCO", 41.8, 12.25, 15}});
}

} // namespace apptest
