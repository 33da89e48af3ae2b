#pragma once
// Who holds which stand of the park airport. A live aircraft holds its stand
// while it moves into it or stands at it (phases 5 and 6) and is not being
// removed; the stand's occupied flag says exactly that some live aircraft
// holds it. Taking a stand gives up the one held before; every change of
// phase away from the stand, every removal and every erase gives it up.
// Main loop only.

#include "airports/park_pos.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>

// Whether the aircraft holds the stand its record names.
bool gf_holdsStand(const tzo::LiveAircraft& aircraft);

// The aircraft takes the stand: its place, id and cargo flag are copied into
// the record and the stand is occupied; a stand it held before is given up.
// The caller sets the phase (5 or 6).
void gf_takeStand(tzo::LiveAircraft& aircraft, tzo::ParkPos& stand);

// Sets the stand's occupied flag from the live aircraft that hold it; nothing
// for an id that names no stand.
void gf_refreshStandOccupied(std::uint32_t standId);
