#include "realtraffic/traffic_line.hpp"

#include "foundation/geometry.hpp"
#include "foundation/plausible.hpp"
#include "foundation/strings.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace tzo {

namespace {

enum Field : std::size_t {
    kHexid = 1,
    kLatitude = 2,
    kLongitude = 3,
    kAltitude = 4,
    kVerticalSpeed = 5,
    kTrack = 7,
    kGroundSpeed = 8,
    kCallsign = 9,
    kType = 10,
    kRegistration = 11,
    kDeparture = 12,
    kDestination = 13,
    kTimestamp = 14,
    kMessageType = 17,
    kTrueAirspeed = 20,
    kRoll = 23,
    kTrueHeading = 25,
    kCategory = 28,
};

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kFullCircle = 6.283185307179586;
constexpr double kGroundAltitudeLimit = 14000;
constexpr double kUnknownElevation = -1000;
constexpr double kGroundRadiusNm = 5;
constexpr std::size_t kMaxRegistrationLength = 12;

constexpr std::array<std::string_view, 5> kDroppedCategories = {"B1", "B2", "B4", "C1", "C2"};
constexpr std::array<std::string_view, 6> kPseudoTypes = {"GRND", "GLID", "SERV", "BALL", "PARA", "SHIP"};

double lf_distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    return gf_greatCircleDistanceNm(LatLon{lat1, lon1}, LatLon{lat2, lon2});
}

bool lf_isNull(std::string_view text)
{
    return text == "null";
}

std::string_view lf_orEmptyWhenNull(std::string_view text)
{
    return lf_isNull(text) ? std::string_view{} : text;
}

void lf_readTailNumber(std::string_view field, TrafficRecord& record)
{
    if (field.size() <= kMaxRegistrationLength && !lf_isNull(field))
        gf_cleanFieldText(record.registration, field, kMaxRegistrationLength);
}

// True when the line is kept.
bool lf_categoryToType(std::string_view category, std::string_view type)
{
    if (category.empty())
        return true;
    for (auto dropped : kDroppedCategories)
        if (category == dropped)
            return false;
    for (auto pseudo : kPseudoTypes)
        if (type == pseudo)
            return false;
    return true;
}

enum class CallsignCheck { keep, towed, ignored };

CallsignCheck lf_checkCallsign(std::string_view field, TrafficRecord& record)
{
    const std::string_view callsign = lf_orEmptyWhenNull(field);
    if (callsign.starts_with("TOW "))
        return CallsignCheck::towed;
    if (callsign == "ERARMTR0")
        return CallsignCheck::ignored;
    if (callsign.find('@') != std::string_view::npos)
        record.callsign.clear();
    else
        gf_cleanFieldText(record.callsign, callsign, kMaxCallsignBytes);
    return CallsignCheck::keep;
}

double lf_defaultAirspeed(double altitude)
{
    if (altitude <= 2000)
        return 180;
    if (altitude <= 5000)
        return 220;
    if (altitude <= 10000)
        return 250;
    if (altitude <= 20000)
        return 350;
    return 430;
}

void lf_resetRecord(TrafficRecord& record)
{
    // Keeps the strings' capacity: the record is reused for every line.
    record.airline.clear();
    record.model.clear();
    record.departure.clear();
    record.destination.clear();
    record.callsign.clear();
    record.firstCallsign.clear();
    record.secondCallsign.clear();
    record.registration.clear();
    record.couplesSearched = 0;
    record.latitude = record.longitude = 0;
    record.bank = 0;
    record.bankPresent = false;
    record.trueHeading = 0;
    record.trueHeadingPresent = false;
    record.altitude = record.groundSpeed = record.track = record.verticalSpeed = record.trueAirspeed = 0;
    record.expiryTick = 0;
    record.airborne = record.stationary = record.headingFromAdsb = false;
    record.timestamp = 0;
    record.hexid = 0;
    record.checksum = 0;
}

LineResult lf_drop(LineVerdict verdict, bool inRange = false)
{
    return LineResult{verdict, inRange};
}

// A number no aircraft reports: the line is dropped, naming the field.
LineResult lf_implausible(const char* field)
{
    return LineResult{LineVerdict::implausible, true, field};
}

} // namespace

bool gf_leadingDouble(std::string_view text, double& value)
{
    double parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc{} || end == text.data() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool gf_leadingU32(std::string_view text, std::uint32_t& value)
{
    std::uint32_t parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
    if (ec != std::errc{} || end == text.data())
        return false;
    value = parsed;
    return true;
}

void gf_splitTrafficFields(std::string_view line, std::vector<std::string_view>& fields)
{
    fields.clear();
    std::size_t start = 0;
    for (std::size_t comma = line.find(','); comma != std::string_view::npos; comma = line.find(',', start)) {
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    if (start < line.size())
        fields.push_back(line.substr(start));
}

std::string gf_collectableCallsign(std::span<const std::string_view> fields)
{
    if (fields.size() <= kCallsign)
        return {};
    const std::string_view callsign = fields[kCallsign];
    if (lf_isNull(callsign) || callsign.find('@') != std::string_view::npos)
        return {};
    // Cut as the record's callsign is, so that the collection names the
    // aircraft as the live traffic will know them (and a junk field of many
    // kilobytes is not kept whole).
    std::string collectable;
    gf_cleanFieldText(collectable, callsign, kMaxCallsignBytes);
    return collectable;
}

bool gf_countsAsOnGround(double heightFt, double knots)
{
    return heightFt <= 0 || (heightFt <= 45 && knots <= 120) || (heightFt <= 90 && knots <= 80) ||
           (heightFt <= 120 && knots <= 43);
}

LineResult gf_parseTrafficLine(std::span<const std::string_view> fields, const LineContext& context,
                               TrafficRecord& record)
{
    lf_resetRecord(record);
    // The line is read up to field 28 and its last field; a shorter one would
    // be read past its end.
    if (fields.size() < kTrafficLineFieldCount)
        return lf_drop(LineVerdict::tooFewFields);

    double timestamp = 0;
    if (!gf_leadingDouble(fields[kTimestamp], timestamp))
        return lf_drop(LineVerdict::badNumber);
    if (timestamp > kMillisecondTimestampAbove)
        timestamp /= 1000;
    record.timestamp = timestamp;

    lf_readTailNumber(fields[kRegistration], record);

    if (!gf_leadingDouble(fields[kLatitude], record.latitude) ||
        !gf_leadingDouble(fields[kLongitude], record.longitude))
        return lf_drop(LineVerdict::badNumber);
    const double lat = record.latitude;
    const double lon = record.longitude;
    if (lat < -90 || lat > 90 || lon < -180 || lon > 180)
        return lf_drop(LineVerdict::outsideWorld);
    if (lat >= 0 && lat <= 0.0009 && lon >= 0 && lon <= 0.05)
        return lf_drop(LineVerdict::outsideWorld);

    // Written so that a NaN distance or range drops the line instead of
    // passing it.
    if (!(lf_distanceNm(context.userLatitude, context.userLongitude, lat, lon) <= context.rangeNm))
        return lf_drop(LineVerdict::outOfRange);
    constexpr bool inRange = true;

    const std::string_view type = fields[kType];
    if (type != "null" && type != "0" && type != "ZZZZ")
        gf_cleanFieldText(record.model, type, kMaxTypeBytes);

    if (!lf_categoryToType(fields[kCategory], record.model))
        return lf_drop(LineVerdict::category, inRange);

    if (fields[kMessageType] == "adsb_icao") {
        double heading = 0;
        if (!gf_leadingDouble(fields[kTrueHeading], heading))
            return lf_drop(LineVerdict::badNumber, inRange);
        if (heading < 0 || heading > 360)
            return LineResult{LineVerdict::badHeading, inRange, "true heading"};
        record.trueHeading = heading == 0 ? kFullCircle : heading * kDegToRad;
        record.trueHeadingPresent = true;
        record.headingFromAdsb = true;
    }

    if (!gf_leadingU32(fields[kHexid], record.hexid))
        return lf_drop(LineVerdict::badNumber, inRange);
    if (record.hexid <= 10000)
        return lf_drop(LineVerdict::staticHexid, inRange);

    if (!gf_leadingDouble(fields[kGroundSpeed], record.groundSpeed))
        return lf_drop(LineVerdict::badNumber, inRange);
    if (!gf_plausibleSpeed(record.groundSpeed))
        return lf_implausible("ground speed");

    if (record.registration.empty())
        return lf_drop(LineVerdict::noRegistration, inRange);

    double altitude = 0;
    if (!gf_leadingDouble(fields[kAltitude], altitude))
        return lf_drop(LineVerdict::badNumber, inRange);
    if (!gf_plausibleAltitude(altitude))
        return lf_implausible("altitude");
    const double speed = record.groundSpeed;
    if (altitude <= 0) {
        altitude = 0;
    } else if (altitude < kGroundAltitudeLimit) {
        const double elevation = context.elevationKnown ? context.elevationFt : kUnknownElevation;
        if (gf_countsAsOnGround(altitude - elevation, speed))
            altitude = 0;
    }
    if (altitude > 0 && speed <= 35)
        altitude = 0;
    record.altitude = altitude;
    record.airborne = altitude != 0;

    switch (lf_checkCallsign(fields[kCallsign], record)) {
    case CallsignCheck::towed:
        return lf_drop(LineVerdict::towed, inRange);
    case CallsignCheck::ignored:
        return lf_drop(LineVerdict::ignoredCallsign, inRange);
    case CallsignCheck::keep:
        break;
    }

    if (!record.airborne) {
        if (!context.parkAirportSet ||
            !(lf_distanceNm(context.parkLatitude, context.parkLongitude, lat, lon) <= kGroundRadiusNm))
            return lf_drop(LineVerdict::groundAway, inRange);
    }

    if (fields[kTrack].empty())
        record.track = 0;
    else if (!gf_leadingDouble(fields[kTrack], record.track))
        return lf_drop(LineVerdict::badNumber, inRange);
    if (!gf_plausibleDirection(record.track))
        return lf_implausible("track");
    if (record.track == 0 && record.trueHeadingPresent)
        record.track = record.trueHeading * kRadToDeg;

    if (!gf_leadingDouble(fields[kVerticalSpeed], record.verticalSpeed))
        return lf_drop(LineVerdict::badNumber, inRange);
    if (!gf_plausibleVerticalSpeed(record.verticalSpeed))
        return lf_implausible("vertical speed");

    // Outside texts: whatever a sender puts there reaches the log and the
    // window, so it is kept to its field's length and to one clean line.
    gf_cleanFieldText(record.departure, lf_orEmptyWhenNull(fields[kDeparture]), kMaxRouteBytes);
    gf_cleanFieldText(record.destination, lf_orEmptyWhenNull(fields[kDestination]), kMaxRouteBytes);

    const std::string_view checksum =
        fields.size() > kDocumentedLineFieldCount ? fields[kAuthenticationField] : fields.back();
    if (!gf_leadingU32(checksum, record.checksum))
        return lf_drop(LineVerdict::badNumber, inRange);

    if (record.airborne) {
        double roll = 0;
        if (!gf_leadingDouble(fields[kRoll], roll))
            return lf_drop(LineVerdict::badNumber, inRange);
        if (!gf_within(roll, -kSteepestRollDegrees, kSteepestRollDegrees))
            return lf_implausible("roll");
        if (roll != -1 && roll != 0) {
            record.bank = -roll * kDegToRad;
            record.bankPresent = true;
        }
    }

    if (!gf_leadingDouble(fields[kTrueAirspeed], record.trueAirspeed))
        return lf_drop(LineVerdict::badNumber, inRange);
    if (record.trueAirspeed == -1)
        record.trueAirspeed = lf_defaultAirspeed(record.altitude);
    else if (!gf_plausibleSpeed(record.trueAirspeed))
        return lf_implausible("true airspeed");

    return LineResult{LineVerdict::accepted, inRange};
}

} // namespace tzo
