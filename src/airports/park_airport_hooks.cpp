#include "airports/park_airport_hooks.hpp"

#include "foundation/log.hpp"

#include <atomic>
#include <mutex>

namespace {

std::mutex hooksMutex;
tzo::ParkAirportHooks installed;
tzo::ParkAirportShown lastShown;

tzo::ParkAirportHooks lf_hooks()
{
    std::lock_guard lock(hooksMutex);
    return installed;
}

} // namespace

void gf_installParkAirportHooks(const tzo::ParkAirportHooks& hooks)
{
    std::lock_guard lock(hooksMutex);
    installed = hooks;
}

tzo::ParkAirportHooks gf_parkAirportHooks() { return lf_hooks(); }

void lf_updateTrafficRange()
{
    if (auto f = lf_hooks().updateTrafficRange)
        f();
}

bool lf_saveAirportFile()
{
    if (auto f = lf_hooks().saveAirportFile)
        return f();
    // Static parking installs the save at start; before that (and in tests
    // that install none) nothing is written.
    gf_logLine("park airport file not saved: no save installed");
    return false;
}

bool lf_fitsStandRadius(const tzo::ParkPos& stand, double aircraftRadius)
{
    if (auto f = lf_hooks().fitsStandRadius)
        return f(stand, aircraftRadius);
    return false;
}

void lf_showParkAirport(const tzo::ParkAirportShown& shown)
{
    {
        std::lock_guard lock(hooksMutex);
        lastShown = shown;
    }
    if (auto f = lf_hooks().showParkAirport)
        f(shown);
}

void lf_clearFieldText(tzo::ParameterControl& control)
{
    if (auto f = lf_hooks().clearFieldText)
        f(control);
}

tzo::ParkAirportShown gf_parkAirportShown()
{
    std::lock_guard lock(hooksMutex);
    return lastShown;
}

