#pragma once
// Removing an AI aircraft, live or static. The texts that name an aircraft
// in the log are the aircraft record's (refdata/aircraft_record.hpp).

#include "refdata/aircraft_record.hpp"

#include <string>

// Frees the aircraft's stand, marks it being removed and queues its object
// for removal (one per 100 ms). The record stays in its table until the
// simulator reports the object gone. Without an object nothing is queued.
void gf_removeAircraft(tzo::AircraftRecord& aircraft);
