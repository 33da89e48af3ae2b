#pragma once
// The hour-of-week fit: which stands of the park airport get a parked
// aircraft now, chosen from the options learned at each stand for this
// half-hour, or for an earlier one up to MAX_FIT half-hours back, nearest in
// time first. Main loop only: the stand table is the main loop's.

#include "foundation/time.hpp"
#include "traffic/parked_limits.hpp"
#include "traffic/stand_fit.hpp"

#include <atomic>
#include <cstdint>
#include <vector>

// The wanted number of parked aircraft (wantedParkedShown, the park limit,
// traffic/parked_limits.hpp) and the soft-fit flag, for the window.
extern std::atomic<bool> softFitShown;

// The number of stands to fill: 0 without stands or at 0 %, 1 at one stand
// or at fewer than four below 50 %, else the rounded share.
std::int64_t gf_wantedParkedCount();
// The first plan at a loaded park airport.
void lf_planStaticParking();
// Appends plan entries until current + new reaches wanted where stands allow.
void lf_fillParkingPlan(DayHour dayHour, std::int64_t wanted, std::int32_t current);
// One pass over the offsets 0..MAX_FIT; true when it stopped on reaching wanted.
bool lf_fitStands(DayHour dayHour, bool soft, std::int64_t wanted, std::vector<tzo::StandFitEntry>& lastRound,
                  std::vector<tzo::StandFitEntry>& result);
DayHour lf_logDayHour();
void lf_keepStandsFree();
// Stops the traffic reader's collecting and makes what it collected the
// callsign exclusion set.
void lf_takeCollectedCallsigns();
