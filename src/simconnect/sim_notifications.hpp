#pragma once
// What the simulator side hands to the main loop: one record per created,
// removed or failed aircraft and per data answer, queued in order under the
// queue's own mutex. The dispatch handler pushes; the live traffic takes the
// whole queue on the main-loop thread.

#include <cstdint>
#include <deque>

namespace tzo {

enum SimNotificationKind : std::uint32_t {
    NOTIFY_LIVE_CREATED = 0,   // info record id, value2 altitude above ground
    NOTIFY_STATIC_CREATED = 1, // info record id
    NOTIFY_REMOVED = 2,
    NOTIFY_IN_RANGE_DATA = 3,  // info on ground, value1 ground altitude, value2 altitude above ground
    NOTIFY_STATIC_CG = 4,      // value1 static CG to ground, value2 static pitch
    NOTIFY_DEFERRED = 5,       // the live traffic's own kind, never pushed here
    NOTIFY_CREATE_FAILED = 6,  // info record id
    // The simulator never named an object for the creation: the record waits
    // no longer. Info record id.
    NOTIFY_CREATION_GIVEN_UP = 7,
    // An object the record took by its callsign is another creation's (the
    // simulator's answer said so): the record lets go of it and waits for
    // its own again. Info record id.
    NOTIFY_OBJECT_TAKEN_BACK = 8,
};

struct SimNotification {
    std::uint32_t objectId = 0; // 0 when unknown
    std::uint32_t info = 0;     // record id, or the on-ground flag for kind 3
    std::int32_t retries = 0;   // counted by the consumer
    std::uint32_t kind = 0;     // SimNotificationKind
    double value1 = 0.0;
    double value2 = 0.0;
};

void gf_pushSimNotification(const SimNotification& notification);
// Everything queued so far, in order; the queue is left empty.
std::deque<SimNotification> gf_takeSimNotifications();
void gf_clearSimNotifications();

} // namespace tzo
