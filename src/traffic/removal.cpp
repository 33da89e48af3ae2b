#include "traffic/removal.hpp"

#include "foundation/log.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"

#include <fmt/format.h>

void gf_removeAircraft(tzo::AircraftRecord& aircraft)
{
    if (aircraft.standId != 0)
        lf_markStandOccupied(aircraft.standId, false);
    aircraft.state = tzo::AircraftState::BeingRemoved;
    if (aircraft.objectId != 0)
        removalQueue.push_back(aircraft.objectId);
    else
        gf_logLineMarked(fmt::format("removing act {} with objectId=0 ?", gf_formatStatusLine(aircraft)));
}

std::string gf_callsignText(const tzo::AircraftRecord& aircraft)
{
    return fmt::format("{:8}", aircraft.callsign);
}

std::string gf_formatRoute(const tzo::AircraftRecord& aircraft)
{
    if (aircraft.departure.empty() && aircraft.destination.empty())
        return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", aircraft.departure, aircraft.destination);
}

std::string gf_formatStatusLine(const tzo::AircraftRecord& aircraft)
{
    return fmt::format("{} {:8} {} {}", gf_callsignText(aircraft), aircraft.registration,
                       gf_formatAirlineType(aircraft), gf_formatRoute(aircraft));
}
