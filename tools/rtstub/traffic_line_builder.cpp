#include "rtstub/traffic_line_builder.hpp"

#include <fmt/format.h>

#include <chrono>
#include <stdexcept>

namespace rtstub {

std::string numberText(double value)
{
    return fmt::format("{}", value);
}

double nowSeconds()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) / 1000.0;
}

TrafficLine TrafficLine::airborne()
{
    TrafficLine line;
    line.m_fields.assign(kLineFieldCount, std::string{});
    line.set(kTag, "RTTFC")
        .set(kHexid, "4508432")
        .set(kLatitude, "47.5750")
        .set(kLongitude, "8.7460")
        .set(kAltitude, "6000")
        .set(kVerticalSpeed, "-704")
        .set(kGroundFlag, "0")
        .set(kTrack, "228.5")
        .set(kGroundSpeed, "210")
        .set(kCallsign, "SWR17K")
        .set(kType, "A320")
        .set(kRegistration, "HB-JLT")
        .set(kFrom, "LHR")
        .set(kTo, "ZRH")
        .set(kTimestamp, numberText(nowSeconds()))
        .set(kSource, "adsb")
        .set(kIataCallsign, "LX317")
        .set(kMessageType, "adsb_icao")
        .set(kGeometricAltitude, "6125")
        .set(kIndicatedAirspeed, "205")
        .set(kTrueAirspeed, "226")
        .set(kMach, "0.344")
        .set(kTrackRate, "0")
        .set(kRoll, "-2.5")
        .set(kMagneticHeading, "225.9")
        .set(kTrueHeading, "227.1")
        .set(kGeometricRate, "-704")
        .set(kEmergency, "none")
        .set(kCategory, "A3")
        .set(kNavQnh, "1013.6")
        .set(kNavAltitudeMcp, "5008")
        .set(kNavAltitudeFms, "-1")
        .set(kNavHeading, "227.8")
        .set(kNavModes, "autopilot|althold|approach")
        .set(kSeen, "0.2")
        .set(kRssi, "-18.4")
        .set(kWindDirection, "251")
        .set(kWindSpeed, "14")
        .set(kOutsideAirTemperature, "2")
        .set(kTotalAirTemperature, "8")
        .set(kIsIcaoHex, "1")
        .set(kChecksum, "31337");
    return line;
}

TrafficLine TrafficLine::onGround()
{
    TrafficLine line = airborne();
    line.set(kLatitude, "47.4580")
        .set(kLongitude, "8.5560")
        .set(kAltitude, "1425")
        .set(kVerticalSpeed, "0")
        .set(kGroundFlag, "1")
        .set(kTrack, "95")
        .set(kGroundSpeed, "12")
        .set(kGeometricAltitude, "1500")
        .set(kIndicatedAirspeed, "-1")
        .set(kTrueAirspeed, "-1")
        .set(kMach, "0")
        .set(kRoll, "0")
        .set(kTrueHeading, "95")
        .set(kNavQnh, "-1")
        .set(kNavAltitudeMcp, "-1")
        .set(kNavHeading, "-1")
        .set(kNavModes, "")
        .set(kWindDirection, "-1")
        .set(kWindSpeed, "-1")
        .set(kOutsideAirTemperature, "-1")
        .set(kTotalAirTemperature, "-1");
    return line;
}

TrafficLine& TrafficLine::set(std::size_t field, std::string value)
{
    if (field >= m_fields.size())
        m_fields.resize(field + 1);
    m_fields[field] = std::move(value);
    return *this;
}

TrafficLine& TrafficLine::set(std::size_t field, double value)
{
    return set(field, numberText(value));
}

TrafficLine& TrafficLine::truncate(std::size_t count)
{
    if (count < m_fields.size())
        m_fields.resize(count);
    return *this;
}

TrafficLine& TrafficLine::append(std::string value)
{
    m_fields.push_back(std::move(value));
    return *this;
}

TrafficLine& TrafficLine::appendNewerFields(std::string operatorCode)
{
    return append(std::move(operatorCode));
}

std::string operatorOfCallsign(const std::string& callsign)
{
    if (callsign.size() < 3)
        return "null";
    for (std::size_t i = 0; i < 3; ++i)
        if (callsign[i] < 'A' || callsign[i] > 'Z')
            return "null";
    return callsign.substr(0, 3);
}

std::string TrafficLine::text() const
{
    std::string out;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (i)
            out += ',';
        out += m_fields[i];
    }
    return out;
}

} // namespace rtstub
