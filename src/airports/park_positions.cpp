#include "airports/park_positions.hpp"

#include <algorithm>
#include <mutex>

std::vector<tzo::ParkPos> parkPositions;
std::atomic<std::int32_t> standUpdateCount{0};

namespace {

std::mutex g_placesMutex;
std::shared_ptr<const tzo::StandPlaces> g_places = std::make_shared<const tzo::StandPlaces>();
std::uint64_t g_generation = 0; // under g_placesMutex

} // namespace

void gf_publishParkPositions()
{
    auto places = std::make_shared<tzo::StandPlaces>();
    places->stands.reserve(parkPositions.size());
    for (const tzo::ParkPos& stand : parkPositions)
        places->stands.push_back({stand.name, stand.latitude, stand.longitude});
    std::lock_guard lock(g_placesMutex);
    places->generation = ++g_generation;
    g_places = std::move(places);
}

void gf_setParkPositions(std::vector<tzo::ParkPos> stands)
{
    parkPositions = std::move(stands);
    gf_publishParkPositions();
}

void gf_clearParkPositions()
{
    parkPositions.clear();
    gf_publishParkPositions();
}

std::shared_ptr<const tzo::StandPlaces> gf_standPlaces()
{
    std::lock_guard lock(g_placesMutex);
    return g_places;
}

tzo::ParkPos* gf_standById(std::uint32_t id)
{
    if (id == 0 || id > parkPositions.size())
        return nullptr;
    return &parkPositions[id - 1];
}

void gf_workOutAdjacencyAround(tzo::ParkPos& stand)
{
    stand.adjacent.clear();
    for (tzo::ParkPos& other : parkPositions) {
        if (&other == &stand)
            continue;
        const bool touch = gf_standsTouch(stand, other);
        if (touch)
            stand.adjacent.push_back(other.id);
        // The lists stay in table order.
        const auto listed = std::find(other.adjacent.begin(), other.adjacent.end(), stand.id);
        if (touch && listed == other.adjacent.end())
            other.adjacent.insert(std::lower_bound(other.adjacent.begin(), other.adjacent.end(), stand.id), stand.id);
        else if (!touch && listed != other.adjacent.end())
            other.adjacent.erase(listed);
    }
}

std::string gf_standNameOfId(std::uint32_t id)
{
    if (id == 0)
        return "sid==0?";
    const tzo::ParkPos* stand = gf_standById(id);
    return stand ? stand->name : "unknown";
}
