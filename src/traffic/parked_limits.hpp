#pragma once
// The parked aircraft of the park airport within the park limit: live
// aircraft parked at stands and static aircraft together; live aircraft
// parked too long end their stay; the live aircraft at stands for the
// renewal; counts and mean parked times for the window. Main loop only.

#include "traffic/live_aircraft.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tzo {

// A live aircraft parked at a stand, as the renewal sees it.
struct LiveStayer {
    std::string callsign;
    std::int64_t minutesParked = 0; // 0 while it is still moving in
    std::uint32_t standId = 0;
};

} // namespace tzo

// The park limit: the wanted number of parked aircraft last worked out (0
// until it was); the window shows it.
extern std::atomic<std::int64_t> wantedParkedShown;
// The mean time (hours) the parked live aircraft have stood, as
// gf_countLiveParked last worked it out with update set; -1 before.
extern std::atomic<float> liveParkedMeanHours;

// Keeps the parked aircraft within the park limit after one was parked
// (extra 0) or before one more is (extra 1): at most one live aircraft, the
// one parked longest, and one static aircraft, the one placed earliest, go.
void gf_limitParked(bool extra);
// The live aircraft parked at stands, shortest parked first; those parked
// too long (90 minutes, 180 for heavies) are removed instead unless
// INITIAL_LOAD_ONLY is on.
void lf_collectLiveStayers(std::vector<tzo::LiveStayer>& stayers);
// Removes the n live aircraft parked longest.
void lf_removeLiveStayers(std::int64_t n);
// The number of parked live aircraft; with update also their mean time.
int gf_countLiveParked(bool update);

// Whole minutes since the aircraft was seen at its stand (steady clock).
std::int64_t gf_minutesParked(const tzo::LiveAircraft& aircraft);
