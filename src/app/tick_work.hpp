#pragma once
// What one tick of the main loop asks of the rest of the program. The tick's
// own logic (flight states, the once-a-second rhythm, the periodic tiers, the
// walks over the traffic tables) lives in MainLoop; everything it calls
// outside the shell goes through this interface, so that tests can drive a
// tick and see exactly which work ran in which second.
//
// The defaults do nothing and answer "no", so that a test's TickWork
// overrides only what it watches. The program's own implementation
// (ProgramTickWork) overrides every one.

#include "foundation/time.hpp"
#include "traffic/live_traffic.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tzo {

class TickWork {
public:
    virtual ~TickWork() = default;

    // Flight state and the simulator link.
    virtual void setFlightRunning(bool /*running*/) {}
    virtual void emptyPositionBuffers() {}
    virtual void processSimNotifications() {}
    virtual void liveTraffic() {}

    // The window.
    virtual void refreshWindowCounters() {}
    virtual void advanceStatusClock() {}
    // Minutes until the next parking renewal, shown in the header.
    virtual void showMinutesToRenewal(int /*minutes*/) {}
    virtual bool controlsBusy() { return false; }
    virtual void disableControls() {}
    virtual void enableRereadButton() {}

    // Live traffic.
    virtual void searchCoupledCallsigns(DayHour /*dayHour*/, LiveAircraft& /*aircraft*/) {}
    virtual bool removeStaticDuplicate(const LiveAircraft& /*live*/, std::string_view /*callsignStem*/,
                                       bool /*onGround*/, AircraftRecord& /*parked*/)
    {
        return false;
    }
    virtual void removeAircraft(AircraftRecord& /*aircraft*/) {}
    virtual void removeAllStatic() {}
    virtual void avoidUserCollisionGround() {}
    virtual bool avoidUserCollisionAir(LiveAircraft& /*aircraft*/) { return false; }
    virtual bool avoidCollisionWithLive(const LiveAircraft& /*live*/, AircraftRecord& /*parked*/) { return false; }
    virtual void clearReservedStand() {}
    virtual void removeStaticTwins() {}
    virtual void logNoMatches() {}
    virtual void logMatchingSummary() {}
    virtual void queueNavLights() {}
    virtual void limitLiveCount() {}
    // Every running tick: one aircraft's coupled-callsign search.
    virtual void serveCoupleSearch() {}
    // Once, before the first tick.
    virtual void createFlightPlanFolder() {}

    // RealTraffic.
    virtual void sendPositionToRealTraffic() {}
    virtual void handUserPositionToReader(double /*latitude*/, double /*longitude*/) {}
    virtual bool realTrafficConnected() { return false; }
    virtual void sendTimeToRealTraffic() {}
    virtual void startCollectingCallsigns() {}
    virtual bool readerSilent() { return false; }
    virtual void checkReadersAlive() {}

    // Park airports and static parking.
    virtual bool reservedStandSet() { return false; }
    virtual bool checkReservedStand(std::string& /*message*/) { return false; }
    virtual bool parkAirportActive() { return false; }
    virtual bool parkAirportHasStands() { return false; }
    virtual void adjustParking() {}
    virtual void staticParking(bool /*initial*/) {}

    // The automatic traffic range (gf_updateTrafficRange with the user
    // aircraft and the first park airport).
    virtual void updateTrafficRange() {}
};

} // namespace tzo
