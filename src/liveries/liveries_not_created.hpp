#pragma once
// Liveries the simulator refused to create. A scanned livery can still fail
// in the simulator; its title is then remembered so that matching never hands
// it out again, and its model and airline are kept for the matching summary.
// Many such failures point to a broken installation: from the twentieth on,
// each one is raised as user error 81.
//
// Both lists only grow: nothing empties them, not even a restart in the same
// process, so a title refused once stays refused until the program ends.

#include "refdata/aircraft_record.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tzo {

// The simulator's short name in the texts of these failures.
inline constexpr std::string_view kSimShortName = "P3D";
// From this many refused titles on, each further one is a user error.
inline constexpr std::size_t kMaxLiveriesNotCreated = 20;

// The refused titles in the order reported, repeats kept. They are copies:
// the list outlives the catalogue its titles came from. Written and read on
// the main loop's thread only.
extern std::vector<std::string> liveriesNotCreated;

// Records the aircraft's failed creation: the status line (and the log) shows
// its callsign and title, the title joins liveriesNotCreated and "model
// airline" the list of the summary. From the twentieth title on, the failure
// is recorded all the same and then raised as tzo::UserErrorException 81.
void gf_liveryNotCreated(const AircraftRecord& aircraft);

// Whether the simulator has refused the title before.
bool gf_isLiveryNotCreated(std::string_view title);

// The "model airline" lines of the failures, sorted and without repeats. The
// summary may ask from the exit thread while the main loop still records
// failures: the lines are thinned and copied under their own mutex.
std::vector<std::string> gf_getLiveriesNotCreated();

// Empties both lists. Only for tests: the program never forgets a refusal.
void gf_resetLiveriesNotCreated();

} // namespace tzo
