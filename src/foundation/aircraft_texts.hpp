#pragma once
// The leading part that a traffic report and every AI aircraft record share:
// eight texts and one 64-bit field. The traffic record and the aircraft
// records derive from it, so an aircraft record is made from a traffic record
// by copying this part, and the reference data can build aircraft records
// without knowing the traffic reader that fills traffic records.

#include <cstdint>
#include <string>

namespace tzo {

struct AircraftTexts {
    std::string airline;        // ICAO airline code; empty in a fresh traffic report
    std::string model;          // ICAO type code of the aircraft model
    std::string departure;
    std::string destination;
    std::string callsign;
    std::string firstCallsign;  // first callsign of a callsign couple
    std::string secondCallsign; // second callsign of a callsign couple
    std::string registration;
    std::uint64_t couplesSearched = 0; // 0 in a traffic report
};

} // namespace tzo
