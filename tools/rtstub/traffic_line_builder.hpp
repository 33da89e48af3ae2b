#pragma once
// Traffic lines as RealTraffic sends them: "RTTFC" and comma-separated fields,
// one aircraft per line. Every field is text, so that tests can put anything
// into any field.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtstub {

enum LineField : std::size_t {
    kTag = 0,
    kHexid = 1,
    kLatitude = 2,
    kLongitude = 3,
    kAltitude = 4,
    kVerticalSpeed = 5,
    kGroundFlag = 6,
    kTrack = 7,
    kGroundSpeed = 8,
    kCallsign = 9,
    kType = 10,
    kRegistration = 11,
    kFrom = 12,
    kTo = 13,
    kTimestamp = 14,
    kSource = 15,
    kIataCallsign = 16,
    kMessageType = 17,
    kGeometricAltitude = 18,
    kIndicatedAirspeed = 19,
    kTrueAirspeed = 20,
    kMach = 21,
    kTrackRate = 22,
    kRoll = 23,
    kMagneticHeading = 24,
    kTrueHeading = 25,
    kGeometricRate = 26,
    kEmergency = 27,
    kCategory = 28,
    kNavQnh = 29,
    kNavAltitudeMcp = 30,
    kNavAltitudeFms = 31,
    kNavHeading = 32,
    kNavModes = 33,
    kSeen = 34,
    kRssi = 35,
    kWindDirection = 36,
    kWindSpeed = 37,
    kOutsideAirTemperature = 38,
    kTotalAirTemperature = 39,
    kIsIcaoHex = 40,
    // The authentication number, which the program keeps as the checksum.
    kChecksum = 41,
    // The documented line; newer RealTraffic versions append fields after
    // the authentication number (see appendNewerFields).
    kLineFieldCount = 42,
};

class TrafficLine {
public:
    // An airliner on approach to Zürich, 12 nm north-east of the airport,
    // reported now; every field filled and valid.
    static TrafficLine airborne();
    // The same aircraft standing at Zürich airport (LSZH, 1416 ft).
    static TrafficLine onGround();

    TrafficLine& set(std::size_t field, std::string value);
    TrafficLine& set(std::size_t field, double value);
    const std::string& get(std::size_t field) const { return m_fields.at(field); }
    // Keeps the first n fields only.
    TrafficLine& truncate(std::size_t count);
    // One more field after the last.
    TrafficLine& append(std::string value);
    // What newer RealTraffic versions send after the authentication number:
    // the operator's ICAO code ("null" when unknown).
    TrafficLine& appendNewerFields(std::string operatorCode);
    std::size_t fieldCount() const { return m_fields.size(); }

    std::string text() const;

private:
    std::vector<std::string> m_fields;
};

// Shortest round-trip text of a number, locale-free.
std::string numberText(double value);

// The operator code a callsign starts with ("SWR" of "SWR17K"), or "null"
// when it does not start with three letters.
std::string operatorOfCallsign(const std::string& callsign);

// Seconds since 1970 now, with milliseconds.
double nowSeconds();

// Zürich airport.
inline constexpr double kZurichLatitude = 47.4647;
inline constexpr double kZurichLongitude = 8.5492;
inline constexpr double kZurichElevationFt = 1416;

} // namespace rtstub
