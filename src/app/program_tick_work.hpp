#pragma once
// The tick's work on the program's real subsystems: every entry of TickWork.

#include "app/tick_work.hpp"

namespace tzo {

class ProgramTickWork : public TickWork {
public:
    void advanceStatusClock() override;
    void showMinutesToRenewal(int minutes) override;
    bool controlsBusy() override;
    void disableControls() override;
    void enableRereadButton() override;
    bool reservedStandSet() override;
    bool parkAirportActive() override;
    bool parkAirportHasStands() override;
    bool readerSilent() override;
    void setFlightRunning(bool running) override;
    void processSimNotifications() override;
    void liveTraffic() override;
    void refreshWindowCounters() override;
    void searchCoupledCallsigns(DayHour dayHour, LiveAircraft& aircraft) override;
    void removeAircraft(AircraftRecord& aircraft) override;
    void emptyPositionBuffers() override;
    void sendPositionToRealTraffic() override;
    void handUserPositionToReader(double latitude, double longitude) override;
    bool realTrafficConnected() override;
    void sendTimeToRealTraffic() override;
    void startCollectingCallsigns() override;
    void checkReadersAlive() override;
    void updateTrafficRange() override;
    void logMatchingSummary() override;
    void queueNavLights() override;
    void staticParking(bool initial) override;
    void adjustParking() override;
    bool checkReservedStand(std::string& message) override;
    void removeStaticTwins() override;
    void logNoMatches() override;
    void limitLiveCount() override;
    void serveCoupleSearch() override;
    void createFlightPlanFolder() override;
    bool removeStaticDuplicate(const LiveAircraft& live, std::string_view callsignStem, bool onGround,
                               AircraftRecord& parked) override;
    void removeAllStatic() override;
    void avoidUserCollisionGround() override;
    bool avoidUserCollisionAir(LiveAircraft& aircraft) override;
    bool avoidCollisionWithLive(const LiveAircraft& live, AircraftRecord& parked) override;
    void clearReservedStand() override;
};

} // namespace tzo
