#pragma once
// Ground movement of a live aircraft: taxi legs and curves, the timing of a
// taxi segment, and leaving a stand by push back or pull out.

#include "traffic/live_aircraft.hpp"

void lf_taxiStep(tzo::LiveAircraft& aircraft);
// Turn rates in radians per tick, angles in degrees.
void lf_retimeTaxi(tzo::LiveAircraft& aircraft);
void lf_pushBack(tzo::LiveAircraft& aircraft);
void lf_pullOut(tzo::LiveAircraft& aircraft);
// A curve from the aircraft through the next sample to the one after it,
// turning by angle degrees; the control sample leaves the queue.
void lf_buildCurve(tzo::LiveAircraft& aircraft, double angle);
void lf_insertMidpoint(tzo::LiveAircraft& aircraft);
void lf_splitSpeedChange(tzo::LiveAircraft& aircraft);
