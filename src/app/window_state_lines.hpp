#pragma once
// Without a window nobody sees its statistics band and park-airport box: the
// terminal gets what they show instead, as lines, and only what no other
// line says already. A simulator link that the simulator lost (its connect
// has a line of its own, and so has every change of RealTraffic's TCP link);
// each feed when it opens, when its first datagram comes, when it has sent
// nothing for a while and when it sends again; the aircraft counts within
// seconds of the first aircraft, then at most once a minute while they
// change. What the program takes down itself (it ends or restarts, or a
// reader failed and ends it) is not said. With a window nothing is written.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tzo {

// Called after every change the window would repaint for (any thread) and
// once a second by the main loop's counter refresh.
void gf_reportWindowState();

// What the lines are made of, as gf_reportWindowState reads it.
struct WindowStateFacts {
    struct Feed {
        bool open = false;             // its reader's socket is bound
        std::uint32_t datagrams = 0;   // received so far
        bool silent = false;           // nothing since the last alive check
    };
    struct Counts {
        std::uint32_t live = 0;
        std::int32_t parkedLive = 0;
        std::int32_t parkedStatic = 0;
        bool operator==(const Counts&) const = default;
    };
    bool simConnected = false;
    // An exit runs or a reader failed: the program closes its links itself.
    bool programCloses = false;
    Feed traffic;
    Feed weather;
    Counts counts;
};

// The lines for each new look at the facts, at the time given.
class WindowStateLines {
public:
    using Clock = std::chrono::steady_clock;
    std::vector<std::string> lines(const WindowStateFacts& facts, Clock::time_point now);

private:
    enum class FeedState { stopped, open, receiving, silent };
    struct Feed {
        FeedState state = FeedState::stopped;
        Clock::time_point openedAt;
        std::uint32_t datagramsAtOpen = 0;
        bool received = false;
    };
    void feed(const char* name, Feed& shown, const WindowStateFacts::Feed& now, bool quiet, Clock::time_point clock,
              std::vector<std::string>& out);
    void counts(const WindowStateFacts::Counts& now, bool quiet, Clock::time_point clock,
                std::vector<std::string>& out);

    bool m_simConnected = false;
    Feed m_traffic;
    Feed m_weather;
    WindowStateFacts::Counts m_counts;
    std::optional<Clock::time_point> m_countsAt;
    std::optional<Clock::time_point> m_firstAircraftAt;
    WindowStateFacts::Counts m_seen;
    Clock::time_point m_seenAt;
};

} // namespace tzo
