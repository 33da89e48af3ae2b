#include "app/program_tick_work.hpp"

#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "app/controls.hpp"
#include "app/commands.hpp"
#include "app/main_window.hpp"
#include "app/main_window_paint.hpp"
#include "app/stand_window.hpp"
#include "app/status_line.hpp"
#include "app/traffic_range.hpp"
#include "app/window_state_lines.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_matching.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/rt_messages.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/collisions.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "foundation/log.hpp"
#include "traffic/flight_plans.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_arrival.hpp"

#include <fmt/format.h>
#include "traffic/stand_search.hpp"

namespace tzo {

void ProgramTickWork::advanceStatusClock()
{
    gf_tickStatusClock();
}

void ProgramTickWork::showMinutesToRenewal(int minutes)
{
    mainWindowObject.minutesToRenewal.store(minutes);
    // Shown beside the parking controls, not in the header.
    gf_invalidateMainWindow(kControlsBand);
}

bool ProgramTickWork::controlsBusy()
{
    return busy.load();
}

void ProgramTickWork::disableControls()
{
    // Through static parking's busy state, so that the driver's next run
    // enables the controls again when the renewal leaves nothing to place.
    lf_beginParkingBusy();
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

bool ProgramTickWork::parkAirportHasStands()
{
    // Without it the renewal's second step would never adjust anything.
    return !parkPositions.empty();
}

bool ProgramTickWork::readerSilent()
{
    return ::trafficReaderState.load() == kReaderSilent || ::weatherReaderState.load() == kReaderSilent;
}

void ProgramTickWork::emptyPositionBuffers()
{
    std::lock_guard lock(simQueueMutex);
    positionsFilling.clear();
    positionsToSend.clear();
}

void ProgramTickWork::setFlightRunning(bool running)
{
    gf_setFlightRunning(running);
}

void ProgramTickWork::processSimNotifications()
{
    gf_processSimNotifications();
}

void ProgramTickWork::liveTraffic()
{
    gf_liveTraffic();
}

void ProgramTickWork::searchCoupledCallsigns(DayHour dayHour, LiveAircraft& aircraft)
{
    lf_searchForCoupledCsAroundThisTime(dayHour, aircraft);
}

void ProgramTickWork::removeAircraft(AircraftRecord& aircraft)
{
    gf_removeAircraft(aircraft);
}

void ProgramTickWork::sendPositionToRealTraffic()
{
    // The last user state the simulator answered: the copy the live traffic
    // keeps once a second is that same answer.
    gf_sendPositionToRealTraffic(gf_receivedUserState());
}

void ProgramTickWork::handUserPositionToReader(double latitude, double longitude)
{
    trafficReader.setUserPosition(latitude, longitude);
}

bool ProgramTickWork::realTrafficConnected()
{
    return ::realTrafficConnected.load();
}

void ProgramTickWork::sendTimeToRealTraffic()
{
    gf_sendTimeToRealTraffic(simTimeUnix.load());
}

void ProgramTickWork::staticParking(bool initial)
{
    // The user's stand, noted on the simulator connection's thread, is written
    // here: the park airports list belongs to the main loop.
    gf_applyRememberedParkStand();
    gf_staticParking(initial);
}

void ProgramTickWork::adjustParking()
{
    gf_adjustParking();
}

bool ProgramTickWork::checkReservedStand(std::string& message)
{
    return gf_checkReservedStand(true, message);
}

void ProgramTickWork::startCollectingCallsigns()
{
    trafficReader.startCollecting();
}

void ProgramTickWork::checkReadersAlive()
{
    gf_checkReadersAlive();
}

void ProgramTickWork::refreshWindowCounters()
{
    gf_refreshWindowCounters();
    gf_refreshStandCounters();
    gf_reportWindowState();
}

void ProgramTickWork::queueNavLights()
{
    gf_queueParkedNavLights();
}

void ProgramTickWork::updateTrafficRange()
{
    gf_updateTrafficRange();
}

void ProgramTickWork::removeStaticTwins()
{
    gf_removeStaticTwins();
}

void ProgramTickWork::logNoMatches()
{
    gf_logNoMatches();
}

void ProgramTickWork::limitLiveCount()
{
    gf_limitLiveCount();
}

void ProgramTickWork::serveCoupleSearch()
{
    gf_serveCoupleSearch();
}

void ProgramTickWork::createFlightPlanFolder()
{
    try {
        if (!gf_createFlightPlanFolder())
            gf_logLineMarked(fmt::format("flight plan folder {} missing", gf_flightPlanFolder().string()));
    } catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("flight plan folder: {}", e.what()));
    }
}

void ProgramTickWork::logMatchingSummary()
{
    gf_logMatchingSummary();
}

bool ProgramTickWork::removeStaticDuplicate(const LiveAircraft& live, std::string_view callsignStem, bool onGround,
                                            AircraftRecord& parked)
{
    return gf_removeStaticDuplicate(live, callsignStem, onGround, parked);
}

void ProgramTickWork::removeAllStatic()
{
    gf_removeAllStatic();
}

void ProgramTickWork::avoidUserCollisionGround()
{
    gf_avoidUserCollisionGround();
}

bool ProgramTickWork::avoidUserCollisionAir(LiveAircraft& aircraft)
{
    return gf_avoidUserCollisionAir(aircraft);
}

bool ProgramTickWork::avoidCollisionWithLive(const LiveAircraft& live, AircraftRecord& parked)
{
    return gf_avoidCollisionWithLive(live, parked);
}

void ProgramTickWork::clearReservedStand()
{
    gf_clearReservedStand();
}

} // namespace tzo
