#include "traffic/removal.hpp"

#include "airports/park_airport_hooks.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_holding.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace {

tzo::LiveAircraft* lf_asLive(tzo::AircraftRecord& record)
{
    for (tzo::LiveAircraft& a : liveAircraft)
        if (static_cast<tzo::AircraftRecord*>(&a) == &record)
            return &a;
    return nullptr;
}

} // namespace

bool gf_removeQueuedCreation(std::uint32_t recordId)
{
    const auto waiting = idsToCreate.size();
    std::erase(idsToCreate, recordId);
    const auto queued = liveCreateQueue.size();
    std::erase_if(liveCreateQueue, [&](const tzo::CreateRequest& r) { return r.recordId == recordId; });
    if (idsToCreate.size() == waiting && liveCreateQueue.size() == queued)
        return false;
    if (tzo::LiveAircraft* live = gf_findLiveAircraft(recordId))
        live->erase = true;
    return true;
}

void gf_removeAircraft(tzo::AircraftRecord& aircraft)
{
    tzo::LiveAircraft* live = lf_asLive(aircraft);
    const tzo::AircraftState before = aircraft.state;
    aircraft.state = tzo::AircraftState::BeingRemoved;
    // Only live aircraft hold stands: a static one that goes later, after a
    // live aircraft took its place, leaves the stand to it.
    if (live != nullptr)
        gf_refreshStandOccupied(aircraft.standId);
    if (aircraft.objectId != 0) {
        // A livery change already queued the object's removal.
        if (before != tzo::AircraftState::LiveryChange)
            removalQueue.push_back(aircraft.objectId);
        return;
    }
    // Never in the simulator: no removal notice will come, so the record
    // leaves with the move pass instead of blocking its hexid for good.
    if (live != nullptr && before == tzo::AircraftState::New) {
        live->erase = true;
        return;
    }
    if (live != nullptr && before == tzo::AircraftState::CreateRequested && gf_removeQueuedCreation(live->recordId))
        return;
    gf_logLineMarked(fmt::format("removing act {} with objectId=0 ?", gf_formatStatusLine(aircraft)));
}

bool gf_farthestTest(double distanceNm)
{
    double best = distanceNm;
    tzo::LiveAircraft* candidate = nullptr;
    const tzo::LatLon user{userAircraft.latitude, userAircraft.longitude};
    for (tzo::LiveAircraft& a : liveAircraft) {
        if (a.state != tzo::AircraftState::InSimulator)
            continue;
        const double d = gf_greatCircleDistanceNm({a.latitude, a.longitude}, user);
        if (d > best + 0.1) {
            candidate = &a;
            best = d;
        }
    }
    if (candidate == nullptr)
        return true;
    gf_removeAircraft(*candidate);
    return false;
}

void gf_limitLiveCount()
{
    if (MAX_LIVE.value() == MAX_LIVE.defaultValue()) {
        lf_clearFieldText(MAX_LIVE);
        return;
    }
    const auto count = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const tzo::LiveAircraft& a) {
        return a.state == tzo::AircraftState::InSimulator;
    });
    for (auto n = count; n > MAX_LIVE.value(); --n)
        gf_farthestTest(-1.0);
}

std::vector<tzo::LiveAircraft>::iterator gf_removeStaticTwins(std::vector<tzo::LiveAircraft>::iterator first,
                                                              std::vector<tzo::LiveAircraft>::iterator last)
{
    for (; first != last; ++first) {
        const tzo::LiveAircraft& live = *first;
        if (!live.onGround || live.state != tzo::AircraftState::InSimulator)
            continue;
        const std::string twin = live.callsign + "*";
        for (tzo::AircraftRecord& s : staticAircraft) {
            if (s.state != tzo::AircraftState::InSimulator)
                continue;
            if (s.callsign == twin || (!live.registration.empty() && s.registration == live.registration)) {
                gf_removeAircraft(s);
                break;
            }
        }
    }
    return last;
}

void gf_removeStaticTwins()
{
    gf_removeStaticTwins(liveAircraft.begin(), liveAircraft.end());
}

void gf_logNoMatches()
{
    if (noMatches.empty())
        return;
    gf_logLine("\nNo match found for: ");
    for (const auto& [key, count] : noMatches)
        gf_logLine(key);
    gf_logLine("");
}
