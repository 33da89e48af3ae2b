#include "traffic/live_steps.hpp"

#include "airports/park_positions.hpp"

// Not built yet: each of these is filled in with the part of the traffic it
// belongs to. Until then a new aircraft stays new, the notifications wait in
// their queue and nothing moves.

void gf_processSimNotifications() {}

void lf_newAircraftStep(tzo::LiveAircraft& /*aircraft*/) {}

void lf_trackStep(tzo::LiveAircraft& /*aircraft*/) {}

void lf_moveTick(tzo::LiveAircraft& /*aircraft*/) {}

void gf_realiseParkingPlan() {}

void lf_ghostRule(const std::string& /*callsign*/) {}

void gf_startLiveryChange(tzo::LiveAircraft& /*aircraft*/) {}

void lf_afterTakeOff(tzo::LiveAircraft& /*aircraft*/) {}

bool lf_addRealOption(std::uint32_t /*standId*/, tzo::LiveAircraft& /*aircraft*/, bool /*useTracking*/,
                      bool /*endTracking*/, DayHour /*dayHour*/)
{
    return false;
}

void lf_markStandOccupied(std::uint32_t standId, bool occupied)
{
    if (tzo::ParkPos* stand = gf_standById(standId))
        stand->occupied = occupied;
}

void gf_setThrottle(tzo::AircraftRecord& /*aircraft*/, std::uint32_t /*state*/) {}

void gf_setSpoilers(tzo::AircraftRecord& /*aircraft*/, bool /*on*/) {}

void gf_setFlaps(tzo::AircraftRecord& /*aircraft*/, std::uint32_t /*state*/) {}

tzo::LiveStepHooks& tzo::gf_liveStepHooks()
{
    static LiveStepHooks hooks;
    return hooks;
}
