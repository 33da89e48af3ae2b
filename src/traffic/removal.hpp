#pragma once
// Removing an AI aircraft, live or static, and the periodic removals: static
// twins of live aircraft on the ground and live aircraft beyond MAX_LIVE.
// The texts that name an aircraft in the log are the aircraft record's
// (refdata/aircraft_record.hpp).

#include "refdata/aircraft_record.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <string>
#include <vector>

// Marks the aircraft being removed and queues its object for removal (one
// per 100 ms); the record stays in its table until the simulator reports the
// object gone. A live aircraft frees its stand at once. A live aircraft that
// never reached the simulator goes without a removal: a new one, or one whose
// create request still waits, is erased with the tick's move pass; one whose
// request was sent is removed when its object shows up.
void gf_removeAircraft(tzo::AircraftRecord& aircraft);
// Withdraws a live aircraft's create request while it still waits (in the ids
// to create or the live create queue); the aircraft then leaves with the
// tick's move pass. False when none waited: the request was sent already.
bool gf_removeQueuedCreation(std::uint32_t recordId);

// The farthest test of the live limit: the live aircraft in the simulator
// farthest from the user, more than 0.1 nm beyond distanceNm and any nearer
// candidate, is removed and false answered; true when none is (the aircraft
// at distanceNm is itself the farthest).
bool gf_farthestTest(double distanceNm);
// Holds the live aircraft in the simulator to MAX_LIVE; its default means no
// limit, and its window field is emptied.
void gf_limitLiveCount();

// For each live aircraft on the ground in the simulator, removes the first
// static aircraft in the simulator that is its twin: its callsign followed
// by "*", or else its registration. Returns last.
std::vector<tzo::LiveAircraft>::iterator gf_removeStaticTwins(std::vector<tzo::LiveAircraft>::iterator first,
                                                              std::vector<tzo::LiveAircraft>::iterator last);
// The same over every live aircraft (the main loop, every 61 s).
void gf_removeStaticTwins();

// Writes the aircraft for which no livery matched to the log; nothing when
// there are none.
void gf_logNoMatches();
