#pragma once
// The renewal of the static parking every 20 minutes: what stands now
// (static aircraft, live aircraft parked at stands) against what the
// hour-of-week fit wants at this half-hour; keeps what still fits, removes
// what no longer does or whose flight is live nearby, plans what is missing.
// Main loop only.

#include "foundation/time.hpp"
#include "refdata/aircraft_record.hpp"
#include "traffic/parked_limits.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tzo {

struct Keeper {
    std::string callsign;
    std::string firstCallsign;
    std::string secondCallsign;
    std::string registration;
    std::string airline;
    std::string model;
    DayHour placed;
    std::uint32_t standId = 0;
    bool leaving = false;
};

struct RemovalEntry {
    std::string callsign;
    std::uint32_t standId = 0;
};

} // namespace tzo

extern std::vector<tzo::LiveStayer> liveStayers;
extern std::vector<tzo::Keeper> keepers;
extern std::vector<tzo::RemovalEntry> removalList;

// The renewal (second renewal step of the main loop).
void gf_adjustParking();
void lf_classifyStaticAircraft(DayHour dayHour);
void lf_classifyOneStatic(DayHour dayHour, tzo::AircraftRecord& aircraft);

// Whether a fit moment is later than a placement, both counted back from now
// across the week's end (a placement on Saturday comes before a fit on Monday).
bool gf_isFitLater(DayHour now, DayHour fit, DayHour placed);
