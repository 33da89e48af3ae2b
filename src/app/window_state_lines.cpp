#include "app/window_state_lines.hpp"

#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "foundation/app_hooks.hpp"
#include "realtraffic/link_state.hpp"

#include <fmt/format.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace tzo {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kCountsInterval = std::chrono::minutes(1);
// Counts that keep changing are shown at the latest after this long.
constexpr auto kCountsLongest = std::chrono::minutes(2);
// Counts are shown once they have held this long: the static aircraft come
// one by one, and the first of them alone says little.
constexpr auto kCountsSettle = std::chrono::seconds(5);
// A feed opened this recently has had no time to send: its silence is said
// only when it lasts.
constexpr auto kFeedGrace = std::chrono::seconds(30);

struct Counts {
    std::uint32_t live = 0;
    std::int32_t parkedLive = 0;
    std::int32_t parkedStatic = 0;
    bool operator==(const Counts&) const = default;
};

struct Feed {
    int state = kReaderStopped;
    Clock::time_point openedAt;
};

struct Shown {
    bool simConnected = false;
    bool realTrafficConnected = false;
    Feed traffic;
    Feed weather;
    Counts counts;
    std::optional<Clock::time_point> countsAt;
    Counts seen;
    Clock::time_point seenAt;
};

std::mutex g_shownMutex;
Shown g_shown;

void lf_link(const char* name, bool& shown, bool now)
{
    if (shown == now)
        return;
    shown = now;
    gf_logProgressLine(fmt::format("{} link: {}", name, now ? "connected" : "lost"));
}

void lf_feed(const char* name, Feed& shown, int now, Clock::time_point clock)
{
    if (shown.state == now)
        return;
    if (now == kReaderSilent && clock - shown.openedAt < kFeedGrace)
        return;
    const int before = shown.state;
    shown.state = now;
    if (before == kReaderStopped)
        shown.openedAt = clock;
    switch (now) {
    case kReaderReceiving:
        gf_logProgressLine(fmt::format("{} feed: {}", name,
                                       before == kReaderSilent ? "RealTraffic sends again" : "open, waiting for RealTraffic"));
        break;
    case kReaderSilent:
        gf_logProgressLine(fmt::format("{} feed: nothing received for a while: is RealTraffic running and sending to "
                                       "this machine?",
                                       name));
        break;
    default:
        gf_logProgressLine(fmt::format("{} feed: stopped", name));
        break;
    }
}

} // namespace

void gf_reportWindowState()
{
    if (!gf_windowless())
        return;
    auto& o = mainWindowObject;
    std::lock_guard lock(g_shownMutex);
    const auto clock = Clock::now();
    lf_link("Simulator", g_shown.simConnected, o.simConnected.load());
    lf_link("RealTraffic", g_shown.realTrafficConnected, ::realTrafficConnected.load());
    lf_feed("Traffic", g_shown.traffic, ::trafficReaderState.load(), clock);
    lf_feed("Weather", g_shown.weather, ::weatherReaderState.load(), clock);

    const Counts now{o.liveShown.load(), o.parkedLive.load(), o.parkedStatic.load()};
    if (now == g_shown.counts)
        return;
    if (now != g_shown.seen) {
        g_shown.seen = now;
        g_shown.seenAt = clock;
    }
    const bool settled = clock - g_shown.seenAt >= kCountsSettle;
    const bool due = !g_shown.countsAt || clock - *g_shown.countsAt >= kCountsInterval;
    const bool overdue = g_shown.countsAt && clock - *g_shown.countsAt >= kCountsLongest;
    if (!(due && settled) && !overdue)
        return;
    g_shown.counts = now;
    g_shown.countsAt = clock;
    gf_logProgressLine(fmt::format("Aircraft in the simulator: {} live, {} parked live, {} parked static", now.live,
                                   now.parkedLive, now.parkedStatic));
}

} // namespace tzo
