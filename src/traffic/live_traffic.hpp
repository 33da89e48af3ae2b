#pragma once
// The live traffic's tables as the shell sees them. They are owned by the main
// loop's thread: only the main loop, and the exit thread and start of
// operations while no main loop runs, touch them. A live aircraft carries the
// fields that the main loop reads and writes besides the common record; the
// live traffic adds its own.

#include "refdata/aircraft_record.hpp"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tzo {

struct LiveAircraft : AircraftRecord {
    std::uint32_t movementPhase = 0;  // 2 and 5 are tested by the parked-versus-live check, 6 = parked
    bool onGround = false;
    double latitude = 0.0;
    double longitude = 0.0;
    // The position examined by the last parked-versus-live check.
    double checkedLatitude = 0.0;
    double checkedLongitude = 0.0;
    bool coupledSearchDone = false;
    // Both keep the aircraft out of the parked-versus-live check.
    bool excludedFromParkedCheck = false;
    bool excludedAsPushback = false;
    bool logSuppressed = false;
};

// The user aircraft as the simulator last reported it.
struct UserFix {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitudeFt = 0.0;
};

} // namespace tzo

// The main loop's copy of the user aircraft, refreshed by the live traffic from
// the simulator's answers; zero until the first one.
extern tzo::UserFix userAircraft;

extern std::vector<tzo::LiveAircraft> liveAircraft;
extern std::vector<tzo::AircraftRecord> staticAircraft;

// Record ids of new live aircraft that wait for their per-second follow-up.
extern std::deque<std::uint32_t> newLiveIds;

// Models for which no livery matched, with how often.
extern std::map<std::string, int> noMatches;

// The livery title last chosen for a live aircraft, by record id.
extern std::unordered_map<std::uint32_t, std::string_view> liveLiveryCache;

// Texts of removed ghost aircraft.
extern std::vector<std::string> ghostTexts;

// The live aircraft with that record id, or null.
tzo::LiveAircraft* gf_findLiveAircraft(std::uint32_t recordId);
