#pragma once
// Learning which airline and type use which stand of the park airport at
// which half-hour of the week. A real option records an aircraft seen parked
// at a stand; a soft option the stand the fitting search chose for an
// aircraft near the park airport that had none. Each stand tracks, per
// aircraft, the half-hour it was last credited, so that the half-hours an
// aircraft stood there unseen are filled in (up to five). Main loop only.

#include "airports/park_pos.hpp"
#include "foundation/time.hpp"
#include "refdata/aircraft_record.hpp"

#include <cstdint>
#include <string_view>

namespace tzo {
struct LiveAircraft;
}

// Whether the park airport allows soft learning. Static parking clears it
// when the airport's learned use is good enough without; on until then.
extern bool softLearningAllowed;

// Counts one learned change of the park airport's stands.
void gf_countStandUpdate();

// Appends a new fresh option for the aircraft at the half-hour and returns
// its number, its place in the stand's list (withdrawn options, number 0,
// stay where they are).
std::uint32_t lf_addOption(tzo::ParkPos& stand, const tzo::AircraftRecord& aircraft, bool soft, DayHour dayHour);

// Sets the half-hour in the option with that number and notes the callsign
// (less one trailing "_") as its first or second callsign; false when no
// option has the number.
bool lf_updateOption(tzo::ParkPos& stand, DayHour dayHour, std::uint32_t number, std::string_view callsign);
bool lf_mergeIntoOption(tzo::ParkPosOption& option, std::uint32_t number, DayHour dayHour, std::string_view callsign);

// The learners; each returns true when it changed something (and then
// counted a stand update).
bool lf_addRealOption(std::uint32_t standId, tzo::LiveAircraft& aircraft, bool useTracking, bool endTracking,
                      DayHour dayHour);
bool lf_addSoftOption(std::uint32_t standId, tzo::LiveAircraft& aircraft, bool useTracking, DayHour dayHour);
// The soft learning step of an aircraft without a stand near the park airport.
void lf_learnSoftOption(tzo::LiveAircraft& aircraft);
