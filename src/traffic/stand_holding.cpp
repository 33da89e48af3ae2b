#include "traffic/stand_holding.hpp"

#include "airports/park_positions.hpp"
#include "traffic/live_traffic.hpp"

#include <algorithm>

bool gf_holdsStand(const tzo::LiveAircraft& aircraft)
{
    return aircraft.standId != 0 &&
           (aircraft.movementPhase == tzo::kPhaseToStand || aircraft.movementPhase == tzo::kPhaseParked) &&
           aircraft.state != tzo::AircraftState::BeingRemoved;
}

void gf_takeStand(tzo::LiveAircraft& aircraft, tzo::ParkPos& stand)
{
    const std::uint32_t before = gf_holdsStand(aircraft) ? aircraft.standId : 0;
    aircraft.stand = {stand.latitude, stand.longitude, stand.heading};
    aircraft.standId = stand.id;
    aircraft.standIsCargo = stand.cargo;
    stand.occupied = true;
    if (before != 0 && before != stand.id)
        gf_refreshStandOccupied(before);
}

void gf_refreshStandOccupied(std::uint32_t standId)
{
    tzo::ParkPos* stand = gf_standById(standId);
    if (stand == nullptr)
        return;
    stand->occupied = std::any_of(liveAircraft.begin(), liveAircraft.end(), [standId](const tzo::LiveAircraft& a) {
        return a.standId == standId && gf_holdsStand(a);
    });
}
