#pragma once
// The steps of the live traffic that the driver and the sample intake call
// and that belong to the aircraft's later life: new aircraft, the simulator's
// notifications, movement, learning, stand marks, commands and the ghost
// rule. Each is a plain function of this library.

#include "airports/park_pos.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <string>

// Takes in the simulator's notifications and works off the pending lights.
void gf_processSimNotifications();
// The new-aircraft step of a live aircraft in state new.
void lf_newAircraftStep(tzo::LiveAircraft& aircraft);
// The segment step, when the tick has reached the front sample's due tick.
void lf_trackStep(tzo::LiveAircraft& aircraft);
// The per-tick motion between samples.
void lf_moveTick(tzo::LiveAircraft& aircraft);
// Realises the last entry of the static parking plan.
void gf_realiseParkingPlan();
// The ghost rule for a callsign without a trailing "_".
void lf_ghostRule(const std::string& callsign);
// Starts a livery change: the aircraft's object is replaced.
void gf_startLiveryChange(tzo::LiveAircraft& aircraft);
// The start of a take-off run.
void lf_afterTakeOff(tzo::LiveAircraft& aircraft);
// Learns that the aircraft stood at the stand; true when an option changed.
bool lf_addRealOption(std::uint32_t standId, tzo::LiveAircraft& aircraft, bool useTracking, bool endTracking,
                      DayHour dayHour);
// Marks a stand of the park airport occupied or free; nothing for an id that
// names no stand.
void lf_markStandOccupied(std::uint32_t standId, bool occupied);
// Commands of an AI aircraft.
void gf_setThrottle(tzo::AircraftRecord& aircraft, std::uint32_t state);
void gf_setSpoilers(tzo::AircraftRecord& aircraft, bool on);
void gf_setFlaps(tzo::AircraftRecord& aircraft, std::uint32_t state);
// A new aircraft wants the stand: the callsign contest with the live aircraft
// parked there and the test of the adjacent stands; false refuses the stand.
bool lf_standContest(tzo::LiveAircraft& aircraft, tzo::ParkPos& stand);
// The limit on parked aircraft after a new one was parked.
void lf_parkedLimit(tzo::LiveAircraft& aircraft);

namespace tzo {

// The steps the driver and the sample intake call, as replaceable entries:
// tests put a recorder or a failing step in their place. Each entry starts as
// the named function above.
struct LiveStepHooks {
    void (*processSimNotifications)() = ::gf_processSimNotifications;
    void (*newAircraftStep)(LiveAircraft&) = ::lf_newAircraftStep;
    void (*trackStep)(LiveAircraft&) = ::lf_trackStep;
    void (*moveTick)(LiveAircraft&) = ::lf_moveTick;
    void (*realiseParkingPlan)() = ::gf_realiseParkingPlan;
    void (*ghostRule)(const std::string&) = ::lf_ghostRule;
    void (*startLiveryChange)(LiveAircraft&) = ::gf_startLiveryChange;
    void (*afterTakeOff)(LiveAircraft&) = ::lf_afterTakeOff;
    bool (*standContest)(LiveAircraft&, ParkPos&) = ::lf_standContest;
    void (*parkedLimit)(LiveAircraft&) = ::lf_parkedLimit;
};

// The entries in force; main-loop thread only. Installing a default-made
// struct puts the named functions back.
LiveStepHooks& gf_liveStepHooks();

} // namespace tzo
