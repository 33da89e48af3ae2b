#include "traffic/duplicates.hpp"

#include "airports/park_positions.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/collisions.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

namespace {


const char* lf_groundText(bool onGround)
{
    return onGround ? "on ground" : "airborne";
}

bool lf_endsWithUnderscore(std::string_view s)
{
    return !s.empty() && s.back() == '_';
}

// The callsign less its trailing "_"; empty when it has none.
std::string_view lf_ghostStem(std::string_view s)
{
    return lf_endsWithUnderscore(s) ? s.substr(0, s.size() - 1) : std::string_view{};
}

bool lf_isCoupleMember(std::string_view callsign, const tzo::AircraftRecord& parked)
{
    return !callsign.empty() && (callsign == parked.firstCallsign || callsign == parked.secondCallsign);
}

} // namespace

bool gf_removeStaticDuplicate(const tzo::LiveAircraft& live, std::string_view stem, bool onGround,
                              const tzo::AircraftRecord& parked)
{
    if (parked.state != tzo::AircraftState::InSimulator)
        return false;
    const std::string standName = gf_standNameOfId(parked.standId);
    if (parked.planFlag && parked.hexidCheck == live.recordId) {
        if (LOG.value())
            gf_logLine(fmt::format("{:8}: {:8} removed, new {} {} has same hexid", standName, parked.callsign,
                                   lf_groundText(onGround), live.callsign));
        return true;
    }
    if (!live.registration.empty() && live.registration == parked.registration) {
        if (LOG.value())
            gf_logLine(fmt::format("{:8}: {:8} {} removed, new {} {} has same regcode {}", standName,
                                   parked.callsign, parked.registration, lf_groundText(onGround), live.callsign,
                                   live.registration));
        return true;
    }
    const bool coupled = lf_isCoupleMember(live.callsign, parked) || lf_isCoupleMember(live.secondCallsign, parked) ||
                         (lf_endsWithUnderscore(live.callsign) && lf_isCoupleMember(stem, parked));
    if (!coupled)
        return false;
    if (LOG.value())
        gf_logLine(fmt::format("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign {}", standName,
                               parked.callsign, parked.firstCallsign, parked.secondCallsign, lf_groundText(onGround),
                               live.callsign, live.firstCallsign, live.secondCallsign,
                               parked.firstCallsign == live.callsign ? "same" : "coupled", gf_currentTimeText()));
    return true;
}

bool lf_callsignContest(const tzo::ParkPos& stand, const std::string& newCallsign, bool& available,
                        tzo::LiveAircraft& parked)
{
    if (parked.movementPhase != tzo::kPhaseParked || parked.state != tzo::AircraftState::InSimulator ||
        parked.standId != stand.id)
        return false;
    const std::string& old = parked.callsign;
    const auto line = [&](const std::string& text) {
        if (LOG.value())
            gf_logLine(fmt::format("{:8}: {:8} {}", stand.name, old, text));
    };
    const auto remove = [&](const std::string& text) {
        line(text);
        gf_removeAircraft(parked);
    };
    const auto refuse = [&](const std::string& text) {
        line(text);
        available = false;
    };
    // Only a dropped "_" makes a ghost: BAW123 is no ghost of BAW12.
    if (newCallsign == old)
        remove(fmt::format("ac with same callsign {} wants it, remove existing ... ", newCallsign));
    else if (!lf_ghostStem(newCallsign).empty() && lf_ghostStem(newCallsign) == old)
        refuse(fmt::format("ghost {} wants it, but don't do it ... ", newCallsign));
    else if (!lf_ghostStem(old).empty() && lf_ghostStem(old) == newCallsign)
        remove(fmt::format("ghost, replace by {}", newCallsign));
    else if (lf_endsWithUnderscore(old) && !lf_endsWithUnderscore(newCallsign))
        remove(fmt::format("ghost, replace by {}", newCallsign));
    else if (lf_endsWithUnderscore(newCallsign) && !lf_endsWithUnderscore(old))
        refuse(fmt::format("ghost {} wants it, refused ", newCallsign));
    else if (parked.standApproach)
        refuse(fmt::format("other live {} wants it? {}", newCallsign, gf_currentTimeText()));
    else
        remove(fmt::format("removed because of new {}", newCallsign));
    return true;
}

bool lf_standContest(tzo::LiveAircraft& aircraft, tzo::ParkPos& stand)
{
    bool available = true;
    for (tzo::LiveAircraft& parked : liveAircraft) {
        if (&parked == &aircraft)
            continue;
        if (lf_callsignContest(stand, aircraft.callsign, available, parked))
            break;
    }
    if (!available)
        return false;
    return !lf_isBlockedByAdjacentLive(aircraft, stand);
}

bool gf_removeQueuedStaticCreation(std::string_view callsign)
{
    bool found = false;
    std::deque<tzo::CreateRequest> kept;
    while (!staticCreateQueue.empty()) {
        tzo::CreateRequest request = std::move(staticCreateQueue.front());
        staticCreateQueue.pop_front();
        if (request.callsign != callsign) {
            kept.push_back(std::move(request));
            continue;
        }
        found = true;
        const auto it = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                     [&](const tzo::AircraftRecord& s) { return s.recordId == request.recordId; });
        if (it != staticAircraft.end()) {
            if (&*it != &staticAircraft.back())
                *it = std::move(staticAircraft.back());
            staticAircraft.pop_back();
        }
    }
    staticCreateQueue = std::move(kept);
    return found;
}

void gf_removeAllStatic()
{
    // Collected first: withdrawing a creation erases records of the table.
    std::vector<std::uint32_t> inSimulator;
    std::vector<std::pair<std::uint32_t, std::string>> requested;
    for (const tzo::AircraftRecord& s : staticAircraft) {
        if (s.state == tzo::AircraftState::InSimulator)
            inSimulator.push_back(s.recordId);
        else if (s.state == tzo::AircraftState::CreateRequested)
            requested.emplace_back(s.recordId, s.callsign);
    }
    const auto find = [](std::uint32_t id) -> tzo::AircraftRecord* {
        const auto it = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                     [id](const tzo::AircraftRecord& s) { return s.recordId == id; });
        return it == staticAircraft.end() ? nullptr : &*it;
    };
    for (const std::uint32_t id : inSimulator)
        if (tzo::AircraftRecord* s = find(id))
            gf_removeAircraft(*s);
    for (const auto& [id, callsign] : requested)
        if (!gf_removeQueuedStaticCreation(callsign))
            if (tzo::AircraftRecord* s = find(id))
                s->makesPlace = true; // on its way: removed when its object shows up
}

void gf_clearReservedStand()
{
    const std::string name = gf_reservedStandName();
    if (name.empty())
        return;
    const tzo::ParkPos* stand = lf_findStandByName(name);
    if (stand == nullptr)
        return;
    for (tzo::AircraftRecord& s : staticAircraft) {
        if (s.standId == stand->id && s.state == tzo::AircraftState::InSimulator) {
            gf_removeAircraft(s);
            return;
        }
    }
    for (tzo::LiveAircraft& a : liveAircraft) {
        if (a.standId == stand->id && a.movementPhase == tzo::kPhaseParked &&
            a.state == tzo::AircraftState::InSimulator) {
            gf_removeAircraft(a);
            return;
        }
    }
}

