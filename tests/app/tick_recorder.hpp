#pragma once
// A TickWork that records which work a tick asked for, and in which second.

#include "app/tick_work.hpp"
#include "foundation/run_state.hpp"

#include <string>
#include <utility>
#include <vector>

struct TickRecorder : tzo::TickWork {
    std::vector<std::pair<int, std::string>> calls;
    bool parkActive = true;
    bool hasStands = true;
    bool busy = false;
    bool rtLinked = true;
    bool reserved = false;
    bool silent = false;
    std::uint32_t airVictim = 0;          // record id avoidUserCollisionAir removes
    std::uint32_t duplicateOfStatic = 0;  // static record id that duplicates
    std::uint32_t parkedVictim = 0;       // static record id avoidCollisionWithLive removes

    void note(std::string what) { calls.emplace_back(secondsCounter.load(), std::move(what)); }

    std::vector<int> secondsOf(const std::string& what) const
    {
        std::vector<int> out;
        for (const auto& [s, name] : calls)
            if (name == what)
                out.push_back(s);
        return out;
    }
    int count(const std::string& what) const { return static_cast<int>(secondsOf(what).size()); }

    void setFlightRunning(bool running) override { note(running ? "intakeOpen" : "intakeClosed"); }
    void emptyPositionBuffers() override { note("emptyPositions"); }
    void processSimNotifications() override { note("notifications"); }
    void liveTraffic() override { note("liveTraffic"); }
    void refreshWindowCounters() override { note("counters"); }
    void advanceStatusClock() override { note("statusClock"); }
    std::vector<int> minutesShown;
    void showMinutesToRenewal(int minutes) override
    {
        note("header");
        minutesShown.push_back(minutes);
    }
    bool controlsBusy() override { return busy; }
    void disableControls() override { note("disableControls"); }
    void enableRereadButton() override { note("rereadEnabled"); }
    void searchCoupledCallsigns(DayHour, tzo::LiveAircraft& a) override
    {
        note("coupled " + std::to_string(a.recordId));
    }
    bool removeStaticDuplicate(const tzo::LiveAircraft& live, std::string_view stem, bool,
                               tzo::AircraftRecord& parked) override
    {
        note("duplicate? " + std::to_string(live.recordId) + " " + std::string(stem) + " " +
             std::to_string(parked.recordId));
        return parked.recordId == duplicateOfStatic;
    }
    void removeAircraft(tzo::AircraftRecord& a) override { note("remove " + std::to_string(a.recordId)); }
    void removeAllStatic() override { note("removeAllStatic"); }
    void avoidUserCollisionGround() override { note("userCollisionGround"); }
    bool avoidUserCollisionAir(tzo::LiveAircraft& a) override
    {
        note("userCollisionAir " + std::to_string(a.recordId));
        return a.recordId == airVictim;
    }
    bool avoidCollisionWithLive(const tzo::LiveAircraft& live, tzo::AircraftRecord& parked) override
    {
        note("parkedCollision " + std::to_string(live.recordId) + " " + std::to_string(parked.recordId));
        return parked.recordId == parkedVictim;
    }
    void clearReservedStand() override { note("clearReservedStand"); }
    void removeStaticTwins() override { note("staticTwins"); }
    void logNoMatches() override { note("logNoMatches"); }
    void logMatchingSummary() override { note("matchingSummary"); }
    void queueNavLights() override { note("navLights"); }
    void limitLiveCount() override { note("limitLiveCount"); }
    void sendPositionToRealTraffic() override { note("positionToRT"); }
    void handUserPositionToReader(double, double) override { note("positionToReader"); }
    bool realTrafficConnected() override { return rtLinked; }
    void sendTimeToRealTraffic() override { note("timeToRT"); }
    void startCollectingCallsigns() override { note("collecting"); }
    bool readerSilent() override { return silent; }
    void checkReadersAlive() override { note("readersAlive"); }
    bool reservedStandSet() override { return reserved; }
    bool checkReservedStand(std::string& message) override
    {
        note("checkReservedStand");
        message = "stand ok";
        return true;
    }
    bool parkAirportActive() override { return parkActive; }
    bool parkAirportHasStands() override { return hasStands; }
    void adjustParking() override { note("adjustParking"); }
    void staticParking(bool initial) override { note(initial ? "staticParkingInitial" : "staticParking"); }
    void updateTrafficRange() override { note("updateRange"); }
};
