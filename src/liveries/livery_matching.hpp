#pragma once
// The choice of an installed livery for an aircraft, down a ladder of steps
// from the most exact to the loosest, stopping at the first that gives a
// title:
//   1 a livery made for the registration
//   2 the airline's (or the registration's airline's) livery of the model
//   3 the airline's livery of a substitute model
//   4 a generic ("ZZZ") livery of the model
//   5 any airline's livery of the model
//   6 any airline's livery of an alternative model
// MATCHING_DEPTH (1..4) limits how far down it goes. A special livery is
// handed out only by its registration while another candidate is free, and a
// title the simulator refused before is never handed out again.
//
// The catalogue is only read here and matching takes no lock: it runs on the
// main loop's thread. The summary may be written from the exit thread at the
// same time; the step counters are atomic for it.

#include "liveries/livery_maps.hpp"
#include "refdata/aircraft_record.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tzo {

inline constexpr int kMatchingSteps = 6;

// Live matches per step (index 0 is step 1) since the program started.
extern std::array<std::atomic<std::int32_t>, kMatchingSteps> matchingStatistics;

// Live matching: sets the aircraft's liveryTitle (or leaves it empty), counts
// the step, logs it with LOG on and sets fsltl. The aircraft has no title yet.
void gf_matchLivery(AircraftRecord& aircraft);

// Static matching for an aircraft about to be parked on a stand, whose name
// and cargo flag are given. True when the aircraft has a title at the end;
// the caller parks it only then. Counts nothing and leaves fsltl alone.
bool gf_matchStaticLivery(AircraftRecord& aircraft, std::string_view standName, bool standCargo);

// The same for a stand record that carries its name and cargo flag.
template <typename Stand>
    requires requires(const Stand& s) {
        std::string_view(s.name);
        bool(s.cargo);
    }
bool gf_matchStaticLivery(AircraftRecord& aircraft, const Stand& stand)
{
    return gf_matchStaticLivery(aircraft, std::string_view(stand.name), bool(stand.cargo));
}

// Writes the counts per step and the models the simulator could not create
// to the log, whatever LOG says.
void gf_logMatchingSummary();

// The steps of the ladder, each true when the aircraft has a title afterwards.
bool lf_matchByRegcode(AircraftRecord& aircraft);
bool lf_matchByAirlineModel(AircraftRecord& aircraft, std::string_view airline, std::string_view model);
bool lf_matchByModel(AircraftRecord& aircraft, std::string_view model);
// Sets the title to a candidate that is not special, or empty when every
// candidate is special; the candidates are not empty.
void lf_pickLivery(AircraftRecord& aircraft, const std::vector<TitleView>& candidates);

// Puts the step counters back to 0. Only for tests: the program never does.
void gf_resetMatchingStatistics();

} // namespace tzo
