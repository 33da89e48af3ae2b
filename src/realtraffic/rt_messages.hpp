#pragma once
// What the program says to RealTraffic over the TCP server (rt_server.hpp):
// the version query at connection time, the user aircraft's position once a
// second, the simulator time for the professional edition, and the re-accept
// of a RealTraffic that went away.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tzo {

struct UserAircraftState;

// "Qs121=pitch;bank;heading;altitude;speed;latitude;longitude\r\n" with pitch
// and bank in radians x 100000, altitude in feet x 1000 (whole numbers),
// heading and the position in radians with six decimals and the ground speed
// in knots x 1000 in its shortest form; every number in plain decimal, never
// with an exponent, and a value that is not finite written as 0.
std::string gf_positionMessage(const UserAircraftState& user);
// "Qs123=" with the Unix time in milliseconds.
std::string gf_timeMessage(std::int64_t unixSeconds);

inline constexpr std::string_view kVersionQuery = "Qs999=version\r\n";
// How long the handshake waits for a whole version reply.
inline constexpr std::chrono::milliseconds kVersionReplyTimeout{5000};
// A reply longer than this without a whole JSON object is not RealTraffic's.
inline constexpr std::size_t kVersionReplyLimit = 16384;
// Connections that went before RealTraffic's are tried at most this many at
// a time on the main loop.
inline constexpr int kConnectionsTriedPerCall = 64;

struct RealTrafficVersion {
    std::string version;      // "?" when the reply does not say
    bool professional = true; // "level" 2, or no level at all
};

// Parses a whole version reply; nullopt, with a log line, for anything but a
// JSON object of the expected kinds of values.
std::optional<RealTrafficVersion> gf_parseRealTrafficVersion(std::string_view reply);

// Whether the text holds one whole JSON object so far (white space around it
// allowed): the handshake reads on until it does.
enum class JsonObjectState { Incomplete, Complete, NotAnObject };
JsonObjectState gf_jsonObjectState(std::string_view text);

// The services of upper layers that the link calls. Installed once at start
// before the link is used; an empty hook does nothing.
struct RealTrafficHooks {
    // The window's RealTraffic line; the shell also repaints.
    void (*showRealTrafficText)(std::string_view text) = nullptr;
    // RealTraffic went away: the live traffic that came from it is removed
    // (aircraft in the simulator are removed, queued creations dropped).
    void (*dropLiveTraffic)() = nullptr;
};
void gf_installRealTrafficHooks(const RealTrafficHooks& hooks);
// The hooks installed so far, so that a layer can fill in its own and keep the others.
RealTrafficHooks gf_realTrafficHooks();

} // namespace tzo

// rtProfessional (simconnect/sim_dispatch.hpp), read there, is set here: the
// connected RealTraffic is the professional edition; cleared when no usable
// version reply came.
// The airport archive's week, set by the start-up, shown with the version.
extern std::atomic<std::uint32_t> archiveWeek;

// Start of operations: the TCP server is used only while RealTraffic runs on
// this computer and the Aerowinx mode is off. Then it is created (throws as
// createServer does) and true is answered; otherwise the UDP link is the only
// one and counts as up at once.
bool gf_startRealTrafficServer();

// The handshake on the start-up thread: waits for RealTraffic to connect,
// asks for its version and reads the reply until it is whole, replyTimeout
// has passed or it cannot be one. RealTraffic answers with one JSON object, or
// stays silent (then it counts as RealTraffic without a version); a
// connection that closes before the reply is whole, or answers with anything
// else, is no RealTraffic: it is dropped and the next one waited for.
// Nothing without a server.
void gf_connectRealTraffic(std::chrono::milliseconds replyTimeout = tzo::kVersionReplyTimeout);
// Takes a version reply (empty: none came).
void lf_readRealTrafficVersion(std::string_view reply);
// "Qs123=" to a connected professional edition, for a time of at least 1 s.
void gf_sendTimeToRealTraffic(std::int64_t unixSeconds);
// "Qs121=" from the main loop's copy of the user aircraft state, once a
// second. While RealTraffic is gone, a check for its return that never
// blocks: a waiting connection is accepted and asked for the version, and its
// reply read as far as it has come at each call; one that closes before it
// answers, or answers with anything but a JSON object, is dropped without
// touching the live traffic, and the next one tried.
void gf_sendPositionToRealTraffic(const tzo::UserAircraftState& user);
