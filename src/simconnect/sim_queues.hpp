#pragma once
// Everything the program asks of the simulator goes out on the connection
// thread, in one burst per simulator frame: positions, client events,
// creations and removals wait in queues under simQueueMutex until the frame
// drain sends them. A few requests go out at once, under the same mutex.

#include "simconnect/simconnect.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tzo {

// The eight doubles of data definition 402, then the object they are for.
struct PositionUpdate {
    double latitude = 0.0;      // degrees
    double longitude = 0.0;     // degrees
    double pitch = 0.0;         // radians
    double bank = 0.0;          // radians
    double heading = 0.0;       // true, radians
    double altitude = 0.0;      // feet
    double verticalSpeed = 0.0; // feet per second
    double trueAirspeed = 0.0;  // knots
    std::uint32_t objectId = 0;
};

struct EventCommand {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0; // a ClientEventId
    std::uint32_t value = 0;
};

struct CreateRequest {
    SimConnectInitPosition position;
    std::string callsign;         // the tail number the simulator gets
    std::string_view liveryTitle; // views the livery catalogue's title
    std::uint32_t recordId = 0;   // above 10000 a live aircraft's hex id, else a static aircraft
};

struct PendingCreation {
    std::uint32_t sendId = 0; // packet id of the creation request
    std::uint32_t recordId = 0;
    std::string callsign;
    std::uint32_t requestId = 0; // the creation's own request id (sim_ids.hpp)
    std::uint32_t objectId = 0;  // named by the simulator's answer; 0 until then
    std::uint64_t sentAtSecond = 0; // the simulator's seconds counted when it went out
};

struct LightStates {
    std::uint32_t nav = 0;
    std::uint32_t beacon = 0;
    std::uint32_t landing = 0;
    std::uint32_t taxi = 0;
    std::uint32_t strobes = 0;
    std::uint32_t logo = 0;
    std::uint32_t cabin = 0;
};

// The data of definition 403, in order (96 bytes on the wire).
struct UserAircraftState {
    double latitude = 0.0;         // degrees
    double longitude = 0.0;        // degrees
    double pitch = 0.0;            // radians
    double bank = 0.0;             // radians
    double heading = 0.0;          // true, radians
    double altitude = 0.0;         // feet, never negative
    double altitudeAboveGround = 0.0;
    double groundSpeed = 0.0;      // knots
    std::int64_t zuluTime = 0;     // seconds of the day
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;
};
inline constexpr std::size_t kUserAircraftStateSize = 96;

// Near 0,0 means no position yet: latitude 0..0.0009 and longitude 0..0.05, ends included.
bool gf_isNearZero(double latitude, double longitude);

} // namespace tzo

// The connection, written by the connection thread; null while there is none.
extern std::atomic<SimConnectHandle> simConnectHandle;

// Guards the queues below and serialises every simulator call made outside
// the connection thread.
extern std::mutex simQueueMutex;
extern std::vector<tzo::PositionUpdate> positionsFilling; // the live traffic's current tick
extern std::vector<tzo::PositionUpdate> positionsToSend;  // sent by the next frame
extern std::vector<tzo::EventCommand> eventQueue;
extern std::vector<tzo::CreateRequest> createQueue;
extern std::vector<std::uint32_t> removeQueue;
// Sent and not yet handed to the main loop (sim_creations.hpp); the
// connection thread's alone.
extern std::vector<tzo::PendingCreation> pendingCreations;

extern std::atomic<std::int32_t> simRequestErrorCount;
// From the third failed request on nothing more is sent.
extern std::atomic<bool> simErrorFlag;
// The user aircraft's object id from the last state answer; 2 before it.
// Every object id at or below it is not one of the program's AI objects.
extern std::atomic<std::uint32_t> userObjectId;
inline constexpr std::uint32_t kUserObjectIdBeforeAnswer = 2;
// Stored every 30th frame; 0 until then.
extern std::atomic<float> simFrameRate;

// Queueing, each under simQueueMutex.
void gf_queueCreateAircraft(const tzo::CreateRequest& request);
void gf_queueEngineShutdown(std::uint32_t objectId);
void gf_queueEngineStart(std::uint32_t objectId);
void gf_queueLights(std::uint32_t objectId, const tzo::LightStates& lights);
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value);
// Sets an AI object's spoilers handle and both throttle levers (percent,
// data definition 401) at once, not queued: a landing aircraft must brake in
// the frame it touches down. Objects that are not the program's own, and
// every object while requests fail, are left alone.
void gf_setAiGroundData(std::uint32_t objectId, double spoilersPercent, double throttlePercent);
// Releases AI control at once, then queues the three freezes.
void lf_releaseAndFreeze(std::uint32_t objectId);

// The end of a live-traffic tick: its positions become the ones to send. When
// the drain is busy and the simulator runs at 50 frames or less, the tick's
// positions are dropped instead of waited for.
void gf_handOverPositions();

// Asks for the user aircraft's state (unless requests are failing) and answers
// the state received last, that is the answer to the previous request.
tzo::UserAircraftState gf_requestUserAircraftState();
// The last state received, without asking again.
tzo::UserAircraftState gf_receivedUserState();
void gf_requestUserTitleAndModel();
// Counts a failed request; the third and later show the error and restart.
void gf_simConnectRequestError();
// A data request that failed: the marked line and a failed request, or, when
// only the simulator's slowness refused it, said with the others of its kind
// (once, then with their count and the aircraft concerned) and not counted.
void lf_requestFailed(SimConnectResult rc, std::string_view line, const std::string& aircraft);

// The frame drain and its parts; on the connection thread.
void lf_flushSimQueues();
void lf_createAiAircraft(const tzo::CreateRequest& request);
// False when the simulator reads too slowly to take the removal now: it stays queued.
bool lf_removeAiAircraft(std::uint32_t objectId);

// Start of operations: room for 256 entries in every queue and list; requests
// may be sent again.
void gf_reserveSimContainers();
// A restart: the connection forgotten, every queue and list emptied (the
// notifications too), the counters and the user aircraft's state back to
// their start values.
void gf_resetSimConnection();

// Internal to the layer: stores an answer to the user state request.
void lf_storeReceivedUserState(const tzo::UserAircraftState& state);
