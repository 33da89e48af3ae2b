#include "app/program_exit_services.hpp"

#include "airports/airport_services.hpp"

#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_matching.hpp"
#include "parking/static_parking_driver.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/rt_server.hpp"
#include "simconnect/sim_client.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/flight_plans.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

namespace tzo {

void ProgramExitServices::stopReaders()
{
    qnhReader.stop();
    trafficReader.stop();
}

void ProgramExitServices::closeServer()
{
    tzo::closeServer();
}

void ProgramExitServices::resetTrafficInput()
{
    gf_resetTrafficInput();
}

void ProgramExitServices::requestThreadStops()
{
    gf_requestSimClientStop();
    gf_requestMainLoopStop();
}

void ProgramExitServices::clearBlockedCallsign()
{
    BLOCK_CALLSIGN.setAndSave("");
}

void ProgramExitServices::switchScansOff()
{
    SCAN_LIVERIES.setChecked(false);
    SCAN_LIVERIES.setAndSave();
    SCAN_AIRPORTS.setChecked(false);
    SCAN_AIRPORTS.setAndSave();
}

void ProgramExitServices::closeParkAirport()
{
    gf_closeParkAirport();
}

bool ProgramExitServices::mainLoopRunning()
{
    return gf_mainLoopRunning();
}

void ProgramExitServices::removeFlightPlanFolder()
{
    gf_removeFlightPlanFolder();
}

void ProgramExitServices::logNoMatches()
{
    gf_logNoMatches();
}

void ProgramExitServices::resetRange()
{
    gf_rangeFromSetting();
}

void ProgramExitServices::resetOutsideState()
{
    // The window procedure stores the handle again with its next message.
    currentWindow.store(nullptr);
    // The simulator layer: its connection, queues, lists, counters and the
    // user aircraft's state and texts.
    gf_resetSimConnection();
    rtConnected.store(false);
}

void ProgramExitServices::resetTraffic()
{
    gf_resetTraffic();
    // Static parking starts as after a fresh start: no park airport, so the
    // user's position chooses and loads one again.
    gf_resetStaticParking();
    // What the shell keeps of the traffic: the busy mark of the window and
    // the user's reserved stand.
    busy.store(false);
    reservedStand.clear();
    gf_invalidateMainWindow(ui::Rect{0, 0, kMainWindowWidth, kMainWindowHeight});
}

void ProgramExitServices::resetWindow()
{
    mainWindowObject.resetShownState();
    gf_resetStatusClock();
    gf_invalidateMainWindow(ui::Rect{0, 0, kMainWindowWidth, kMainWindowHeight});
}

bool ProgramExitServices::postToWindow(WindowMessage message)
{
    ui::Window* window = mainWindowObject.mainWindow.load();
    if (window == nullptr)
        return false;
    window->post(ui::Message{message == WindowMessage::START ? ui::MessageKind::app1 : ui::MessageKind::app2, 0});
    return true;
}

void ProgramExitServices::logMatchingSummary()
{
    gf_logMatchingSummary();
}

} // namespace tzo
