#include "traffic/live_steps.hpp"

#include "airports/park_positions.hpp"

// Each step lives with the part of the traffic it belongs to (new_aircraft,
// track_following, motion, sim_events, ai_commands, stand_arrival,
// stand_learning, duplicates, parked_limits, static_placement); here are only
// the stand mark and the table of entries.

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
