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
#include <deque>
#include <limits>

using tzo::PendingCreation;

namespace {

constexpr std::uint32_t kLiveIdsAbove = 10000;
constexpr std::size_t kClosedCreationsKept = 256;

// Creations no longer pending: handed to the main loop with the object they
// got, or given up (object 0). An answer that comes later for one of them
// names an object that no record waits for.
struct ClosedCreation {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
};
std::deque<ClosedCreation> g_closed;
std::uint32_t g_nextRequestId = tzo::kFirstCreationRequestId;

// The simulator (or whatever speaks for it) may repeat these without end.
tzo::LogThrottle g_strayAnswerLog{1, std::chrono::minutes(1)};
tzo::LogThrottle g_givenUpLog{1, std::chrono::minutes(1)};

using Pending = std::vector<PendingCreation>::iterator;

void lf_close(std::uint32_t requestId, std::uint32_t objectId)
{
    g_closed.push_back({requestId, objectId});
    if (g_closed.size() > kClosedCreationsKept)
        g_closed.pop_front();
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
    lf_close(p.requestId, p.objectId);
    if (p.recordId > kLiveIdsAbove)
        tzo::gf_pushSimNotification({p.objectId, p.recordId, 0, tzo::NOTIFY_LIVE_CREATED, 0.0, aboveGroundFt});
    else
        tzo::gf_pushSimNotification({p.objectId, p.recordId, 0, tzo::NOTIFY_STATIC_CREATED, 0.0, 0.0});
}

void lf_giveUp(Pending it)
{
    const PendingCreation p = lf_take(it);
    lf_close(p.requestId, 0);
    tzo::gf_pushSimNotification({0, p.recordId, 0, tzo::NOTIFY_CREATION_GIVEN_UP, 0.0, 0.0});
}

Pending lf_findByObject(std::uint32_t objectId)
{
    if (objectId == 0)
        return pendingCreations.end();
    return std::find_if(pendingCreations.begin(), pendingCreations.end(),
                        [&](const PendingCreation& p) { return p.objectId == objectId; });
}

} // namespace

std::uint32_t lf_nextCreationRequestId()
{
    const std::uint32_t id = g_nextRequestId;
    g_nextRequestId =
        id == std::numeric_limits<std::uint32_t>::max() ? tzo::kFirstCreationRequestId : id + 1;
    return id;
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
    const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(), [&](const PendingCreation& p) {
        return p.requestId == requestId && p.objectId == 0;
    });
    if (it == pendingCreations.end()) {
        const auto closed = std::find_if(g_closed.begin(), g_closed.end(),
                                         [&](const ClosedCreation& c) { return c.requestId == requestId; });
        if (closed == g_closed.end()) {
            g_strayAnswerLog.log(fmt::format("creation {} answered with object {}, but never sent: ignored",
                                             requestId, objectId));
        } else if (closed->objectId != objectId) {
            // Given up, or taken by its callsign with another object: it has
            // no record, and must not stay in the simulator without one.
            g_strayAnswerLog.log(fmt::format("object {} came for a creation no aircraft waits for: removed", objectId));
            std::lock_guard lock(simQueueMutex);
            removeQueue.push_back(objectId);
        }
        return;
    }
    it->objectId = objectId;
    std::erase(addedObjectIds, objectId);
    lf_releaseAndFreeze(objectId);
    SimConnectResult rc;
    {
        std::lock_guard lock(simQueueMutex);
        rc = SimConnect_RequestDataOnSimObject(simConnectHandle.load(), tzo::REQUEST_NEW_OBJECT,
                                               tzo::DEFINITION_IN_RANGE, objectId, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    }
    if (rc != SIMCONNECT_S_OK) {
        gf_logLineMarked("SimConnect request new ac data fails");
        // The object is there all the same; its height above ground is not.
        lf_announce(lf_findByObject(objectId), 0.0);
        gf_simConnectRequestError();
    }
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
    if (const auto it = lf_findByObject(objectId); it != pendingCreations.end())
        lf_giveUp(it);
}

bool lf_isCreatedObject(std::uint32_t objectId)
{
    return lf_findByObject(objectId) != pendingCreations.end() ||
           std::any_of(g_closed.begin(), g_closed.end(),
                       [&](const ClosedCreation& c) { return c.objectId != 0 && c.objectId == objectId; });
}

std::uint32_t lf_takePendingCreation(std::string_view callsign, std::uint32_t objectId)
{
    if (callsign.empty())
        return 0;
    const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(), [&](const PendingCreation& p) {
        return p.objectId == 0 && p.callsign == callsign;
    });
    if (it == pendingCreations.end())
        return 0;
    const PendingCreation p = lf_take(it);
    lf_close(p.requestId, objectId);
    return p.recordId;
}

std::uint32_t lf_takePendingCreationBySendId(std::uint32_t sendId)
{
    const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                 [&](const PendingCreation& p) { return p.sendId == sendId; });
    return it == pendingCreations.end() ? 0 : lf_take(it).recordId;
}

void lf_expirePendingCreations(std::chrono::steady_clock::time_point now)
{
    for (std::size_t i = 0; i < pendingCreations.size();) {
        const Pending it = pendingCreations.begin() + static_cast<std::ptrdiff_t>(i);
        if (now - it->sentAt < tzo::kCreationAnswerTime) {
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
}

void lf_resetCreations()
{
    g_closed.clear();
    g_nextRequestId = tzo::kFirstCreationRequestId;
    g_strayAnswerLog.reset();
    g_givenUpLog.reset();
}
