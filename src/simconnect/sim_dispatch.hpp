#pragma once
// The dispatch procedure: turns every message of the simulator into the
// program's state (flight running, the user aircraft, AI objects appearing
// and vanishing, answers to requests, the frame rhythm) and hands what the
// main loop must act on over as SimNotifications. Runs on the connection
// thread only.

#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_user_aircraft.hpp"
#include "simconnect/simconnect.hpp"

#include <cstdint>
#include <vector>

// Aircraft announced by "ObjectAdded" whose data has not come yet; the
// connection thread's alone.
extern std::vector<std::uint32_t> addedObjectIds;

// Handed to SimConnect_CallDispatch; the context is not used. Handlers may
// throw tzo::UserErrorException, which ends the connection thread.
void lf_dispatch(SimConnectRecv* pData, std::uint32_t cbData, void* pContext);

// Internal to the layer.
void lf_reserveAddedObjects(std::size_t count);
void lf_resetDispatchState();
