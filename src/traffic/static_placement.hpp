#pragma once
// The parking plan made real: one entry per creation slot becomes a static
// aircraft at its stand with a matched livery, queued for creation with a
// callsign ending in "*". Main loop only. gf_realiseParkingPlan is declared
// with the live steps.

#include "traffic/live_traffic.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// The next static record id: 1 to 9999, then 1 again, passing over ids that
// a static aircraft still holds. 0 is never given out: it reads as "no
// pending creation" in the simulator layer.
std::uint32_t gf_nextStaticRecordId();
// Starts the ids again at 1 (a reset of the traffic).
void gf_resetStaticRecordIds();

// The callsign of a static aircraft: the entry's first callsign when it
// continues, else its second, without trailing "_", cut to 10 bytes (whole
// characters) and followed by "*".
std::string lf_staticCallsign(const tzo::ParkingPlanEntry& entry);
// The text cut to at most maxBytes without splitting a UTF-8 character.
std::string gf_cutUtf8(std::string_view text, std::size_t maxBytes);

// How long an entry whose stand still holds an aircraft waits before it is dropped.
inline constexpr std::uint32_t kStandWaitTicks = 3000; // 30 s
