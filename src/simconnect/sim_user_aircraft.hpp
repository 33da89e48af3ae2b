#pragma once
// What the simulator tells of the user's aircraft: its state (request 109),
// ground state (108), title (106) and model (107), read by other threads
// through the getters below. The handlers run on the connection thread.

#include "refdata/aircraft_category.hpp"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Whether the first answer about the user aircraft's ground state has come
// (userOnGround itself lives with the run state).
extern std::atomic<bool> userOnGroundKnown;
// Simulator zulu date and time as Unix seconds, kept while rtProfessional is set.
extern std::atomic<std::int64_t> simTimeUnix;
// Set by the RealTraffic link when its partner wants the simulator's time.
extern std::atomic<bool> rtProfessional;

// The user aircraft's title (at most 48 bytes, never a split character).
std::string gf_userTitle();
// The name of the park-airport stand under the user aircraft, empty if none.
std::string gf_userStandName();
// Half the user aircraft's wingspan in nautical miles; none before its model is known.
std::optional<double> gf_userHalfWingspanNm();

// Remembers the stand the user stands at as the park airport's user stand.
void lf_rememberUserStand();

// The handlers, internal to the layer. lf_onUserState answers false (and
// does nothing) when the data is too short; lf_onUserModel may throw
// tzo::UserErrorException.
bool lf_onUserState(std::span<const std::uint8_t> data, std::uint32_t objectId);
void lf_onUserOnGround(std::uint32_t onGround);
void lf_onUserTitle(std::string title);
void lf_onUserModel(std::string model);
void lf_resetUserAircraft();
