#include "traffic/live_steps.hpp"

#include "airports/park_positions.hpp"

// Not built yet: each of these is filled in with the part of the traffic it
// belongs to. Until then nothing moves. The new-aircraft step and the ghost
// rule are in new_aircraft.cpp, the notifications in sim_events.cpp, the
// commands in ai_commands.cpp, the livery change in stand_arrival.cpp and
// the learning in stand_learning.cpp.

void lf_markStandOccupied(std::uint32_t standId, bool occupied)
{
    if (tzo::ParkPos* stand = gf_standById(standId))
        stand->occupied = occupied;
}

tzo::LiveStepHooks& tzo::gf_liveStepHooks()
{
    static LiveStepHooks hooks;
    return hooks;
}
