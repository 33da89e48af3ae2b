#include "app/window_state_lines.hpp"

#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/readers.hpp"

#include <fmt/format.h>

#include <mutex>

namespace tzo {

namespace {

using Clock = WindowStateLines::Clock;

constexpr auto kCountsInterval = std::chrono::minutes(1);
// The first counts are shown once they have held this long, at the latest
// this long after the first aircraft: the static aircraft come one by one,
// and the first of them alone says little.
constexpr auto kCountsSettle = std::chrono::seconds(3);
constexpr auto kFirstCountsLongest = std::chrono::seconds(8);
// A feed opened this recently has had no time to send: its silence is said
// only when it lasts.
constexpr auto kFeedGrace = std::chrono::seconds(30);

std::mutex g_linesMutex;
WindowStateLines g_lines;

WindowStateFacts::Feed lf_feedFacts(const UdpReader& reader, const std::atomic<int>& state)
{
    return {reader.boundPort() != 0, reader.datagramCount(), state.load() == kReaderSilent};
}

} // namespace

void WindowStateLines::feed(const char* name, Feed& shown, const WindowStateFacts::Feed& now, bool quiet,
                            Clock::time_point clock, std::vector<std::string>& out)
{
    auto say = [&](std::string_view what) {
        if (!quiet)
            out.push_back(fmt::format("{} feed: {}", name, what));
    };
    if (!now.open) {
        if (shown.state != FeedState::stopped)
            say("stopped");
        shown.state = FeedState::stopped;
        return;
    }
    if (shown.state == FeedState::stopped) {
        shown = Feed{FeedState::open, clock, now.datagrams, false};
        say("open, waiting for RealTraffic");
    }
    if (now.silent) {
        if (shown.state != FeedState::silent && clock - shown.openedAt >= kFeedGrace) {
            shown.state = FeedState::silent;
            say("nothing received for a while: is RealTraffic running and sending to this machine?");
        }
        return;
    }
    if (now.datagrams == shown.datagramsAtOpen || shown.state == FeedState::receiving)
        return;
    say(shown.received ? "RealTraffic sends again" : "receiving from RealTraffic");
    shown.state = FeedState::receiving;
    shown.received = true;
}

void WindowStateLines::counts(const WindowStateFacts::Counts& now, bool quiet, Clock::time_point clock,
                              std::vector<std::string>& out)
{
    if (quiet) {
        // The program takes its aircraft away itself; after a restart the
        // first ones are news again.
        m_counts = {};
        m_countsAt.reset();
        m_firstAircraftAt.reset();
        return;
    }
    if (now != m_seen) {
        m_seen = now;
        m_seenAt = clock;
    }
    if (now == m_counts) {
        m_firstAircraftAt.reset();
        return;
    }
    bool due = false;
    if (m_counts == WindowStateFacts::Counts{}) {
        if (!m_firstAircraftAt)
            m_firstAircraftAt = clock;
        due = clock - m_seenAt >= kCountsSettle || clock - *m_firstAircraftAt >= kFirstCountsLongest;
    } else {
        // Counts that never stand still are shown all the same.
        due = !m_countsAt || clock - *m_countsAt >= kCountsInterval;
    }
    if (!due)
        return;
    m_counts = now;
    m_countsAt = clock;
    m_firstAircraftAt.reset();
    out.push_back(fmt::format("Aircraft in the simulator: {} live, {} parked live, {} parked static", now.live,
                              now.parkedLive, now.parkedStatic));
}

std::vector<std::string> WindowStateLines::lines(const WindowStateFacts& facts, Clock::time_point now)
{
    std::vector<std::string> out;
    const bool quiet = facts.programCloses;
    // The simulator's connect is said by its own line.
    if (m_simConnected && !facts.simConnected && !quiet)
        out.emplace_back("Simulator link: lost");
    m_simConnected = facts.simConnected;
    feed("Traffic", m_traffic, facts.traffic, quiet, now, out);
    feed("Weather", m_weather, facts.weather, quiet, now, out);
    counts(facts.counts, quiet, now, out);
    return out;
}

void gf_reportWindowState()
{
    if (!gf_windowless())
        return;
    auto& o = mainWindowObject;
    WindowStateFacts facts;
    facts.simConnected = o.simConnected.load();
    facts.programCloses = exiting.load() || rtError.load();
    facts.traffic = lf_feedFacts(trafficReader, ::trafficReaderState);
    facts.weather = lf_feedFacts(qnhReader, ::weatherReaderState);
    facts.counts = {o.liveShown.load(), o.parkedLive.load(), o.parkedStatic.load()};
    std::lock_guard lock(g_linesMutex);
    for (const std::string& line : g_lines.lines(facts, Clock::now()))
        gf_logProgressLine(line);
}

} // namespace tzo
