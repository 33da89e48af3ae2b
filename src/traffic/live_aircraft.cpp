#include "traffic/live_aircraft.hpp"

#include "traffic/stand_holding.hpp"

#include <array>
#include <stdexcept>
#include <utility>

namespace {

constexpr double kDeg = 0.017453292519943295;

constexpr std::array<tzo::LiveCategoryValues, tzo::kCategoryCount> kLiveCategoryValues = {{
    // Light: 0.15 degree per tick
    {0.0026179938779914941, 0.5, 5.0, 4.0, 10.0, 90.0, 0.01 * kDeg, 40.0 * kDeg, 0.035 * kDeg},
    // Buzjets: 0.10
    {0.0017453292519943296, 0.75, 4.5, 6.0, 15.0, 110.0, 0.0085 * kDeg, 35.0 * kDeg, 0.0275 * kDeg},
    // Large: 0.07
    {0.0012217304763960306, 0.6, 4.0, 10.0, 15.0, 140.0, 0.0075 * kDeg, 30.0 * kDeg, 0.02 * kDeg},
    // Heavy: 0.05
    {0.00087266462599716477, 0.5, 3.0, 14.0, 12.0, 150.0, 0.005 * kDeg, 20.0 * kDeg, 0.015 * kDeg},
    // HighPerf: 0.10
    {0.0017453292519943296, 1.0, 4.5, 6.0, 15.0, 220.0, 0.03 * kDeg, 90.0 * kDeg, 0.1 * kDeg},
    // Rotorcraft: 0.20
    {0.0034906585039886587, 0.75, 5.0, 4.0, 8.0, 0.0, 0.03 * kDeg, 75.0 * kDeg, 0.06 * kDeg},
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
    lastHeardSpeed = report.groundSpeed;
    samples.push_back(gf_sampleOf(report));
    reportsCarryRates = report.airborne && report.verticalSpeed != 0.0;
}

void LiveAircraft::setPhase(std::uint32_t phase)
{
    const bool held = gf_holdsStand(*this);
    previousPhase = movementPhase;
    movementPhase = phase;
    if (held && !gf_holdsStand(*this))
        gf_refreshStandOccupied(standId);
}

const LiveCategoryValues& gf_liveCategoryValues(AircraftCategory category)
{
    return kLiveCategoryValues.at(static_cast<std::size_t>(category));
}

} // namespace tzo
