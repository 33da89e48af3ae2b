#pragma once
// The numbers the program registers with the simulator. They travel as they
// stand and come back in the simulator's messages, so they never change.

#include <cstdint>

namespace tzo {

// Subscribed system events.
enum SystemEventId : std::uint32_t {
    EVENT_SIM = 201,
    EVENT_OBJECT_ADDED = 202,
    EVENT_OBJECT_REMOVED = 203,
    EVENT_FRAME = 204,
    EVENT_POSITION_CHANGED = 205,
    EVENT_FLIGHT_LOADED = 206,
};

enum DataDefinitionId : std::uint32_t {
    DEFINITION_AI_THROTTLES = 401, // spoilers and two throttles of an AI object
    DEFINITION_AI_POSITION = 402,  // PositionUpdate
    DEFINITION_USER_STATE = 403,   // UserAircraftState
    DEFINITION_IN_RANGE = 404,     // aircraft within the traffic range
    DEFINITION_STATIC_CG = 405,    // static centre of gravity of one AI object
    DEFINITION_LIGHT_ON = 406,     // registered, never requested
    DEFINITION_USER_TITLE = 407,
    DEFINITION_USER_MODEL = 408,
    DEFINITION_USER_ON_GROUND = 409,
};

// Client events, each mapped to the simulator event of the same name.
enum ClientEventId : std::uint32_t {
    BEACON_LIGHTS_SET = 207,
    NAV_LIGHTS_SET = 208,
    TAXI_LIGHTS_SET = 209,
    STROBES_SET = 210,
    LANDING_LIGHTS_SET = 211,
    CABIN_LIGHTS_SET = 212,
    LOGO_LIGHTS_SET = 213,
    ALL_LIGHTS_TOGGLE = 214,
    FREEZE_LATITUDE_LONGITUDE_SET = 215,
    FREEZE_ALTITUDE_SET = 216,
    FREEZE_ATTITUDE_SET = 217,
    FLAPS_SET = 218,
    SPOILERS_SET = 219,
    GEAR_SET = 220,
    ENGINE_AUTO_START = 221,
    ENGINE_AUTO_SHUTDOWN = 222,
    THROTTLE_SET = 223,
};

// The one notification group; every transmitted client event names it.
enum NotificationGroupId : std::uint32_t {
    GROUP_ALL = 301,
};

enum RequestId : std::uint32_t {
    REQUEST_IN_RANGE = 101,       // definition 404, objects of type aircraft within rangeMetres
    REQUEST_STATIC_CG = 102,      // definition 405, one AI object, once
    REQUEST_RELEASE = 103,        // AIReleaseControl
    REQUEST_REMOVE = 105,         // AIRemoveObject
    REQUEST_USER_TITLE = 106,     // definition 407, user, once
    REQUEST_USER_MODEL = 107,     // definition 408, user, once
    REQUEST_USER_ON_GROUND = 108, // definition 409, user, every second
    REQUEST_USER_STATE = 109,     // definition 403, user, once
    REQUEST_FLIGHT_PLAN = 110,    // AISetAircraftFlightPlan
    REQUEST_NEW_OBJECT = 111,     // definition 404, one newly created AI object, once
};

// Each AI creation is sent with a request id of its own from this range, so
// that the simulator's answer naming the new object tells which creation it
// answers. Ids below it are the fixed ones above.
inline constexpr std::uint32_t kFirstCreationRequestId = 0x00010000;

inline constexpr bool gf_isCreationRequestId(std::uint32_t requestId)
{
    return requestId >= kFirstCreationRequestId;
}

// The simulator's name for the event, for the events the program maps.
const char* gf_clientEventName(ClientEventId id);

} // namespace tzo
