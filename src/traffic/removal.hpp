#pragma once
// Removing an AI aircraft, live or static. The texts that name an aircraft
// in the log are the aircraft record's (refdata/aircraft_record.hpp).

#include "refdata/aircraft_record.hpp"

#include <string>

// Frees the aircraft's stand, marks it being removed and queues its object
// for removal (one per 100 ms). The record stays in its table until the
// simulator reports the object gone. Without an object nothing is queued.
void gf_removeAircraft(tzo::AircraftRecord& aircraft);

// The farthest test of the live limit: the live aircraft in the simulator
// farthest from the user, more than 0.1 nm beyond distanceNm and any nearer
// candidate, is removed and false answered; true when none is (the aircraft
// at distanceNm is itself the farthest).
bool gf_farthestTest(double distanceNm);
// Holds the live aircraft in the simulator to MAX_LIVE; its default means no
// limit.
void gf_limitLiveCount();
