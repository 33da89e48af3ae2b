#include "simconnect/sim_creations.hpp"

#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/plausible.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <unordered_map>

using tzo::PendingCreation;

namespace {

constexpr std::uint32_t kLiveIdsAbove = 10000;

// The objects of this connection's creations, from the answer (or the
// callsign) that named them until the simulator reports them removed; one
// removed before the answer that may name it is remembered beyond that,
// until that answer comes or is given up.
struct OwnedObject {
    // NoOne: named for a creation that did not wait; being removed.
    // Removed: removed before its answer came (taken by a callsign, or not
    // known yet); the answer that names it gives it to no creation and
    // removes nothing.
    enum class By { Answer, Callsign, NoOne, Removed };
    By by = By::NoOne;
    // The creation that got it. Taken by its callsign, it is kept whole: an
    // answer may still hand the object to another creation, and this one
    // then waits again.
    PendingCreation creation;
    // Removed: the creations whose answer may still name it.
    std::vector<std::uint32_t> awaited;
};
std::unordered_map<std::uint32_t, OwnedObject> g_objects;
std::size_t g_removedMarks = 0;
std::uint64_t g_objectsWalkedAt = 0;
// A simulator that is slow enough answers creations after they were given
// up; what waits for those answers waits this long (simulator seconds).
constexpr std::uint64_t kLateAnswerSeconds = 300;
// Creations given up, by request id, with the second they were given up:
// their answers may still come.
std::unordered_map<std::uint32_t, std::uint64_t> g_givenUp;
std::uint32_t g_nextRequestId = tzo::kFirstCreationRequestId;
std::uint64_t g_simSeconds = 0;

// The simulator (or whatever speaks for it) may repeat these without end.
tzo::LogThrottle g_strayAnswerLog{1, std::chrono::minutes(1)};
tzo::LogThrottle g_givenUpLog{1, std::chrono::minutes(1)};
tzo::LogThrottle g_takenBackLog{1, std::chrono::minutes(1)};

using Pending = std::vector<PendingCreation>::iterator;
using Owned = std::unordered_map<std::uint32_t, OwnedObject>::iterator;

void lf_forget(Owned owned)
{
    if (owned->second.by == OwnedObject::By::Removed)
        --g_removedMarks;
    g_objects.erase(owned);
}

// The creation's answer came, or can come no more (refused): a removed object that only it
// could have been named by is forgotten (but the one its answer names).
void lf_settle(std::uint32_t requestId, std::uint32_t namedObject = 0)
{
    if (g_removedMarks == 0)
        return;
    for (auto it = g_objects.begin(); it != g_objects.end();) {
        const auto next = std::next(it);
        if (it->second.by == OwnedObject::By::Removed && it->first != namedObject) {
            std::erase(it->second.awaited, requestId);
            if (it->second.awaited.empty())
                lf_forget(it);
        }
        it = next;
    }
}

// Order does not matter: the last entry takes the place of the one taken.
PendingCreation lf_take(Pending it)
{
    PendingCreation taken = std::move(*it);
    if (it != pendingCreations.end() - 1)
        *it = std::move(pendingCreations.back());
    pendingCreations.pop_back();
    return taken;
}

void lf_announce(Pending it, double aboveGroundFt)
{
    const PendingCreation p = lf_take(it);
    if (p.recordId > kLiveIdsAbove)
        tzo::gf_pushSimNotification({p.objectId, p.recordId, 0, tzo::NOTIFY_LIVE_CREATED, 0.0, aboveGroundFt});
    else
        tzo::gf_pushSimNotification({p.objectId, p.recordId, 0, tzo::NOTIFY_STATIC_CREATED, 0.0, 0.0});
}

void lf_giveUp(Pending it)
{
    const PendingCreation p = lf_take(it);
    g_givenUp[p.requestId] = g_simSeconds;
    tzo::gf_pushSimNotification({0, p.recordId, 0, tzo::NOTIFY_CREATION_GIVEN_UP, 0.0, 0.0});
}

Pending lf_findByObject(std::uint32_t objectId)
{
    if (objectId == 0)
        return pendingCreations.end();
    return std::find_if(pendingCreations.begin(), pendingCreations.end(),
                        [&](const PendingCreation& p) { return p.objectId == objectId; });
}

Pending lf_findWaiting(std::uint32_t requestId)
{
    return std::find_if(pendingCreations.begin(), pendingCreations.end(), [&](const PendingCreation& p) {
        return p.requestId == requestId && p.objectId == 0;
    });
}

// The object that a creation took by its callsign: an answer handed it to
// another creation, or named the creation's own. Its record lets go of it and
// the creation waits again, from the time it was sent.
void lf_takeBack(Owned owned)
{
    const std::uint32_t objectId = owned->first;
    PendingCreation creation = std::move(owned->second.creation);
    lf_forget(owned);
    g_takenBackLog.log(fmt::format("object {} was taken by the callsign {} for record {}, but is not its object: "
                                   "the record waits for its own",
                                   objectId, creation.callsign, creation.recordId));
    {
        // A removal the record asked for was for the object it no longer has.
        std::lock_guard lock(simQueueMutex);
        std::erase(removeQueue, objectId);
    }
    tzo::gf_pushSimNotification({objectId, creation.recordId, 0, tzo::NOTIFY_OBJECT_TAKEN_BACK, 0.0, 0.0});
    creation.objectId = 0;
    pendingCreations.push_back(std::move(creation));
}

// An object of ours that no creation waits for: left there, it would fly
// (or stand) unsteered and unrecorded for ever.
void lf_removeStray(std::uint32_t requestId, std::uint32_t objectId)
{
    g_strayAnswerLog.log(fmt::format("creation {} answered with object {}, but no aircraft waits for it: removed",
                                     requestId, objectId));
    g_objects[objectId] = OwnedObject{OwnedObject::By::NoOne, PendingCreation{0, 0, {}, requestId}, {}};
    std::erase(addedObjectIds, objectId);
    std::lock_guard lock(simQueueMutex);
    removeQueue.push_back(objectId);
}

// The answer names the object of a creation that waits for it.
void lf_name(Pending it, std::uint32_t objectId)
{
    it->objectId = objectId;
    g_objects[objectId] = OwnedObject{OwnedObject::By::Answer, *it, {}};
    std::erase(addedObjectIds, objectId);
    lf_releaseAndFreeze(objectId);
    SimConnectResult rc;
    {
        std::lock_guard lock(simQueueMutex);
        rc = SimConnect_RequestDataOnSimObject(simConnectHandle.load(), tzo::REQUEST_NEW_OBJECT,
                                               tzo::DEFINITION_IN_RANGE, objectId, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    }
    if (rc != SIMCONNECT_S_OK) {
        // The object is there all the same; its height above ground is not.
        lf_announce(lf_findByObject(objectId), 0.0);
        lf_requestFailed(rc, "SimConnect request new ac data fails", lf_aircraftOfObject(objectId));
    }
}

} // namespace

std::uint32_t lf_nextCreationRequestId()
{
    const std::uint32_t id = g_nextRequestId;
    g_nextRequestId =
        id == std::numeric_limits<std::uint32_t>::max() ? tzo::kFirstCreationRequestId : id + 1;
    return id;
}

void lf_countSimSecond()
{
    ++g_simSeconds;
}

std::uint64_t lf_simSecondsCounted()
{
    return g_simSeconds;
}

void lf_onAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId)
{
    if (!tzo::gf_isCreationRequestId(requestId))
        return;
    if (objectId <= userObjectId.load()) {
        g_strayAnswerLog.log(fmt::format("creation {} answered with object {}, no AI object: ignored", requestId,
                                         objectId));
        return;
    }
    lf_settle(requestId, objectId);
    g_givenUp.erase(requestId);
    const auto owned = g_objects.find(objectId);
    const bool gone = owned != g_objects.end() && owned->second.by == OwnedObject::By::Removed;
    if (owned != g_objects.end() && !gone && owned->second.creation.requestId == requestId) {
        // The same answer again, or the callsign took the right object.
        if (owned->second.by == OwnedObject::By::Callsign)
            owned->second.by = OwnedObject::By::Answer;
        return;
    }
    if (owned != g_objects.end() && !gone && owned->second.by != OwnedObject::By::Callsign) {
        // Named before for another creation, or already on its way out: one
        // object never belongs to two records.
        g_strayAnswerLog.log(fmt::format("creation {} answered with object {}, which was named before: ignored",
                                         requestId, objectId));
        return;
    }
    if (lf_findWaiting(requestId) == pendingCreations.end()) {
        // The creation took another object by its callsign: that one is not
        // its own, this one is.
        const auto mistaken = std::find_if(g_objects.begin(), g_objects.end(), [&](const auto& entry) {
            return entry.second.by == OwnedObject::By::Callsign && entry.second.creation.requestId == requestId;
        });
        if (mistaken != g_objects.end())
            lf_takeBack(mistaken);
    }
    if (gone) {
        // The object is no more: the creation it answers never gets it, and
        // what is gone is not removed again.
        lf_forget(owned);
        if (const Pending waiting = lf_findWaiting(requestId); waiting != pendingCreations.end()) {
            g_givenUpLog.log(fmt::format("creation of {} (record {}) answered with object {}, which was removed "
                                         "before: given up",
                                         waiting->callsign, waiting->recordId, objectId));
            lf_giveUp(waiting);
        }
        return;
    }
    // The callsign gave this object to another creation: the answer wins.
    if (owned != g_objects.end())
        lf_takeBack(owned);
    const Pending waiting = lf_findWaiting(requestId);
    if (waiting == pendingCreations.end())
        lf_removeStray(requestId, objectId);
    else
        lf_name(waiting, objectId);
}

bool lf_onNewObjectData(std::uint32_t objectId, double aboveGroundFt)
{
    const auto it = lf_findByObject(objectId);
    if (it == pendingCreations.end())
        return false;
    lf_announce(it, tzo::gf_plausibleAltitude(aboveGroundFt) ? aboveGroundFt : 0.0);
    return true;
}

void lf_onObjectGone(std::uint32_t objectId)
{
    if (objectId <= userObjectId.load())
        return;
    {
        // What is gone is never removed again.
        std::lock_guard lock(simQueueMutex);
        std::erase(removeQueue, objectId);
    }
    const auto owned = g_objects.find(objectId);
    const bool named = owned != g_objects.end() && owned->second.by != OwnedObject::By::Callsign;
    if (named && owned->second.by != OwnedObject::By::Removed)
        lf_forget(owned);
    if (!named) {
        // Not named by an answer yet (unknown, or taken by a callsign), it
        // may be the object of any creation whose answer is still to come:
        // that answer must not hand it to its creation.
        OwnedObject mark{OwnedObject::By::Removed, PendingCreation{}, {}};
        if (owned != g_objects.end())
            mark.creation = std::move(owned->second.creation);
        mark.creation.sentAtSecond = g_simSeconds;
        for (const PendingCreation& p : pendingCreations)
            if (p.objectId == 0)
                mark.awaited.push_back(p.requestId);
        for (const auto& [id, o] : g_objects)
            if (o.by == OwnedObject::By::Callsign)
                mark.awaited.push_back(o.creation.requestId);
        for (const auto& [requestId, second] : g_givenUp)
            mark.awaited.push_back(requestId);
        if (owned != g_objects.end())
            lf_forget(owned);
        if (!mark.awaited.empty()) {
            g_objects.emplace(objectId, std::move(mark));
            ++g_removedMarks;
        }
    }
    if (const auto it = lf_findByObject(objectId); it != pendingCreations.end())
        lf_giveUp(it);
}

std::string lf_aircraftOfObject(std::uint32_t objectId)
{
    const auto owned = g_objects.find(objectId);
    if (owned != g_objects.end() && !owned->second.creation.callsign.empty())
        return owned->second.creation.callsign;
    return fmt::format("object {}", objectId);
}

bool lf_isCreatedObject(std::uint32_t objectId)
{
    return g_objects.contains(objectId) || lf_findByObject(objectId) != pendingCreations.end();
}

std::uint32_t lf_takePendingCreation(std::string_view callsign, std::uint32_t objectId)
{
    if (callsign.empty() || g_objects.contains(objectId))
        return 0;
    const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(), [&](const PendingCreation& p) {
        return p.objectId == 0 && p.callsign == callsign;
    });
    if (it == pendingCreations.end())
        return 0;
    PendingCreation p = lf_take(it);
    const std::uint32_t recordId = p.recordId;
    if (objectId != 0)
        g_objects[objectId] = OwnedObject{OwnedObject::By::Callsign, std::move(p), {}};
    return recordId;
}

std::uint32_t lf_takePendingCreationBySendId(std::uint32_t sendId)
{
    const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                 [&](const PendingCreation& p) { return p.sendId == sendId; });
    if (it == pendingCreations.end())
        return 0;
    const PendingCreation p = lf_take(it);
    lf_settle(p.requestId); // refused: no answer will name an object for it
    return p.recordId;
}

void lf_expirePendingCreations()
{
    // Counted in the simulator's seconds: a simulator that stalls (loading
    // scenery) answers nothing, and its creations are not given up for it.
    const auto limit = static_cast<std::uint64_t>(tzo::kCreationAnswerTime.count());
    for (std::size_t i = 0; i < pendingCreations.size();) {
        const Pending it = pendingCreations.begin() + static_cast<std::ptrdiff_t>(i);
        if (g_simSeconds - it->sentAtSecond <= limit) {
            ++i;
            continue;
        }
        if (it->objectId != 0) {
            lf_announce(it, 0.0);
        } else {
            g_givenUpLog.log(fmt::format("creation of {} (record {}) not answered in {} s: given up", it->callsign,
                                         it->recordId, tzo::kCreationAnswerTime.count()));
            lf_giveUp(it);
        }
    }
    // Once a second: what waits for answers that may come late is given up
    // when no answer has come for so long.
    if (g_objectsWalkedAt == g_simSeconds)
        return;
    g_objectsWalkedAt = g_simSeconds;
    std::erase_if(g_givenUp, [](const auto& entry) { return g_simSeconds - entry.second > kLateAnswerSeconds; });
    for (auto it = g_objects.begin(); it != g_objects.end();) {
        const auto next = std::next(it);
        if (it->second.by == OwnedObject::By::Removed &&
            g_simSeconds - it->second.creation.sentAtSecond > kLateAnswerSeconds)
            lf_forget(it);
        it = next;
    }
}

void lf_resetCreations()
{
    g_objects.clear();
    g_removedMarks = 0;
    g_objectsWalkedAt = 0;
    g_givenUp.clear();
    g_nextRequestId = tzo::kFirstCreationRequestId;
    g_simSeconds = 0;
    g_strayAnswerLog.reset();
    g_givenUpLog.reset();
    g_takenBackLog.reset();
}
