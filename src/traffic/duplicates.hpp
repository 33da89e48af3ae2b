#pragma once
// Which of two versions of one aircraft goes: a static aircraft that a live
// one duplicates, the contest for a stand between a new live aircraft and the
// one parked there, the flush of all static aircraft, the user's reserved
// stand, and the end of a removal when the simulator reports the object gone.
// Main loop only.

#include "airports/park_pos.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// Whether the static aircraft (in the simulator) duplicates the live one: by
// the hexid it stands for, its registration, or its callsign couple. Logs the
// reason; the caller removes it. stem is the live callsign less its last
// character.
bool gf_removeStaticDuplicate(const tzo::LiveAircraft& live, std::string_view stem, bool onGround,
                              const tzo::AircraftRecord& parked);

// The contest between a new live aircraft of that callsign and P when P is
// parked in the simulator at the stand: P is removed, or available is
// cleared. True when P was the aircraft at the stand.
bool lf_callsignContest(const tzo::ParkPos& stand, const std::string& newCallsign, bool& available,
                        tzo::LiveAircraft& parked);

// Removes every static aircraft: those in the simulator are removed, queued
// creations withdrawn, creations on their way marked to make place.
void gf_removeAllStatic();
// Takes every queued static creation of that callsign off the static create
// queue and erases its record; true when one was taken.
bool gf_removeQueuedStaticCreation(std::string_view callsign);
// Frees the user's reserved stand: one static aircraft, else one parked live
// aircraft there, is removed.
void gf_clearReservedStand();
// The stand the user reserved, as static parking last installed it.
std::string gf_reservedStandName();

// Deletes the flight plan file of an object; installed by the flight plans.
// It must not throw; without one nothing is deleted.
