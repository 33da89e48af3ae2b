#pragma once
// Removing an AI aircraft, live or static, and the texts that name an
// aircraft in the log.

#include "refdata/aircraft_record.hpp"

#include <string>

// Frees the aircraft's stand, marks it being removed and queues its object
// for removal (one per 100 ms). The record stays in its table until the
// simulator reports the object gone. Without an object nothing is queued.
void gf_removeAircraft(tzo::AircraftRecord& aircraft);

// "{:8}" of the callsign.
std::string gf_callsignText(const tzo::AircraftRecord& aircraft);
// "{:3}->{:3}" of departure and destination; eight blanks when both are empty.
std::string gf_formatRoute(const tzo::AircraftRecord& aircraft);
// Callsign, registration, airline and type, route: an aircraft in a log line.
std::string gf_formatStatusLine(const tzo::AircraftRecord& aircraft);
