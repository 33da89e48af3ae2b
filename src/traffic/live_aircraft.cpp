#include "traffic/live_aircraft.hpp"

#include <array>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::array<tzo::LiveCategoryValues, tzo::kCategoryCount> kLiveCategoryValues = {{
    {0.0026179938779914941, 0.5, 5.0},  // Light: 0.15 degree per tick
    {0.0017453292519943296, 0.75, 4.5}, // Buzjets: 0.10
    {0.0012217304763960306, 0.6, 4.0},  // Large: 0.07
    {0.00087266462599716477, 0.5, 3.0}, // Heavy: 0.05
    {0.0017453292519943296, 1.0, 4.5},  // HighPerf: 0.10
    {0.0034906585039886587, 0.75, 5.0}, // Rotorcraft: 0.20
}};

} // namespace

namespace tzo {

TrackSample gf_sampleOf(const TrafficRecord& report)
{
    TrackSample s;
    s.latitude = report.latitude;
    s.longitude = report.longitude;
    s.bank = report.bank;
    s.bankKnown = report.bankPresent;
    s.trueHeading = report.trueHeading;
    s.headingKnown = report.trueHeadingPresent;
    s.altitude = report.altitude;
    s.groundSpeed = report.groundSpeed;
    s.track = report.track;
    s.verticalSpeed = report.verticalSpeed;
    s.trueAirspeed = report.trueAirspeed;
    // The queue stamps each record with its arrival tick plus 3000: the tick
    // at which the aircraft is to be where the report saw it.
    s.dueTick = report.expiryTick;
    s.airborne = report.airborne;
    s.stationary = report.stationary;
    s.headingParsed = report.headingFromAdsb;
    return s;
}

LiveAircraft::LiveAircraft(const TrafficRecord& report, AircraftRecord record, double timestamp)
    : AircraftRecord(std::move(record))
{
    objectId = 0;
    standId = 0;
    state = AircraftState::New;
    throttleState = 5;
    flapsState = 4;
    lastReportTime = timestamp;
    samples.push_back(gf_sampleOf(report));
}

const LiveCategoryValues& gf_liveCategoryValues(AircraftCategory category)
{
    return kLiveCategoryValues.at(static_cast<std::size_t>(category));
}

} // namespace tzo
