#include "traffic/static_placement.hpp"

#include "airports/park_positions.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_matching.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "traffic/live_steps.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace {

constexpr std::uint32_t kLastStaticId = 9999;
constexpr std::size_t kCallsignBytes = 10; // the tail number takes no more with its "*"
using tzo::kDegreesPerRadian;
constexpr double kSafetyFactor = 1.1;

std::uint32_t g_staticCounter = 0;

bool lf_idHeld(std::uint32_t id)
{
    return std::any_of(staticAircraft.begin(), staticAircraft.end(),
                       [id](const tzo::AircraftRecord& a) { return a.recordId == id; });
}

// A live aircraft on the ground (placed, not being removed) that the
// entry's aircraft would touch at the stand, by the test the per-second
// collision check makes: the stand is not free, whatever the phase.
bool lf_liveStandsOn(const tzo::LiveAircraft& live, const tzo::ParkingPlanEntry& entry, const tzo::ParkPos& stand)
{
    if (live.state == tzo::AircraftState::BeingRemoved || live.movementPhase == tzo::kPhaseNew ||
        live.movementPhase == tzo::kPhaseFlight || live.movementPhase == tzo::kPhaseTakeOff)
        return false;
    const double d = gf_greatCircleDistanceNm({live.latitude, live.longitude}, {stand.latitude, stand.longitude});
    return d <= (gf_wingspanOf(entry.type) + live.radius) * kSafetyFactor;
}

// A live aircraft moving into or parked at the stand or a neighbour, or
// standing on the stand, ends the entry.
bool lf_liveAtOrNextTo(const tzo::ParkingPlanEntry& entry, const tzo::ParkPos* stand)
{
    for (const tzo::LiveAircraft& live : liveAircraft) {
        if (stand != nullptr && lf_liveStandsOn(live, entry, *stand)) {
            if (LOG.value())
                gf_logLine(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here",
                                       gf_standNameOfId(entry.standId), entry.firstCallsign, live.callsign));
            return true;
        }
        if (live.movementPhase != tzo::kPhaseToStand && live.movementPhase != tzo::kPhaseParked)
            continue;
        if (live.standId == entry.standId) {
            if (LOG.value())
                gf_logLine(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here",
                                       gf_standNameOfId(entry.standId), entry.firstCallsign, live.callsign));
            return true;
        }
        if (stand != nullptr && live.standId != 0 &&
            std::find(stand->adjacent.begin(), stand->adjacent.end(), live.standId) != stand->adjacent.end()) {
            if (LOG.value())
                gf_logLine(fmt::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, "
                                       "possibly colliding",
                                       gf_standNameOfId(entry.standId), entry.firstCallsign, live.callsign,
                                       gf_standNameOfId(live.standId)));
            return true;
        }
    }
    return false;
}

// A static aircraft still at the stand, or at a neighbour within reach of
// the entry's type: one being removed there must be gone first.
bool lf_staticInTheWay(const tzo::ParkingPlanEntry& entry, const tzo::ParkPos& stand)
{
    const double span = gf_wingspanOf(entry.type);
    for (const tzo::AircraftRecord& s : staticAircraft) {
        if (s.standId == entry.standId)
            return true;
        if (s.standId == 0 ||
            std::find(stand.adjacent.begin(), stand.adjacent.end(), s.standId) == stand.adjacent.end())
            continue;
        const double d = gf_greatCircleDistanceNm({s.stand.latitude, s.stand.longitude},
                                                  {stand.latitude, stand.longitude});
        if (span + gf_wingspanOf(s.model) > d)
            return true;
    }
    return false;
}

// The user standing on the ground where the aircraft would appear. The
// per-second test passes over a user who has not moved, so it is refused here.
bool lf_userInTheWay(const tzo::ParkingPlanEntry& entry, const tzo::ParkPos& stand)
{
    if (!userOnGround.load())
        return false;
    const double user =
        gf_userHalfWingspanNm().value_or(g_categoryAverageHalfSpan[static_cast<std::size_t>(tzo::AircraftCategory::Large)]);
    const double d = gf_greatCircleDistanceNm({userAircraft.latitude, userAircraft.longitude},
                                              {stand.latitude, stand.longitude});
    if (d > (user + gf_wingspanOf(entry.type)) * kSafetyFactor)
        return false;
    gf_logLine(fmt::format("{:8}: no static parking for {}, the user aircraft stands here", stand.name,
                           entry.firstCallsign));
    return true;
}

// Puts the entry back to be tried after the others; false once it has waited long enough.
bool lf_deferEntry(tzo::ParkingPlanEntry entry, const tzo::ParkPos& stand)
{
    const std::uint32_t tick = liveTickCounter.load();
    if (!entry.deferred) {
        entry.deferred = true;
        entry.deferredSinceTick = tick;
    } else if (tick - entry.deferredSinceTick >= kStandWaitTicks) {
        gf_logLineMarked(fmt::format("{:8}: no static parking for {}, the stand is still not free", stand.name,
                                     entry.firstCallsign));
        return false;
    }
    staticParkingPlan.insert(staticParkingPlan.begin(), std::move(entry));
    return true;
}

} // namespace

std::uint32_t gf_nextStaticRecordId()
{
    for (std::uint32_t tries = 0; tries < kLastStaticId; ++tries) {
        g_staticCounter = g_staticCounter >= kLastStaticId ? 1 : g_staticCounter + 1;
        if (!lf_idHeld(g_staticCounter))
            return g_staticCounter;
    }
    return 0; // 9999 static aircraft: none more
}

void gf_resetStaticRecordIds()
{
    g_staticCounter = 0;
}

std::string gf_cutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return std::string(text.substr(0, n));
}

std::string lf_staticCallsign(const tzo::ParkingPlanEntry& entry)
{
    std::string callsign = entry.continues ? entry.firstCallsign : entry.secondCallsign;
    while (!callsign.empty() && callsign.back() == '_')
        callsign.pop_back();
    if (!callsign.empty() && callsign.back() == '*')
        callsign.pop_back();
    return gf_cutUtf8(callsign, kCallsignBytes) + "*";
}

void gf_realiseParkingPlan()
{
    if (parkPositions.empty() || staticParkingPlan.empty())
        return;
    tzo::ParkingPlanEntry entry = std::move(staticParkingPlan.back());
    staticParkingPlan.pop_back();

    tzo::ParkPos* stand = gf_standById(entry.standId);
    if (lf_liveAtOrNextTo(entry, stand))
        return;
    if (stand == nullptr) {
        gf_logLineMarked(fmt::format("stand with id {} not found", entry.standId));
        return;
    }
    if (lf_userInTheWay(entry, *stand))
        return;
    if (lf_staticInTheWay(entry, *stand)) {
        lf_deferEntry(std::move(entry), *stand);
        return;
    }

    const std::uint32_t id = gf_nextStaticRecordId();
    if (id == 0) {
        gf_logLineMarked(fmt::format("{:8}: no static parking for {}, no record id free", stand->name,
                                     entry.firstCallsign));
        return;
    }
    tzo::AircraftTexts texts;
    texts.airline = entry.airline;
    texts.model = entry.type;
    texts.callsign = entry.firstCallsign.empty()
                         ? gf_cutUtf8(fmt::format("{}{}", entry.airline, id), kCallsignBytes) + "*"
                         : lf_staticCallsign(entry);
    texts.firstCallsign = entry.firstCallsign;
    texts.secondCallsign = entry.secondCallsign;
    texts.registration = entry.registration;

    tzo::AircraftRecord record;
    record.initAtStand(std::move(texts), stand->id, {stand->latitude, stand->longitude, stand->heading},
                       stand->cargo);
    record.category = gf_modelCategory(record.model);
    record.recordId = id;
    if (!tzo::gf_matchStaticLivery(record, stand->name, stand->cargo))
        return;
    record.planFlag = entry.exempt;
    record.hexidCheck = entry.status;
    // Parked since the half-hour at which the entry's run began.
    record.parkedSince = gf_dayHourBefore(gf_nowDayHour(), entry.fitOffset);
    record.state = tzo::AircraftState::CreateRequested;

    tzo::CreateRequest request;
    request.position.Latitude = stand->latitude;
    request.position.Longitude = stand->longitude;
    request.position.Altitude = 0.0;
    request.position.Pitch = 0.0;
    request.position.Bank = 0.0;
    request.position.Heading = stand->heading * kDegreesPerRadian;
    request.position.OnGround = 1;
    request.position.Airspeed = 0;
    request.callsign = record.callsign;
    request.liveryTitle = record.liveryTitle;
    request.recordId = id;
    staticAircraft.push_back(std::move(record));
    staticCreateQueue.push_back(std::move(request));
}
