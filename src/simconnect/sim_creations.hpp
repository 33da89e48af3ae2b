#pragma once
// AI creations between their request and the main loop's notification. Each
// creation goes out with a request id of its own (sim_ids.hpp) and waits in
// pendingCreations until the simulator's answer names its object, wherever
// that object is; the object is then released and frozen, its data asked for
// once, and with that data the main loop is told (kind 0 or 1). An object
// that shows up among the aircraft around the user with the callsign of a
// creation still unanswered is taken by that callsign instead, as before.
//
// Every AI-creation answer on this connection answers a request of ours, so
// the object it names is ours, whatever is remembered of the request. The
// answer decides who owns the object: one that names it for a creation that
// no longer waits (given up, answered, or not known) has it removed at once;
// one that names an object that the callsign took for another creation takes
// it back, and that creation waits again for its own object. Objects are
// remembered with their owner until the simulator reports them removed, so
// no count limit ever decides whether an object of ours stays. One removed
// before an answer named it (taken by a callsign, or not known at all while
// creations wait) is remembered as removed until the answers that may name
// it have come or are given up; the answer that names it gives it to no
// creation (the creation it answers is given up) and removes nothing: no
// record holds an object the simulator does not have, and no object is
// removed twice.
//
// A creation unanswered for kCreationAnswerTime of the simulator's own
// seconds (its once-a-second answers) is given up (kind 7). Connection
// thread only.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tzo {

inline constexpr std::chrono::seconds kCreationAnswerTime{30};

} // namespace tzo

// The request id of the next creation.
std::uint32_t lf_nextCreationRequestId();

// One more second of the simulator's (its once-a-second answer came).
void lf_countSimSecond();
// The simulator's seconds counted on this connection.
std::uint64_t lf_simSecondsCounted();

// The simulator's answer to a creation request: the new object's id.
void lf_onAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId);
// The data of a newly named object (its own request, or the aircraft around
// the user, whichever comes first): the main loop is told. False when no
// creation waits for that object's data.
bool lf_onNewObjectData(std::uint32_t objectId, double aboveGroundFt);
// The simulator removed the object: it is forgotten (one that an answer may
// still name, once that answer came or was given up), no removal of it is
// sent, and a creation that waited for its data is given up.
void lf_onObjectGone(std::uint32_t objectId);
// How a line names the object: the callsign it was created with, else "object N".
std::string lf_aircraftOfObject(std::uint32_t objectId);
// Whether the object is one that a creation of this connection got or that
// an answer named (an "ObjectAdded" for it announces nothing new).
bool lf_isCreatedObject(std::uint32_t objectId);

// The record id of the first creation with this callsign that no answer has
// named an object for yet, taken out of the list; the object is remembered
// as taken by that callsign. 0 when there is none (an empty callsign never
// matches), or when the object is already owned or named by an answer.
std::uint32_t lf_takePendingCreation(std::string_view callsign, std::uint32_t objectId = 0);
// The record id of the creation sent with this packet, taken out; 0 when none.
std::uint32_t lf_takePendingCreationBySendId(std::uint32_t sendId);

// Gives up creations unanswered for kCreationAnswerTime, and tells the main
// loop of objects named that long ago whose data never came. Every frame.
void lf_expirePendingCreations();

// A new connection: nothing remembered of the old one's creations.
void lf_resetCreations();
