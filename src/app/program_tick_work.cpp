#include "app/program_tick_work.hpp"

#include "airports/airport_services.hpp"
#include "app/controls.hpp"
#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "app/traffic_range.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/static_parking_services.hpp"

namespace tzo {

void ProgramTickWork::advanceStatusClock()
{
    gf_tickStatusClock();
}

void ProgramTickWork::showMinutesToRenewal(int minutes)
{
    mainWindowObject.minutesToRenewal.store(minutes);
    gf_invalidateMainWindow(kHeaderBand);
}

bool ProgramTickWork::controlsBusy()
{
    return busy.load();
}

void ProgramTickWork::disableControls()
{
    gf_disableControls();
}

void ProgramTickWork::enableRereadButton()
{
    gf_enableControl(RE_READ);
}

bool ProgramTickWork::reservedStandSet()
{
    return !reservedStand.empty();
}

bool ProgramTickWork::parkAirportActive()
{
    return ::parkAirportActive.load();
}

bool ProgramTickWork::readerSilent()
{
    constexpr int kSilent = 2;
    return mainWindowObject.trafficReaderState.load() == kSilent ||
           mainWindowObject.weatherReaderState.load() == kSilent;
}

void ProgramTickWork::updateTrafficRange()
{
    gf_updateTrafficRange();
}

} // namespace tzo
