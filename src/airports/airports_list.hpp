#pragma once
// The airports list: every airport the program knows by code, read once from
// "airports_p3d.xml" of the "input" folder, sorted by code and then only read.

#include "airports/airport_services.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Loads the list unless it is loaded; true when it holds an airport. A file
// that cannot be read or lacks `airports` raises std::runtime_error and
// leaves the list unloaded, so that a later call tries again.
bool gf_loadAirportsList();
// The first record with that code, as a copy.
std::optional<tzo::AirportRecord> gf_findAirport(std::string_view code);
// "EHAM (AMS)", "EHAM", "? (AMS)".
std::string gf_formatAirport(const tzo::AirportRecord& record);
// The whole list, in code order; empty until loaded.
const std::vector<tzo::AirportRecord>& gf_airportsList();

// Parses the text of an airports file into records (sorted, equal codes in
// file order); records with a missing or unreadable position are skipped
// with a marked log line. False, with error filled, when the text is not XML
// or holds no `airports` element.
bool gf_parseAirportsList(std::string_view text, std::vector<tzo::AirportRecord>& records, std::string& error);

// Tests only: forgets the list so that the next load reads the file again.
void gf_resetAirportsListForTests();
// Tests only: replaces the list.
void gf_setAirportsListForTests(std::vector<tzo::AirportRecord> records);
