#pragma once
// The segment step of a live aircraft: when it reaches its front sample it
// starts toward the next, timed by the samples' speeds within its
// allowances; a track that has run out is extrapolated or the aircraft
// removed. lf_trackStep is declared with the live steps.

#include "traffic/live_aircraft.hpp"

#include <cstdint>

void lf_startSegment(tzo::LiveAircraft& aircraft);
// False when the aircraft is to be removed.
bool lf_extrapolateTrack(tzo::LiveAircraft& aircraft);
void lf_appendExtrapolatedSample(tzo::LiveAircraft& aircraft, std::int32_t count);
void lf_setDueTick(tzo::LiveAircraft& aircraft, std::int32_t ticks);
// Knots; at least 1.
double lf_segmentSpeed(const tzo::LiveAircraft& aircraft);
void lf_airStep(tzo::LiveAircraft& aircraft);
// Radians, -pi..pi; 0 with fewer than three samples.
double lf_turnBetweenLegs(const tzo::LiveAircraft& aircraft);
// The point reached from position along bearing (radians) after feet.
tzo::LatLon gf_destinationPoint(const tzo::LatLon& position, double bearing, double feet);
