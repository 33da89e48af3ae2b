#pragma once
// The live traffic's tables and its per-tick driver. The tables are owned by
// the main loop's thread: only the main loop, and the exit thread and start of
// operations while no main loop runs, touch them.

#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tzo {

// One entry of the static parking plan, realised one per creation slot.
struct ParkingPlanEntry {
    std::uint32_t status = 0;
    std::int32_t fitOffset = 0; // half-hours
    std::string airline;
    std::string type;
    std::uint32_t standId = 0;
    std::string firstCallsign;
    std::string secondCallsign;
    std::string registration;
    bool exempt = false;
    bool continues = false;
    // Put back because its stand still held an aircraft: since this tick.
    bool deferred = false;
    std::uint32_t deferredSinceTick = 0;
};

struct SoftLearningMark {
    std::uint32_t recordId = 0;
    std::uint32_t halfHour = 0;
};

// The band around the park airport's elevation in which a report neither
// makes a new aircraft nor feeds one not yet created: an aircraft just above
// its runways.
inline constexpr double kAirportBandFt = 120.0;

} // namespace tzo

// The main loop's copy of the user aircraft, refreshed by the live traffic
// once a second from the simulator's answers; zero until the first one.
extern tzo::UserAircraftState userAircraft;

extern std::vector<tzo::LiveAircraft> liveAircraft;
extern std::vector<tzo::AircraftRecord> staticAircraft;

// Creations and removals waiting for their slot (one creation per 500 ms,
// live first; one removal per 100 ms).
extern std::deque<tzo::CreateRequest> liveCreateQueue;
extern std::deque<tzo::CreateRequest> staticCreateQueue;
extern std::deque<std::uint32_t> removalQueue; // object ids
// Record ids of live aircraft whose create request is to be built; newest last.
extern std::vector<std::uint32_t> idsToCreate;

// Record ids of new and landed live aircraft that wait for their per-second
// follow-up (the arrivals list).
extern std::deque<std::uint32_t> newLiveIds;

// Models for which no livery matched, with how often; written to the log and
// emptied every 20 minutes, and never longer than kMostNoMatches.
extern std::map<std::string, int> noMatches;
inline constexpr std::size_t kMostNoMatches = 1000;

// The livery title last chosen for a live aircraft, by record id. Past
// kMostRememberedLiveries, the titles of aircraft no longer live are forgotten.
extern std::unordered_map<std::uint32_t, std::string_view> liveLiveryCache;
inline constexpr std::size_t kMostRememberedLiveries = 4096;

// Callsigns with a trailing "_" given up as ghosts; one goes when no live
// aircraft has its callsign without the "_" any more.
extern std::vector<std::string> ghostTexts;

// Notifications waiting for the all-lights toggles of new objects.
extern std::vector<tzo::SimNotification> pendingLights;
extern std::vector<tzo::SoftLearningMark> softLearningThrottle;
// Notes that the aircraft learned at a stand in this half-hour, so the throttle
// keeps it from learning there again before the next one. A new mark takes
// out the marks of aircraft no longer in liveAircraft.
void gf_noteSoftLearning(std::uint32_t recordId, std::uint32_t halfHour);
// The record ids of liveAircraft.
std::unordered_set<std::uint32_t> gf_liveRecordIds();
extern std::vector<tzo::ParkingPlanEntry> staticParkingPlan;

// Set while an aircraft flares; the request for the aircraft around the user
// then runs every 20 ticks instead of every 100.
extern bool landingInProgress;

// The live aircraft with that record id, or null.
tzo::LiveAircraft* gf_findLiveAircraft(std::uint32_t recordId);

// One tick of the live traffic; the main loop calls it every 10 ms while the
// simulator's flight runs. The tick counter is liveTickCounter
// (realtraffic/traffic_queue.hpp), advanced as the tick's last step.
void gf_liveTraffic();

// Opens or closes the traffic queue's intake: reports parsed while no flight
// runs are not queued.
void gf_setFlightRunning(bool running);

// Clears all traffic state: the tables, queues and lists above, the traffic
// queue, the park airport's state, its stands and their update count, what
// static parking handed the stand tests, and the QNH (back to 1013). Only
// while no main loop runs.
void gf_resetTraffic();

// The intake of one report: an update of the live aircraft with its hexid, or
// a new live aircraft, or nothing.
void gf_takeReport(tzo::TrafficRecord report);

// Whether a report passes the band test around the park airport's elevation.
bool gf_passesAirportBand(double altitudeFt);

// Whether aircraft of the category are flown: the light, rotorcraft and high
// performance kinds only while their settings are on, any unknown kind never.
bool gf_categoryWanted(tzo::AircraftCategory category);

// The create request of the live aircraft with that record id at the back of
// the live create queue; nothing when no such aircraft exists.
void gf_buildCreateRequest(std::uint32_t recordId);
