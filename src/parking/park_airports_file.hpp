#pragma once
// The park airports: the airports at which static parking may happen while
// the user flies, read from "my_park_airports.txt" of the "airports" folder
// (one code per line, optionally a comma and a reserved stand) and from the
// code-named subfolders of "my_thirdparty". Main loop only, except
// gf_rememberParkStand.

#include "foundation/geometry.hpp"

#include <atomic>
#include <list>
#include <string>
#include <string_view>

namespace tzo {

struct ParkAirportEntry {
    std::string code;
    std::string reservedStand;
    double latitude = 0.0;
    double longitude = 0.0;
    double distanceNm = 0.0; // from the user aircraft; 0 until computed
};

} // namespace tzo

// Nearest first after every change of the user position.
extern std::list<tzo::ParkAirportEntry> parkAirports;
// The user position at which the distances were last computed.
extern tzo::LatLon parkAirportsLastPosition;
// The result of the last read, for the window.
extern std::atomic<bool> parkAirportsOkay;

// Reads the file (and the folder source) into parkAirports; true when every
// airport and stand named in the file is known. With resort, or a moved user
// aircraft, the distances are computed anew and the list sorted.
bool gf_readMyParkAirports(bool resort);
void lf_parseParkAirportLine(bool& ok, const std::string& line);
bool lf_isParkAirportListed(std::string_view code);
void lf_addParkAirportsFromFolder();
// Sets every distance from the position and sorts nearest first.
void gf_sortParkAirportsFrom(const tzo::LatLon& position);

// Writes the first entry (code and reserved stand) into the file: replaces
// its line, or appends one and sorts the lines; creates the file when there
// is none. A file that exists but cannot be read is left alone.
void gf_writeMyParkAirports();
bool lf_updateParkAirportLine(std::string& line);

// Re-reads the file and, with takeChange, takes over a changed reserved stand
// of the park airport. True when the message is to be shown.
bool gf_checkReservedStand(bool takeChange, std::string& message);

// Any thread (the simulator connection reports the user's stand): notes the
// stand for the main loop.
void gf_rememberParkStand(std::string_view stand);
// Main loop: stores a noted stand as the first park airport's reserved stand
// and writes the file; nothing when none was noted or there is no park airport.
void gf_applyRememberedParkStand();
