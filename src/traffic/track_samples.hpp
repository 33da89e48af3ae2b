#pragma once
// What a report does to a live aircraft that exists: the report checks
// (names completed while new, a new callsign or route making a new flight
// once in the simulator) and the adding of its position block to the sample
// queue by rules that depend on the movement phase.

#include "realtraffic/traffic_record.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstddef>

namespace tzo {

// A live aircraft never holds more samples than this; a report beyond gives
// the aircraft up.
inline constexpr std::size_t kMaxSamples = 200;

// Distances of the stand watch, nautical miles.
inline constexpr double kStandNearRadiusNm = 0.0458963282937365; // 85 m
inline constexpr double kStandStepNm = 0.0016198704103671706;    // 3 m
inline constexpr double kStandAwayNm = 0.10799136069114472;      // 200 m

} // namespace tzo

// True when the report is accepted; may rename the aircraft, change its route
// or, for a new flight with GUID_CHANGES on, queue its object for removal.
bool gf_reportChecks(tzo::LiveAircraft& aircraft, const tzo::TrafficRecord& report);

// The route update of a new aircraft: a reported destination or departure
// that differs replaces the aircraft's.
void lf_updateRoute(tzo::LiveAircraft& aircraft, const tzo::TrafficRecord& report);
// The route change test of an aircraft in the simulator; true when changed.
bool lf_routeChanged(tzo::LiveAircraft& aircraft, const tzo::TrafficRecord& report);

// Adds the sample to the aircraft's queue by the rules of its phase (the
// sample may be changed, refused or may replace others).
void gf_addSample(tzo::LiveAircraft& aircraft, tzo::TrackSample sample);

// The filters and the stand watch, each against the aircraft's last sample;
// true when the sample goes on.
bool lf_stationaryFilter(tzo::LiveAircraft& aircraft, tzo::TrackSample& sample);
bool lf_approachFilter(tzo::LiveAircraft& aircraft, tzo::TrackSample& sample);
bool lf_standWatch(tzo::LiveAircraft& aircraft, tzo::TrackSample& sample);
// The aircraft leaves its stand: what it taught about the stand is learned
// and the stand is free again.
void lf_leaveStand(tzo::LiveAircraft& aircraft);
