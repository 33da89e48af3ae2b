#pragma once
// The traffic line: one comma-separated aircraft report per datagram, turned
// into a TrafficRecord or dropped by the filters. The parsing is a pure
// function of the line and the few values of the world it is judged against,
// so that it can be tested and fuzzed without sockets.

#include "realtraffic/traffic_record.hpp"

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace tzo {

// Fields 0 to 28 are read, and the checksum: the last field, or field 41 of a
// line with more than 42 fields.
inline constexpr std::size_t kTrafficLineFieldCount = 29;
// RealTraffic's documented line ends with its authentication number, field
// 41. Newer versions append fields after it (an operator code, often no
// number), so in a longer line the checksum is not the last field.
inline constexpr std::size_t kDocumentedLineFieldCount = 42;
inline constexpr std::size_t kAuthenticationField = 41;

// The simulator's tail-number field holds 11 characters and a zero; a longer
// callsign would fail every creation of the aircraft.
inline constexpr std::size_t kMaxCallsignBytes = 11;
// Departure and destination hold airport codes: four characters for ICAO
// codes, a little more for the odd local one. A type is an ICAO type code.
inline constexpr std::size_t kMaxRouteBytes = 8;
inline constexpr std::size_t kMaxTypeBytes = 4;

inline constexpr double kMillisecondTimestampAbove = 171644617100.79;

// What a line is judged against, copied once per line so that one line sees
// one consistent world. A position or range that is no number drops the line
// in the tests that use it.
struct LineContext {
    double userLatitude = 0;
    double userLongitude = 0;
    double rangeNm = 40;
    bool parkAirportSet = false;
    double parkLatitude = 0;
    double parkLongitude = 0;
    bool elevationKnown = false;
    double elevationFt = 0;
};

enum class LineVerdict {
    accepted,
    tooFewFields,
    badNumber,       // a field that must be a number is not (or is NaN/infinite)
    outsideWorld,    // latitude/longitude out of range or in the near-zero box
    outOfRange,      // farther from the user than the traffic range
    category,        // not an aircraft of interest (category or pseudo type)
    badHeading,      // true heading below 0 or above 360
    staticHexid,     // hexid 10000 or below
    noRegistration,
    towed,           // "TOW " callsign
    ignoredCallsign, // "ERARMTR0"
    groundAway,      // on the ground without a park airport, or more than 5 nm from it
    implausible,     // a number no aircraft reports (foundation/plausible.hpp)
};

struct LineResult {
    LineVerdict verdict = LineVerdict::tooFewFields;
    // The aircraft passed the range test: its callsign may be collected.
    bool inRange = false;
    // The field whose number no aircraft reports (implausible, badHeading);
    // null otherwise.
    const char* implausibleField = nullptr;
};

// Splits at every ','; an empty field between two commas is an empty view;
// text after the last comma is a field only when it is not empty. The views
// point into the line; the vector is reused between lines.
void gf_splitTrafficFields(std::string_view line, std::vector<std::string_view>& fields);

// Whether a report this many feet above the ground, at this ground speed,
// stands or rolls on it.
bool gf_countsAsOnGround(double heightFt, double knots);

// Resets the record and fills it from the fields. The timestamp is stored as
// soon as it converts, even when a later filter drops the line: it tells the
// start of operations that traffic arrives.
LineResult gf_parseTrafficLine(std::span<const std::string_view> fields, const LineContext& context,
                               TrafficRecord& record);

// The callsign field as the collection of reported callsigns takes it: empty
// when it is "null" or holds an at sign (or the line is too short), cleaned
// and cut to kMaxCallsignBytes as the record's callsign is.
std::string gf_collectableCallsign(std::span<const std::string_view> fields);

// Locale-free conversions of the traffic line: the number at the start of the
// text, anything after it ignored; no leading blank or plus sign; NaN and
// infinities fail.
bool gf_leadingDouble(std::string_view text, double& value);
bool gf_leadingU32(std::string_view text, std::uint32_t& value);

} // namespace tzo
