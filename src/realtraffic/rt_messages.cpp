#include "realtraffic/rt_messages.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/rt_server.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_queues.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

std::atomic<std::uint32_t> archiveWeek{0};

namespace tzo {

namespace {

// How much of a refused reply the log shows.
constexpr std::size_t kLoggedReplyLength = 200;

std::atomic<void (*)(std::string_view)> g_showRealTrafficText{nullptr};
std::atomic<void (*)()> g_dropLiveTraffic{nullptr};

// The reply as the log shows it: bounded, one line.
std::string lf_loggedReply(std::string_view reply)
{
    std::string text(reply.substr(0, kLoggedReplyLength));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    if (reply.size() > kLoggedReplyLength)
        text += " ...";
    return text;
}

// RealTraffic reads numbers, never "nan" or "inf".
double lf_finiteOrZero(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

// The shortest text that reads back as the same double, in plain decimal
// (0.00009999999999999999, never 9.999999999999999e-05).
std::string lf_shortestPlainDecimal(double value)
{
    // The longest such text, that of the smallest subnormal, has 327 characters.
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, lf_finiteOrZero(value), std::chars_format::fixed);
    if (ec != std::errc{})
        return "0";
    return std::string(buffer, end);
}

bool lf_isEmptyValue(const nlohmann::json& value)
{
    return value.is_null() || ((value.is_object() || value.is_array()) && value.empty());
}

// A connection asked for the version on the main loop, not yet taken for
// RealTraffic: its reply is read a little at every call, never waited for.
// Main loop only (the start-up asks before the main loop runs).
struct Candidate {
    std::atomic<bool> waiting{false};
    std::string reply;
    std::chrono::steady_clock::time_point deadline{};
};
Candidate g_candidate;

// Any program on this computer may open connections and drop them unasked.
LogThrottle g_notRealTrafficLog{1, std::chrono::minutes(1)};

// How much of what a connection that is not RealTraffic sent the log shows.
constexpr std::size_t kLoggedStrangerLength = 40;

// What the bytes read so far after the version query say about the peer.
enum class ReplyState {
    Pending,        // nothing yet, or the start of a JSON object: read on
    Answered,       // one whole JSON object: RealTraffic
    NotRealTraffic, // anything else, or closed before the answer was whole
};

// RealTraffic answers with one JSON object and nothing else. Bytes that
// cannot become one (an HTTP request, a probe) mark another program, whatever
// it does next: were it taken for RealTraffic, its close would take the live
// traffic with it.
ReplyState lf_judgeReply(const std::string& reply)
{
    if (reply.size() > kVersionReplyLimit)
        return ReplyState::NotRealTraffic;
    switch (gf_jsonObjectState(reply)) {
    case JsonObjectState::Incomplete:
        return ReplyState::Pending;
    case JsonObjectState::NotAnObject:
        return ReplyState::NotRealTraffic;
    case JsonObjectState::Complete:
        break;
    }
    return nlohmann::json::accept(reply) ? ReplyState::Answered : ReplyState::NotRealTraffic;
}

// Reads more of the reply for at most timeout (zero: only what is there).
// Pending when the time ran out first, the connection still open.
ReplyState lf_readReply(std::string& reply, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const ReplyState state = lf_judgeReply(reply);
        if (state != ReplyState::Pending)
            return state;
        const auto left = std::max(std::chrono::milliseconds(0),
                                   std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
        const Reply chunk = receiveReply(left);
        if (chunk.closed)
            return ReplyState::NotRealTraffic;
        if (chunk.text.empty())
            return ReplyState::Pending; // nothing more in time
        reply += chunk.text;
    }
}

// A connection that closed before it answered the version, or answered with
// something else, was never RealTraffic (a port scan, a web browser, a
// program that gave up): it goes without a word to RealTraffic's traffic.
void lf_notRealTraffic(const std::string& reply)
{
    g_candidate.waiting.store(false);
    dropClient();
    if (reply.find_first_not_of(" \t\r\n") == std::string::npos) {
        g_notRealTrafficLog.log("A connection closed before it answered the version query: not RealTraffic, dropped");
        return;
    }
    g_notRealTrafficLog.log(
        fmt::format("A connection answered the version query with no JSON object: not RealTraffic, dropped: {}",
                    gf_loggedExcerpt(reply, kLoggedStrangerLength)));
}

void lf_takeAsRealTraffic(std::string_view reply)
{
    g_candidate.waiting.store(false);
    lf_readRealTrafficVersion(reply);
    realTrafficConnected.store(true);
    gf_repaintLinkState();
}

// A send failed: RealTraffic is gone, and what came from it with it.
void lf_realTrafficGone()
{
    // An exit clears the traffic and closes the link by itself.
    if (exiting.load())
        return;
    realTrafficConnected.store(false);
    gf_repaintLinkState();
    if (const auto drop = g_dropLiveTraffic.load(std::memory_order_acquire))
        drop();
    gf_resetTrafficInput();
    gf_showStatus(fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_nowUtcText()),
                  true);
}

// Takes RealTraffic back without waiting: a waiting connection is accepted
// and asked for the version, and its reply read as far as it has come at
// each call. One that closes first is dropped and the next waiting one tried,
// at most kConnectionsTriedPerCall in one call; the live traffic is not
// touched.
void lf_takeBackRealTraffic()
{
    // Dead connections queued before RealTraffic's are dropped one after the
    // other; a bounded number per call keeps the main loop's tick short.
    for (int tried = 0; tried < kConnectionsTriedPerCall; ++tried) {
        if (!g_candidate.waiting.load()) {
            if (!waitForClient(std::chrono::milliseconds(0)))
                return;
            g_candidate.reply.clear();
            if (!sendDataPacket(kVersionQuery)) {
                lf_notRealTraffic(g_candidate.reply);
                continue;
            }
            g_candidate.deadline = std::chrono::steady_clock::now() + kVersionReplyTimeout;
            g_candidate.waiting.store(true);
        }
        const ReplyState state = lf_readReply(g_candidate.reply, std::chrono::milliseconds(0));
        if (state == ReplyState::NotRealTraffic) {
            lf_notRealTraffic(g_candidate.reply);
            continue;
        }
        // Still open and no whole reply yet: asked again next time, until the
        // time for the reply is up; then it counts as RealTraffic without a
        // version, as at the start.
        if (state == ReplyState::Pending && std::chrono::steady_clock::now() < g_candidate.deadline)
            return;
        lf_takeAsRealTraffic(g_candidate.reply);
        gf_showStatus(fmt::format("{} RealTraffic re-connected", gf_nowUtcText()), true);
        // Only the log keeps the line; the earlier "gone" line goes too.
        gf_clearStatus();
        return;
    }
}

} // namespace

std::string gf_positionMessage(const UserAircraftState& user)
{
    // Fixed-point throughout: "{:.0}" would give one significant digit in
    // exponent form (3500 ft would go out as "4e+06"), and the shortest form
    // of the speed would write a tiny or huge one with an exponent.
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{};{:.6f};{:.6f}\r\n",
                       lf_finiteOrZero(user.pitch * 100000.0), lf_finiteOrZero(user.bank * 100000.0),
                       lf_finiteOrZero(user.heading), lf_finiteOrZero(user.altitude * 1000.0),
                       lf_shortestPlainDecimal(user.groundSpeed * 1000.0),
                       lf_finiteOrZero(user.latitude * kRadiansPerDegree),
                       lf_finiteOrZero(user.longitude * kRadiansPerDegree));
}

std::string gf_timeMessage(std::int64_t unixSeconds)
{
    return fmt::format("Qs123={}\r\n", unixSeconds * 1000);
}

JsonObjectState gf_jsonObjectState(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == text.size())
        return JsonObjectState::Incomplete;
    if (text[i] != '{')
        return JsonObjectState::NotAnObject;
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '{' || c == '[')
            ++depth;
        else if ((c == '}' || c == ']') && --depth == 0)
            return JsonObjectState::Complete;
    }
    return JsonObjectState::Incomplete;
}

std::optional<RealTrafficVersion> gf_parseRealTrafficVersion(std::string_view reply)
{
    auto refuse = [&](std::string_view why) -> std::optional<RealTrafficVersion> {
        gf_logLineString(fmt::format("RealTraffic version reply refused ({}): {}", why, lf_loggedReply(reply)));
        return std::nullopt;
    };
    const auto json = nlohmann::json::parse(reply, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return refuse("not a JSON object");

    RealTrafficVersion result;
    const auto version = json.find("version");
    if (version == json.end() || lf_isEmptyValue(*version))
        result.version = "?";
    else if (version->is_string())
        result.version = version->get<std::string>();
    else
        return refuse("version is no text");
    if (result.version.empty())
        result.version = "?";

    const auto level = json.find("level");
    if (level == json.end() || lf_isEmptyValue(*level))
        result.professional = true;
    else if (level->is_number())
        result.professional = level->get<double>() == 2.0;
    else
        return refuse("level is no number");
    return result;
}

void gf_installRealTrafficHooks(const RealTrafficHooks& hooks)
{
    g_showRealTrafficText.store(hooks.showRealTrafficText, std::memory_order_release);
    g_dropLiveTraffic.store(hooks.dropLiveTraffic, std::memory_order_release);
}

RealTrafficHooks gf_realTrafficHooks()
{
    RealTrafficHooks hooks;
    hooks.showRealTrafficText = g_showRealTrafficText.load(std::memory_order_acquire);
    hooks.dropLiveTraffic = g_dropLiveTraffic.load(std::memory_order_acquire);
    return hooks;
}

} // namespace tzo

using namespace tzo;

bool gf_startRealTrafficServer()
{
    if (rtOnThisPc.load() && !AEROWINX.value()) {
        createServer(gf_listeningPortText(PORT_NUMBER.value()));
        return true;
    }
    realTrafficConnected.store(true);
    gf_repaintLinkState();
    return false;
}

void gf_connectRealTraffic(std::chrono::milliseconds replyTimeout)
{
    if (!rtOnThisPc.load() || !serverListening())
        return;
    gf_showStatus(fmt::format("Waiting for RealTraffic to connect to {} ...", kProgramName), true);
    gf_resetTrafficInput();
    g_candidate.waiting.store(false);
    g_notRealTrafficLog.reset();
    for (;;) {
        if (!waitForClient())
            return;
        std::string reply;
        if (!sendDataPacket(kVersionQuery) || lf_readReply(reply, replyTimeout) == ReplyState::NotRealTraffic) {
            if (!serverListening())
                return; // the exit closed it
            lf_notRealTraffic(reply);
            continue;
        }
        lf_takeAsRealTraffic(reply);
        gf_logProgressLine("RealTraffic connected");
        return;
    }
}

void lf_readRealTrafficVersion(std::string_view reply)
{
    const auto first = reply.find_first_not_of(" \t\r\n");
    const auto parsed = first == std::string_view::npos ? std::nullopt : gf_parseRealTrafficVersion(reply);
    if (!parsed) {
        gf_showStatus("No RealTraffic version received?", true);
        rtProfessional.store(false);
        return;
    }
    rtProfessional.store(parsed->professional);
    const std::string text = fmt::format("RT{} edition: {}, archive: week {}",
                                         parsed->professional ? " prof" : " stnd", parsed->version,
                                         archiveWeek.load());
    if (const auto show = g_showRealTrafficText.load(std::memory_order_acquire))
        show(text);
}

void gf_sendTimeToRealTraffic(std::int64_t unixSeconds)
{
    // The standard edition gets no time, and milliseconds must fit. A
    // connection not yet known to be RealTraffic gets nothing.
    if (!rtConnected.load() || g_candidate.waiting.load() || !rtProfessional.load() || unixSeconds < 1 ||
        unixSeconds > std::numeric_limits<std::int64_t>::max() / 1000)
        return;
    if (!sendDataPacket(gf_timeMessage(unixSeconds)))
        lf_realTrafficGone();
}

void gf_sendPositionToRealTraffic(const UserAircraftState& user)
{
    // A position that is no number (the simulator has answered NaN) is no
    // position, as 0,0 is none yet.
    if (!rtOnThisPc.load() || gf_isNearZero(user.latitude, user.longitude) || !std::isfinite(user.latitude) ||
        !std::isfinite(user.longitude))
        return;
    if (!rtConnected.load() || g_candidate.waiting.load()) {
        // RealTraffic went away earlier: take it back when it is waiting, but
        // never wait for it on the main loop.
        if (!exiting.load())
            lf_takeBackRealTraffic();
        return;
    }
    if (!sendDataPacket(gf_positionMessage(user)))
        lf_realTrafficGone();
}
