#pragma once
// The park airport's stand table and what other threads may see of it.
//
// parkPositions belongs to the main loop: it fills the table, and the live
// traffic and static parking read and mark it without locks (the exit thread
// saves it only after the main loop has stopped). The simulator connection
// thread also asks for the stand under the user aircraft; it never touches
// the table but reads a snapshot of the stands' names and positions, which
// the main loop publishes after every change of the table (filling,
// replacing, clearing; marks and options are no change of it).

#include "airports/park_pos.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The stands of the current park airport, in file order; a stand's id is its
// 1-based place here.
extern std::vector<tzo::ParkPos> parkPositions;

// Stand changes learned since the park airport's file was last saved; a count
// above 0 makes closing the park airport save it.
extern std::atomic<std::int32_t> standUpdateCount;

namespace tzo {

// Name and position of one stand, as the snapshot holds it.
struct StandPlaceName {
    std::string name;
    double latitude = 0.0;
    double longitude = 0.0;
};

// One published state of the table. The generation grows with every
// publication, so an answer cached for one table is never taken for another.
struct StandPlaces {
    std::uint64_t generation = 0;
    std::vector<StandPlaceName> stands;
};

} // namespace tzo

// Main loop: replaces the table by these stands and publishes it.
void gf_setParkPositions(std::vector<tzo::ParkPos> stands);
// Main loop: empties the table and publishes the empty table.
void gf_clearParkPositions();
// Main loop: publishes the table after it was changed in place.
void gf_publishParkPositions();

// Any thread: the last published snapshot (never null).
std::shared_ptr<const tzo::StandPlaces> gf_standPlaces();

// The stand with that id, or null when the id names no stand of the table.
tzo::ParkPos* gf_standById(std::uint32_t id);

// Works out again which stands touch this one of the table (after its radius
// changed): its own adjacency list and its place in the others' lists.
void gf_workOutAdjacencyAround(tzo::ParkPos& stand);

// The name of the stand with that id for log lines: "sid==0?" for id 0,
// "unknown" for an id that names no stand.
std::string gf_standNameOfId(std::uint32_t id);
