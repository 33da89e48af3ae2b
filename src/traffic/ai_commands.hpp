#pragma once
// Commands of an AI aircraft in the simulator: spoilers, flaps, gear and
// throttle while it moves, and the shutdown when it comes to rest at a stand.
// They only queue client events (under simQueueMutex); the simulator
// connection sends them with its next frame. Also the small stand helpers
// the traffic, learning and parking share.

#include "airports/park_pos.hpp"
#include "foundation/time.hpp"
#include "refdata/aircraft_record.hpp"

#include <cstdint>
#include <string_view>

// gf_setThrottle, gf_setSpoilers and gf_setFlaps are declared with the live
// steps (traffic/live_steps.hpp). A state outside its table raises
// std::out_of_range before anything is queued or stored.
void gf_setGear(tzo::AircraftRecord& aircraft, std::uint8_t down);
// Throttle 0, flaps 0, engines off and the parked lights.
void gf_shutdownAtStand(tzo::AircraftRecord& aircraft);

// The first stand of the park airport with exactly that name, or null.
tzo::ParkPos* lf_findStandByName(std::string_view name);
// The soft learning throttle: false while the aircraft's last pass lies less
// than three half-hours back; otherwise the pass is stored and true answered.
bool lf_passSoftLearningThrottle(DayHour now, std::uint32_t recordId);
// Marks the stand taken and its neighbours blocked.
void lf_markAdjacentStands(tzo::ParkPos& stand);
