#pragma once
// A new live aircraft, from its first report to its create request: it waits
// until its first sample is nearly due, is held back while it would appear on
// the user's path, is refused by the live limit, a blocked callsign or a bad
// name, gets a livery and a place (a stand of the park airport, the ground or
// the air) and is handed to the creation. Also the ghost rule for callsigns
// with a trailing "_". Withdrawing a queued creation is the removal's
// (traffic/removal.hpp).

#include "airports/park_pos.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// lf_newAircraftStep and lf_ghostRule are declared with the live steps.

// Whether a live aircraft not being removed has the callsign less its last
// character: the callsign is that aircraft's ghost.
bool gf_ownsGhostCallsign(std::string_view callsign);

// The static aircraft makes place for the live aircraft at the stand; true
// when it stood there (the rule applied).
bool gf_makesPlaceFor(tzo::AircraftRecord& parked, const tzo::AircraftRecord& live, const tzo::ParkPos& stand);

// The stand the user keeps for himself at the park airport, as static parking
// knows it; it installs the source at start. Without one there is none.
void gf_setReservedStandSource(std::string (*source)());
// The user's reserved stand or the stand the user aircraft stands on: no live
// aircraft takes it.
bool gf_isStandKeptForUser(const tzo::ParkPos& stand);
