#include "app/stand_window.hpp"

#include "airports/park_positions.hpp"
#include "app/main_window.hpp"
#include "simconnect/sim_hooks.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/stand_fit.hpp"
#include "traffic/stand_search.hpp"

#include <algorithm>

namespace tzo {

void gf_installStandNameHook()
{
    SimLayerHooks hooks = gf_simLayerHooks();
    hooks.standNameAt = ::gf_standNameAt;
    gf_installSimLayerHooks(hooks);
}

void gf_refreshStandCounters()
{
    bool changed = false;
    gf_countStaticShown(true);
    const float mean = staticParkedMeanHours.load();
    if (mainWindowObject.staticAverageFit.exchange(mean) != mean)
        changed = true;
    gf_countLiveParked(true);
    const float liveMean = liveParkedMeanHours.load();
    if (mainWindowObject.liveAverageFit.exchange(liveMean) != liveMean)
        changed = true;
    const auto updates = static_cast<std::uint32_t>(std::max(standUpdateCount.load(), 0));
    if (mainWindowObject.standUpdates.exchange(updates) != updates)
        changed = true;
    if (changed)
        gf_invalidateMainWindow(kParkAirportBox);
}

} // namespace tzo
