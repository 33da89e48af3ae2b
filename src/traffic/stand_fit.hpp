#pragma once
// The stand tests of static parking: which learned options can be placed at
// each stand of the park airport at a half-hour some offset before now, and
// whether a stand has an option of an aircraft's airline and type within the
// window of the last fit. Main loop only.

#include "airports/park_pos.hpp"
#include "foundation/time.hpp"
#include "refdata/aircraft_record.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace tzo {

// One option that static parking can place, found by lf_searchStands.
struct StandFitEntry {
    std::string airline;
    std::string type;
    std::uint32_t standId = 0;
    std::uint32_t offset = 0; // half-hours before now
    std::string registration;
    std::string callsign;
    std::string secondCallsign;
    std::uint8_t continues = 0; // the aircraft is still at the stand in the next half-hour
};

} // namespace tzo

// What static parking hands the stand tests; empty until it fills them.
// Callsigns of live traffic near the park airport, collected before a plan.
extern std::unordered_set<std::string> fitCallsignExclusions;
// Callsigns the duplicate handling keeps out of static parking.
extern std::vector<std::string> duplicateCallsigns;
// The offsets (half-hours) at which the last real and soft fits stopped; the
// soft one -1 when no soft fit ran since the last real one.
extern std::int32_t realFitOffset;
extern std::int32_t softFitOffset;

// The mean time (hours) that the static aircraft shown have stood at their
// stands, as gf_countStaticShown last worked it out; -1 before it did.
extern std::atomic<float> staticParkedMeanHours;

// Appends an entry for each stand, neither taken nor kept free, that has a
// numbered option (soft or real as asked) holding the half-hour offset
// half-hours before dayHour, on that day unless WEEK is on. One option per
// stand, the chosen one withdrawn (number 0, for this plan only) when its
// registration is in alreadyChosen or its callsigns are excluded, planned or
// held by the duplicate handling. Each stand found is marked taken and its
// adjacent stands blocked.
void lf_searchStands(DayHour dayHour, bool softOptions, std::uint32_t offset, std::vector<tzo::StandFitEntry>& out,
                     const std::vector<tzo::StandFitEntry>& alreadyChosen);

// Whether the stand has a numbered option of the aircraft's airline and type
// holding the half-hour or one of the half-hours of the last fit's window
// before it, looking into the previous day when the window reaches back
// over midnight.
bool lf_hasFittingOption(DayHour dayHour, std::uint32_t standId, const tzo::AircraftRecord& aircraft);

// Whether the option holds a slot from start down to max(start - offset, 0).
// remainder: -1, or, when nothing was found and the window reaches before
// slot 0, min(offset - start, 46): what is left to search at the end of the
// previous day. A start outside 0..47 is logged and answers false.
bool testRange(const tzo::ParkPosOption& option, std::int32_t start, std::int32_t offset, std::int32_t& remainder);

// The static aircraft in the simulator or being removed. With showMean and
// WEEK off it also works out their mean time at the stand for the window
// (staticParkedMeanHours).
int gf_countStaticShown(bool showMean);
