#include "refdata/aircraft_record.hpp"

#include "foundation/geometry.hpp"
#include "foundation/random.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

using tzo::kRadiansPerDegree;

tzo::AircraftRecord gf_makeAircraftRecord(const tzo::AircraftTexts& report)
{
    tzo::AircraftRecord record;
    static_cast<tzo::AircraftTexts&>(record) = report;
    record.category = tzo::AircraftCategory::Large;
    record.radius = gf_wingspanOf(report.model);
    const auto& values = gf_categoryValues(gf_modelCategory(report.model));
    record.flareSlots = values.flareSteps;
    record.onGroundSlots = values.touchdownSteps;
    record.rotationSlots = values.rotationSteps;
    record.climbSlots = values.climbPitchSteps;
    record.takeOffPitch = gf_randomJitter(values.rotationPitchDeg, 2.5) * kRadiansPerDegree;
    record.climbPitch = gf_randomJitter(values.climbPitchDeg, 5.0) * kRadiansPerDegree;
    return record;
}

void tzo::AircraftRecord::initAtStand(AircraftTexts report, std::uint32_t standIdentity,
                                     const StandPlace& place, bool standCargo)
{
    *this = gf_makeAircraftRecord(report);
    objectId = 0;
    stand = place;
    parkedSince = {};
    hexidCheck = 0;
    state = AircraftState::New;
    standId = standIdentity;
    throttleState = 5;
    flapsState = 4;
    standIsCargo = standCargo;
    planFlag = false;
    makesPlace = false;
}

std::string gf_formatAirlineType(std::string_view airline, std::string_view model)
{
    return fmt::format("{:3} {:4}", airline, model);
}

std::string gf_formatAirlineType(const tzo::AircraftTexts& record)
{
    return gf_formatAirlineType(std::string_view(record.airline), std::string_view(record.model));
}

std::string gf_callsignText(const tzo::AircraftTexts& record)
{
    return fmt::format("{:8}", record.callsign);
}

std::string gf_formatRoute(const tzo::AircraftTexts& record)
{
    if (record.departure.empty() && record.destination.empty())
        return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", record.departure, record.destination);
}

std::string gf_formatStatusLine(const tzo::AircraftTexts& record)
{
    return fmt::format("{} {:8} {} {}", gf_callsignText(record), record.registration, gf_formatAirlineType(record),
                       gf_formatRoute(record));
}

std::string gf_formatAircraftText(const tzo::AircraftTexts& record)
{
    return fmt::format("{} {} {}", gf_callsignText(record), record.registration, gf_formatAirlineType(record));
}
