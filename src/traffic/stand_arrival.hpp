#pragma once
// A live aircraft and its stand: the way into a stand it took while taxiing;
// reaching it (within 2 m) it parks, shuts down, is queued for the couple
// search, learns a real option and the park limit is kept; a cargo aircraft
// marks its stand a cargo stand. Also the livery change that replaces an aircraft's object for a new
// flight. Main loop only.

#include "airports/park_pos.hpp"
#include "refdata/aircraft_record.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <deque>

namespace tzo {
// Knots: an aircraft moves into and out of its stand no faster.
inline constexpr double kStandWalkingKt = 4.0;
} // namespace tzo

// Record ids of live aircraft whose coupled-callsign search is due (approach
// start, arrival at a stand); the main loop serves one per tick.
extern std::deque<std::uint32_t> coupleSearchIds;
// Takes the front id and runs the couple search once for its aircraft.
void gf_serveCoupleSearch();

// Whether live aircraft may take stands by taxiing in.
extern bool liveParkingOn;

// The arrival check of an aircraft moving into its stand whose track ran out.
void lf_arriveAtStand(tzo::LiveAircraft& aircraft);
// A cargo aircraft marks its stand a cargo stand (counted, logged).
void lf_learnCargoStand(tzo::AircraftRecord& aircraft);
// The way into the stand for an aircraft at rest, at walking pace and slowing
// over the last metres: a sample at the stand and a stationary one after it.
void lf_appendStandSamples(tzo::LiveAircraft& aircraft, const tzo::StandPlace& stand);
// gf_startLiveryChange is declared with the live steps.
