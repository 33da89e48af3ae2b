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
