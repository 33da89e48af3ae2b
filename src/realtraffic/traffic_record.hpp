#pragma once
// One parsed traffic report, as the traffic reader queues it for the live
// traffic.

#include <cstdint>
#include <string>

namespace tzo {

// The leading part shared with the live and static aircraft records, which are
// built from it field by field: eight texts and a 64-bit field. Assigning this
// part alone is a slice to AircraftTexts, never a TrafficRecord assignment that
// silently keeps the old position.
struct AircraftTexts {
    std::string airline;      // empty here; the live traffic fills it
    std::string type;         // ICAO model code
    std::string departure;
    std::string destination;
    std::string callsign;
    std::string firstCallsign;  // empty here
    std::string secondCallsign; // empty here
    std::string registration;
    std::uint64_t reserved = 0;

    void assignTexts(const AircraftTexts& other) { *this = other; }
};

struct TrafficRecord : AircraftTexts {
    double latitude = 0;        // degrees
    double longitude = 0;       // degrees
    double bank = 0;            // radians, the report's roll with its sign inverted
    bool bankPresent = false;
    double trueHeading = 0;     // radians
    bool trueHeadingPresent = false;
    double altitude = 0;        // feet; 0 when the aircraft counts as on the ground
    double groundSpeed = 0;     // knots
    double track = 0;           // degrees
    double verticalSpeed = 0;   // feet per minute
    double trueAirspeed = 0;    // knots
    std::uint32_t expiryTick = 0;
    bool airborne = false;
    bool stationary = false;    // always false here
    bool headingFromAdsb = false;
    double timestamp = 0;       // seconds since 1970
    std::uint32_t hexid = 0;    // above 10000 (10000 and below are static aircraft)
    std::uint32_t checksum = 0;
};

} // namespace tzo
