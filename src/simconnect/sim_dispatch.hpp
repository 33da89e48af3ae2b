#pragma once
// The dispatch procedure: turns every message of the simulator into the
// program's state (flight running, the user aircraft, AI objects appearing
// and vanishing, answers to requests, the frame rhythm) and hands what the
// main loop must act on over as SimNotifications. Runs on the connection
// thread only.

#include "refdata/aircraft_category.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/simconnect.hpp"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Whether the first answer about the user aircraft's ground state has come
// (userOnGround itself lives with the run state).
extern std::atomic<bool> userOnGroundKnown;
// Simulator zulu date and time as Unix seconds, kept while rtProfessional is set.
extern std::atomic<std::int64_t> simTimeUnix;
// Set by the RealTraffic link when its partner wants the simulator's time.
extern std::atomic<bool> rtProfessional;

// Aircraft announced by "ObjectAdded" whose data has not come yet; the
// connection thread's alone.
extern std::vector<std::uint32_t> addedObjectIds;

// The user aircraft's title (at most 48 bytes, never a split character).
std::string gf_userTitle();
// The name of the park-airport stand under the user aircraft, empty if none.
std::string gf_userStandName();
// Half the user aircraft's wingspan in nautical miles; none before its model is known.
std::optional<double> gf_userHalfWingspanNm();
tzo::AircraftCategory gf_userCategory();

// Handed to SimConnect_CallDispatch; the context is not used. Handlers may
// throw tzo::UserErrorException, which ends the connection thread.
void lf_dispatch(SimConnectRecv* pData, std::uint32_t cbData, void* pContext);

// Remembers the stand the user stands at as the park airport's user stand.
void lf_rememberUserStand();

// Internal to the layer.
void lf_reserveAddedObjects(std::size_t count);
void lf_resetDispatchState();
