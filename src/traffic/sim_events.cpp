#include "traffic/sim_events.hpp"

#include "airports/park_positions.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "liveries/liveries_not_created.hpp"
#include "realtraffic/rt_messages.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_queues.hpp"
#include "traffic/ai_commands.hpp"
#include "traffic/duplicates.hpp"
#include "traffic/flight_plans.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/motion.hpp"
#include "traffic/removal.hpp"
#include "traffic/stand_holding.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <vector>

using tzo::AircraftState;
using tzo::LiveAircraft;
using tzo::SimNotification;

namespace {

constexpr std::int32_t kLightsTicks = 200;
constexpr std::int32_t kFinished = -1;
constexpr std::uint32_t kFirstObjectId = 3;
constexpr std::uint32_t kLiveIdsAbove = 10000;
constexpr double kHighAltitudeFt = 10000.0;
constexpr double kCabinHeightFt = 2000.0;
constexpr double kDefaultStaticPitch = 0.012217304763960306; // 0.7 degree
constexpr double kLowestStaticPitch = -0.017453292519943295; // -1 degree
constexpr double kHighestStaticPitch = 0.04363323129985824;  // 2.5 degrees
// Feet: no ground on earth lies farther from sea level; a ground altitude
// beyond it is no ground.
constexpr double kHighestGroundFt = 30000.0;

std::atomic<bool> dropRequested{false};

// The simulator decides how often these come.
tzo::LogThrottle staticCgLog{1, std::chrono::minutes(1)};
tzo::LogThrottle givenUpLog{1, std::chrono::minutes(1)};

// Objects at or below the user's id are the user's or the simulator's own:
// nothing the program sends directly may reach them.
bool lf_isOurObject(std::uint32_t objectId)
{
    return objectId >= kFirstObjectId && objectId > userObjectId.load();
}

bool lf_frontOnGround(const LiveAircraft& a)
{
    return a.samples.empty() ? a.onGround : !a.samples.front().airborne;
}

// The live aircraft by object id, built once per drain when a notification
// names an object: the answer for hundreds of aircraft around the user comes
// every second and must not scan the table for each of them. Actions that
// erase records or give out object ids make it stale.
struct ObjectIndex {
    std::unordered_map<std::uint32_t, std::size_t> places;
    bool valid = false;

    LiveAircraft* find(std::uint32_t objectId)
    {
        if (objectId == 0)
            return nullptr;
        if (!valid) {
            places.clear();
            for (std::size_t i = 0; i < liveAircraft.size(); ++i)
                if (liveAircraft[i].objectId != 0)
                    places.emplace(liveAircraft[i].objectId, i); // the first keeps its place
            valid = true;
        }
        const auto it = places.find(objectId);
        return it == places.end() ? nullptr : &liveAircraft[it->second];
    }
};
ObjectIndex objectIndex;

LiveAircraft* lf_liveByObject(std::uint32_t objectId)
{
    return objectIndex.find(objectId);
}

tzo::AircraftRecord* lf_staticById(std::uint32_t recordId)
{
    const auto it = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                 [recordId](const tzo::AircraftRecord& a) { return a.recordId == recordId; });
    return it == staticAircraft.end() ? nullptr : &*it;
}

// Erases an element; the last one takes its place.
template <typename T>
void lf_eraseSwap(std::vector<T>& table, T* element)
{
    if (element != &table.back())
        *element = std::move(table.back());
    table.pop_back();
}

void lf_inRangeData(const SimNotification& n)
{
    LiveAircraft* a = lf_liveByObject(n.objectId);
    if (a == nullptr)
        return;
    if (std::isfinite(n.value1) && std::abs(n.value1) <= kHighestGroundFt)
        a->groundAltitude = n.value1;
    if (n.info == 1 && !a->onGround && a->rotationCounter <= 1)
        lf_touchdown(*a);
    a->heightAboveGround = n.value2;
    if (a->onGround || a->rotationCounter >= 2)
        a->altitude = a->staticCgHeight + n.value1;
}

void lf_staticCg(const SimNotification& n)
{
    LiveAircraft* a = lf_liveByObject(n.objectId);
    if (a == nullptr)
        return;
    if (n.value1 >= 1.0 && n.value1 <= 35.0)
        a->staticCgHeight = n.value1;
    else
        staticCgLog.log(std::string(g_logMarker) +
                        fmt::format("{}: static CG {:.1F}ft wrong?", gf_formatStatusLine(*a), n.value1));
    a->staticPitch = n.value2 <= kLowestStaticPitch || n.value2 > kHighestStaticPitch ? kDefaultStaticPitch : n.value2;
}

// The record whose creation the notification is about, live or static, and
// what to do with it and its table.
template <typename Act>
void lf_withCreatedRecord(const SimNotification& n, Act&& act)
{
    if (n.info > kLiveIdsAbove) {
        if (LiveAircraft* a = gf_findLiveAircraft(n.info))
            act(liveAircraft, a);
    } else if (tzo::AircraftRecord* s = lf_staticById(n.info)) {
        act(staticAircraft, s);
    }
}

void lf_creationRefused(const SimNotification& n)
{
    lf_withCreatedRecord(n, [](auto& table, auto* record) {
        const std::uint32_t standId = record->standId;
        // The record goes even when the refusal is one too many for the user.
        std::exception_ptr error;
        try {
            tzo::gf_liveryNotCreated(*record);
        } catch (...) {
            error = std::current_exception();
        }
        lf_eraseSwap(table, record);
        gf_refreshStandOccupied(standId);
        if (error)
            std::rethrow_exception(error);
    });
}

// Only a record still waiting for its object goes: one that has an object
// now is another creation's (the same aircraft made anew).
bool lf_waitsForObject(const tzo::AircraftRecord& r)
{
    return r.objectId == 0 &&
           (r.state == AircraftState::CreateRequested || r.state == AircraftState::BeingRemoved);
}

// Nothing queued for the object goes out any more: its removal, and its
// lights (those queued for the record recordId only, when not 0).
void lf_letGoOfObject(std::uint32_t objectId, std::uint32_t recordId)
{
    std::erase_if(pendingLights, [&](const SimNotification& e) {
        return e.objectId == objectId && (recordId == 0 || e.info == recordId);
    });
    std::erase(removalQueue, objectId);
}

void lf_creationGivenUp(const SimNotification& n)
{
    lf_withCreatedRecord(n, [](auto& table, auto* record) {
        if (!lf_waitsForObject(*record))
            return;
        givenUpLog.log(fmt::format("{} never came into the simulator: given up", gf_formatStatusLine(*record)));
        const std::uint32_t standId = record->standId;
        lf_eraseSwap(table, record);
        gf_refreshStandOccupied(standId);
    });
}

// The record took the object by its callsign, but the simulator's answer
// gave it to another creation: the record lets go of it (without removing
// it) and waits for its own object again, or for its creation's give-up.
void lf_objectTakenBack(const SimNotification& n)
{
    // A removal asked for it (by the record, or because the record was gone
    // when the object came) was for an object that is not the record's.
    lf_letGoOfObject(n.objectId, n.info);
    tzo::AircraftRecord* record = nullptr;
    if (n.info > kLiveIdsAbove)
        record = gf_findLiveAircraft(n.info);
    else
        record = lf_staticById(n.info);
    if (record == nullptr || record->objectId != n.objectId)
        return;
    if (record->state == AircraftState::LiveryChange) {
        lf_onAiObjectRemoved(n.objectId); // made anew, as when its object goes
        return;
    }
    record->objectId = 0;
    if (record->state == AircraftState::InSimulator)
        record->state = AircraftState::CreateRequested;
}

// An object that came for no record that waits for it: it must not stay in
// the simulator unsteered.
void lf_removeUnowned(std::uint32_t objectId)
{
    if (lf_isOurObject(objectId))
        removalQueue.push_back(objectId);
}

void lf_act(const SimNotification& n)
{
    if (n.kind != tzo::NOTIFY_IN_RANGE_DATA && n.kind != tzo::NOTIFY_STATIC_CG)
        objectIndex.valid = false;
    switch (n.kind) {
    case tzo::NOTIFY_LIVE_CREATED: {
        LiveAircraft* a = gf_findLiveAircraft(n.info);
        if (a == nullptr || !lf_waitsForObject(*a)) {
            if (a == nullptr || a->objectId != n.objectId)
                lf_removeUnowned(n.objectId);
        } else if (liveAIAdded(*a, n) && a->state != AircraftState::BeingRemoved) {
            pendingLights.push_back(n);
        }
        break;
    }
    case tzo::NOTIFY_STATIC_CREATED: {
        const tzo::AircraftRecord* s = lf_staticById(n.info);
        if (s == nullptr || !lf_waitsForObject(*s))
            lf_removeUnowned(n.objectId);
        else if (n.objectId >= kFirstObjectId)
            pendingLights.push_back(n);
        break;
    }
    case tzo::NOTIFY_REMOVED:
        lf_onAiObjectRemoved(n.objectId);
        break;
    case tzo::NOTIFY_IN_RANGE_DATA:
        lf_inRangeData(n);
        break;
    case tzo::NOTIFY_STATIC_CG:
        lf_staticCg(n);
        break;
    case tzo::NOTIFY_DEFERRED:
        for (LiveAircraft& a : liveAircraft) {
            if (a.recordId == n.info && (a.state == AircraftState::New || a.state == AircraftState::InSimulator)) {
                lf_removeBlocked(n.info, a);
                break;
            }
        }
        break;
    case tzo::NOTIFY_CREATE_FAILED:
        lf_creationRefused(n);
        break;
    case tzo::NOTIFY_CREATION_GIVEN_UP:
        lf_creationGivenUp(n);
        break;
    case tzo::NOTIFY_OBJECT_TAKEN_BACK:
        lf_objectTakenBack(n);
        break;
    default:
        break;
    }
}

void lf_sendToggle(std::uint32_t objectId)
{
    if (!lf_isOurObject(objectId))
        return;
    SimConnectResult rc;
    {
        std::lock_guard lock(simQueueMutex);
        rc = SimConnect_TransmitClientEvent(simConnectHandle.load(), objectId, tzo::ALL_LIGHTS_TOGGLE, 0,
                                            tzo::GROUP_ALL, 0);
    }
    if (rc != SIMCONNECT_S_OK)
        gf_logLineMarked("SimConnect gf_allLightsToggle fails");
}

// A record removed before its object came gets the object removed now
// instead of its lights.
void lf_removeArrived(tzo::AircraftRecord& a, std::uint32_t objectId)
{
    if (a.objectId == 0) {
        a.objectId = objectId;
        removalQueue.push_back(objectId);
    }
}

void lf_liveReady(LiveAircraft& a)
{
    a.state = AircraftState::InSimulator;
    const bool parked = a.movementPhase == tzo::kPhaseParked;
    tzo::LightStates lights;
    if (lf_frontOnGround(a)) {
        gf_setSpoilers(a, false);
        if (parked)
            gf_queueEngineShutdown(a.objectId);
        else
            gf_queueEngineStart(a.objectId);
        lights.nav = parked ? (NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0) : 1;
        lights.beacon = parked ? 0 : 1;
        lights.taxi = a.movementPhase == tzo::kPhaseGround ? 1 : 0;
        lights.logo = 1;
        lights.cabin = 1;
        gf_queueLights(a.objectId, lights);
        gf_setThrottle(a, a.category == tzo::AircraftCategory::Rotorcraft ? 4 : 0);
        gf_setFlaps(a, a.movementPhase == tzo::kPhaseGround ? 1 : 0);
    } else {
        gf_queueEngineStart(a.objectId);
        gf_setSpoilers(a, false);
        const bool low = a.altitude <= kHighAltitudeFt;
        lights.nav = 1;
        lights.beacon = 1;
        lights.landing = low ? 1 : 0;
        lights.strobes = 1;
        lights.logo = low ? 1 : 0;
        lights.cabin = a.heightAboveGround >= kCabinHeightFt ? 1 : 0;
        gf_queueLights(a.objectId, lights);
    }
    if (a.makesPlace)
        gf_removeAircraft(a);
}

void lf_staticReady(tzo::AircraftRecord& s, std::uint32_t objectId)
{
    s.state = AircraftState::InSimulator;
    s.objectId = objectId;
    gf_shutdownAtStand(s);
    if (LOG.value())
        gf_logLine(fmt::format("{:8}: {:8} parked {}", gf_standNameOfId(s.standId), s.callsign, gf_currentTimeText()));
    if (s.makesPlace)
        gf_removeAircraft(s);
}

} // namespace

bool liveAIAdded(LiveAircraft& a, const SimNotification& n)
{
    if (n.objectId < kFirstObjectId) {
        gf_logLineMarked(fmt::format("{} objectId in liveAIAdded {}", a.callsign, n.objectId));
        return false;
    }
    if (a.state == AircraftState::BeingRemoved) {
        lf_removeArrived(a, n.objectId);
        return true;
    }
    a.objectId = n.objectId;
    a.heightAboveGround = n.value2;
    if (lf_frontOnGround(a)) {
        a.onGround = true;
        a.altitudeChangePerTick = 0.0;
        if (a.movementPhase == tzo::kPhaseParked) {
            a.parkedSince = gf_nowDayHour();
            if (LOG.value() && !a.recreated)
                gf_logLine(fmt::format("{:8}: {:8} parks {}", gf_standNameOfId(a.standId), a.callsign,
                                       gf_currentTimeText()));
            std::erase_if(staticParkingPlan,
                          [&](const tzo::ParkingPlanEntry& e) { return e.standId == a.standId; });
        }
        a.recreated = false;
        a.rotationCounter = 1;
    }
    if (!lf_isOurObject(a.objectId))
        return true;
    lf_flightPlanStep(a);
    SimConnectResult rc;
    {
        std::lock_guard lock(simQueueMutex);
        rc = SimConnect_RequestDataOnSimObject(simConnectHandle.load(), tzo::REQUEST_STATIC_CG,
                                               tzo::DEFINITION_STATIC_CG, a.objectId, SIMCONNECT_PERIOD_ONCE, 0, 0,
                                               0, 0);
    }
    if (rc != SIMCONNECT_S_OK) {
        gf_logLineMarked("SimConnect request StaticCG fails");
        gf_simConnectRequestError();
    }
    return true;
}

void gf_allLightsToggle(bool& finished, SimNotification& e)
{
    if (e.retries < kLightsTicks) {
        ++e.retries;
        if (e.kind == tzo::NOTIFY_LIVE_CREATED && (e.retries == 50 || e.retries == 100))
            lf_sendToggle(e.objectId);
        return;
    }
    // An entry whose record is gone, or now carries another object, is
    // dropped: else it would wait for ever, or promote a returning record.
    e.retries = kFinished;
    finished = true;
    if (e.kind == tzo::NOTIFY_STATIC_CREATED) {
        tzo::AircraftRecord* s = lf_staticById(e.info);
        if (s == nullptr || !lf_waitsForObject(*s))
            lf_removeUnowned(e.objectId); // its record went in the meantime
        else if (s->state == AircraftState::BeingRemoved)
            lf_removeArrived(*s, e.objectId);
        else
            lf_staticReady(*s, e.objectId);
        return;
    }
    LiveAircraft* a = gf_findLiveAircraft(e.info);
    if (a == nullptr || a->objectId != e.objectId || a->state != AircraftState::CreateRequested)
        return;
    lf_liveReady(*a);
}

void gf_processSimNotifications()
{
    if (dropRequested.exchange(false))
        gf_dropLiveTraffic();
    std::exception_ptr error;
    objectIndex.valid = false;
    for (const SimNotification& n : tzo::gf_takeSimNotifications()) {
        try {
            lf_act(n);
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    }
    bool anyFinished = false;
    for (SimNotification& e : pendingLights) {
        try {
            gf_allLightsToggle(anyFinished, e);
        } catch (...) {
            e.retries = kFinished;
            anyFinished = true;
            if (!error)
                error = std::current_exception();
        }
    }
    objectIndex.valid = false;
    if (anyFinished)
        std::erase_if(pendingLights, [](const SimNotification& e) { return e.retries < 0; });
    if (error)
        std::rethrow_exception(error);
}

void lf_onAiObjectRemoved(std::uint32_t objectId)
{
    if (objectId == 0)
        return;
    objectIndex.valid = false; // also called outside a drain
    // A static record takes its object only when its lights are done: until
    // then its lights entry alone knows whose the object is, and the record
    // must go with the object, or it waits for it for good.
    std::vector<std::uint32_t> lightsOwners;
    for (const SimNotification& e : pendingLights)
        if (e.objectId == objectId && e.kind == tzo::NOTIFY_STATIC_CREATED)
            lightsOwners.push_back(e.info);
    // Gone: nothing more is sent to it, its removal neither.
    lf_letGoOfObject(objectId, 0);
    for (const std::uint32_t recordId : lightsOwners)
        if (tzo::AircraftRecord* s = lf_staticById(recordId); s != nullptr && lf_waitsForObject(*s))
            lf_eraseSwap(staticAircraft, s);
    if (LiveAircraft* a = lf_liveByObject(objectId)) {
        gf_deleteFlightPlan(objectId);
        if (a->state == AircraftState::LiveryChange) {
            a->state = AircraftState::New;
            a->recreated = true;
            a->throttleState = 5;
            a->flapsState = 4;
            a->objectId = 0;
            a->flightPlanSet = false;
            return;
        }
        // An object the simulator took away by itself never went through
        // the removal: its stand is given up here.
        const std::uint32_t standId = a->standId;
        lf_eraseSwap(liveAircraft, a);
        gf_refreshStandOccupied(standId);
        return;
    }
    const auto it = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                 [objectId](const tzo::AircraftRecord& s) { return s.objectId == objectId; });
    if (it != staticAircraft.end())
        lf_eraseSwap(staticAircraft, &*it);
}

void lf_removeBlocked(std::uint32_t recordId, LiveAircraft& a)
{
    if (a.recordId != recordId)
        return;
    if (a.state == AircraftState::New) {
        a.erase = true;
        gf_logLine(fmt::format("{} will be removed from buffer while blocked", gf_formatStatusLine(a)));
    } else if (a.state == AircraftState::InSimulator) {
        gf_logLine(fmt::format("{} removed from simulator immediately while blocked", gf_formatStatusLine(a)));
        gf_removeAircraft(a);
    }
}

void gf_requestDropLiveTraffic()
{
    dropRequested.store(true);
}

void gf_dropLiveTraffic()
{
    std::vector<std::uint32_t> queued;
    for (const tzo::CreateRequest& r : liveCreateQueue)
        queued.push_back(r.recordId);
    queued.insert(queued.end(), idsToCreate.begin(), idsToCreate.end());
    liveCreateQueue.clear();
    idsToCreate.clear();
    for (LiveAircraft& a : liveAircraft) {
        switch (a.state) {
        case AircraftState::New:
            a.erase = true;
            break;
        case AircraftState::CreateRequested:
            if (std::find(queued.begin(), queued.end(), a.recordId) != queued.end()) {
                a.erase = true; // its stand is given up when the move pass erases it
            } else if (a.objectId != 0) {
                gf_removeAircraft(a);
            } else {
                a.makesPlace = true; // sent: removed when its object shows up
            }
            break;
        case AircraftState::InSimulator:
            gf_removeAircraft(a);
            break;
        case AircraftState::LiveryChange:
            a.state = AircraftState::BeingRemoved; // its object is already on its way out
            break;
        case AircraftState::BeingRemoved:
            break;
        }
    }
}

void gf_installTrafficHooks()
{
    tzo::RealTrafficHooks hooks = tzo::gf_realTrafficHooks();
    hooks.dropLiveTraffic = gf_requestDropLiveTraffic;
    tzo::gf_installRealTrafficHooks(hooks);
}
