#pragma once
// What the simulator did with the program's objects, acted on by the main
// loop: a new object goes to its aircraft and gets its lights, engines and
// surfaces two seconds later; the ground under a live aircraft is followed
// and its touchdown noticed; centre-of-gravity data is taken; refused and
// removed objects take their records with them. Also the end of live traffic
// when RealTraffic goes away.

#include "simconnect/sim_notifications.hpp"
#include "traffic/live_aircraft.hpp"

#include <cstdint>

// gf_processSimNotifications is declared with the live steps.

// Gives the new object to the aircraft; false when the id is refused.
bool liveAIAdded(tzo::LiveAircraft& aircraft, const tzo::SimNotification& notification);
// The per-tick step of a pending-lights entry; entry.retries counts its ticks
// and is -1 once it finished. finished is set when it did.
void gf_allLightsToggle(bool& finished, tzo::SimNotification& entry);
// The simulator removed the object: its record leaves its table, or a record
// that changes its livery is made ready to be created again.
void lf_onAiObjectRemoved(std::uint32_t objectId);
// A blocked aircraft named by its record id goes (kind 5).
void lf_removeBlocked(std::uint32_t recordId, tzo::LiveAircraft& aircraft);

// RealTraffic went away: asks the main loop to drop the live traffic with its
// next tick (any thread). Installed as the RealTraffic link's hook.
void gf_requestDropLiveTraffic();
// Served by gf_processSimNotifications: aircraft in the simulator removed,
// queued creations taken back, a creation already sent removed when its
// object shows up, new records erased.
void gf_dropLiveTraffic();
// Installs gf_requestDropLiveTraffic into the RealTraffic link's hooks,
// keeping the others.
void gf_installTrafficHooks();
