#pragma once
// Log lines about bad input, held to a budget: whoever can send datagrams to
// the readers, or messages as the simulator, must not be able to fill
// "Log.txt" (and the disk) with them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tzo {

class LogThrottle {
public:
    // Enough lines a minute to see what goes wrong, few enough that a flood
    // of datagrams costs a few hundred kilobytes an hour at the most.
    static constexpr std::size_t kDefaultLinesPerPeriod = 20;
    static constexpr std::chrono::seconds kDefaultPeriod{60};

    explicit LogThrottle(std::size_t linesPerPeriod = kDefaultLinesPerPeriod,
                         std::chrono::steady_clock::duration period = kDefaultPeriod);

    // Writes the line unless this period's lines are used up; the lines held
    // back are counted, and the count is logged before the next line that
    // goes out. True when the line was written.
    bool log(std::string_view line);
    // Starts afresh, forgetting the lines held back: for a new source of
    // them (a new server, a new start).
    void reset();

private:
    std::mutex m_mutex;
    std::size_t m_linesPerPeriod;
    std::chrono::steady_clock::duration m_period;
    std::chrono::steady_clock::time_point m_periodStart{};
    bool m_started = false;
    std::size_t m_used = 0;
    std::uint64_t m_heldBack = 0;
};

// Outside text (a datagram, a field of a file) as a log line shows it: one
// line (control characters become blanks), at most maxBytes of it, cut at a
// character boundary and marked " ..." when cut.
inline constexpr std::size_t kLoggedExcerptBytes = 200;
std::string gf_loggedExcerpt(std::string_view text, std::size_t maxBytes = kLoggedExcerptBytes);

} // namespace tzo
