#pragma once
// AI aircraft must not stand in each other or in the user's aircraft: the
// stands next to the one a live aircraft takes, static aircraft in a moving
// live aircraft's way, and AI aircraft near the user in the air and on the
// ground. Every rule compares a sum of half wingspans (nautical miles) with a
// great-circle distance. Main loop only.

#include "airports/park_pos.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstddef>
#include <vector>

// A live aircraft parked in the simulator at a stand next to the candidate,
// with another callsign, that the newcomer would touch: the stand is refused.
bool lf_isBlockedByAdjacentLive(const tzo::LiveAircraft& aircraft, const tzo::ParkPos& stand);
// The static aircraft at the stand makes place; at each neighbour the first
// static aircraft in the simulator that the live aircraft would touch goes.
void gf_clearStandForLive(const tzo::LiveAircraft& aircraft, const tzo::ParkPos& stand);
// A taxiing live aircraft takes the free stand at its newest sample (within
// 20 m, or 55 m with option matching when wide), unless that sample was
// tested before or the stand is kept for the user: live aircraft parked at
// the stand and touching ones at its neighbours go, static aircraft make
// place, the aircraft gets the stand and moves into it. True when it did.
bool gf_taxiIntoStand(tzo::LiveAircraft& aircraft, bool wide);
// Removes the static aircraft when it stands within 1.1 times the two half
// spans of the moving live aircraft; true when it did.
bool gf_avoidCollisionWithLive(const tzo::LiveAircraft& live, tzo::AircraftRecord& parked);

// The static aircraft in the simulator by the latitudes of their stands, so
// that a pass over the live aircraft measures each only against the static
// ones it may touch: a great-circle distance is never shorter than the arc
// between the two latitudes, nor (a few degrees of longitude apart) than the
// arc between the longitudes along the parallel nearer the pole.
namespace tzo {
class NearStaticIndex {
public:
    void rebuild(const std::vector<tzo::AircraftRecord>& statics);
    // Indexes into the table last given to rebuild, ascending: every static
    // aircraft for which gf_avoidCollisionWithLive could answer true with the
    // live aircraft; it answers false for all the others.
    void candidates(const tzo::LiveAircraft& live, std::vector<std::size_t>& out) const;

private:
    struct Entry {
        double latitude;
        double longitude;
        double cosLatitude;
        double radius;
        std::size_t index;
    };
    std::vector<Entry> m_byLatitude;
    // A position or span that is no number is measured every time, as before.
    std::vector<std::size_t> m_always;
    double m_largestRadius = 0.0;
};
} // namespace tzo
// Removes the live aircraft when it threatens the airborne user; true when it did.
bool gf_avoidUserCollisionAir(tzo::LiveAircraft& aircraft);
// Removes at most one AI aircraft near the user on the ground.
void gf_avoidUserCollisionGround();

// Half the user's wingspan; the Large average until the model is known.
double gf_userHalfSpanOrAverage();
// Forgets the user position of the last static test (a reset of the traffic).
void gf_resetUserCollisionMark();
