#pragma once
// The motion of a live aircraft between its samples, tick by tick, and the
// phases in the air: take-off run and rotation, climb-out, flight, approach,
// flare, touchdown and roll-out, with the commands that belong to them.
// Main-loop thread only. lf_moveTick and lf_afterTakeOff are declared with
// the live steps.

#include "traffic/live_aircraft.hpp"

#include <cstdint>

// The ground segment's phase and throttle rules and the take-off decision.
void lf_takeOffCheck(tzo::LiveAircraft& aircraft);
// Rotation: the aircraft leaves the ground.
void lf_takeOff(tzo::LiveAircraft& aircraft, double climbRate);
// Configuration while rolling out after landing.
void lf_rollOut(tzo::LiveAircraft& aircraft);
// The segment in the air toward the next sample, lasting ticks.
void lf_airSegment(tzo::LiveAircraft& aircraft, std::int32_t ticks);
void lf_highConfig(tzo::LiveAircraft& aircraft);
void lf_lowConfig(tzo::LiveAircraft& aircraft);
// Feet per minute for the last part of a landing.
double lf_touchdownRate(const tzo::LiveAircraft& aircraft);
// The aircraft has come down on the ground, whichever way that was seen
// (the simulator's answer, its height over the simulator's ground, a ground
// sample reached): the landing is logged, braked, listed for the arrival
// checks, and pitch and bank settle. Once per landing.
void lf_touchdown(tzo::LiveAircraft& aircraft);
bool lf_allFollowingAirborne(const tzo::LiveAircraft& aircraft);
bool lf_liftOffSpeedReached(const tzo::LiveAircraft& aircraft);
void lf_trackClimb(tzo::LiveAircraft& aircraft);
bool lf_climbTo(tzo::LiveAircraft& aircraft, std::size_t k);
void lf_bankForTurn(tzo::LiveAircraft& aircraft, double turn, std::int32_t ticks);
// The fast refresh runs exactly while some live aircraft flares.
void gf_updateLandingInProgress();
// Wraps a longitude difference into -180..180 degrees, so that a segment
// across the date line goes the short way.
double gf_wrapLongitudeDelta(double delta);
