#pragma once
// One parsed traffic report, as the traffic reader queues it for the live
// traffic.

#include "foundation/aircraft_texts.hpp"

#include <cstdint>
#include <string>

namespace tzo {

// The leading texts are shared with the aircraft records (their model code is
// the report's type field), which are built from this record by copying that part.
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
