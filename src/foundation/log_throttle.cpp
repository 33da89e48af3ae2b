#include "foundation/log_throttle.hpp"

#include "foundation/log.hpp"

#include <fmt/format.h>

namespace tzo {

namespace {

void lf_logHeldBack(std::uint64_t count)
{
    if (count != 0)
        gf_logLine(fmt::format("{} similar lines were left out of the log", count));
}

} // namespace

LogThrottle::LogThrottle(std::size_t linesPerPeriod, std::chrono::steady_clock::duration period)
    : m_linesPerPeriod(linesPerPeriod), m_period(period)
{
}

bool LogThrottle::log(std::string_view line)
{
    std::uint64_t heldBack = 0;
    {
        std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!m_started || now - m_periodStart >= m_period) {
            m_started = true;
            m_periodStart = now;
            m_used = 0;
        }
        if (m_used >= m_linesPerPeriod) {
            ++m_heldBack;
            return false;
        }
        ++m_used;
        heldBack = m_heldBack;
        m_heldBack = 0;
    }
    // The log has its own mutex; never hold both.
    lf_logHeldBack(heldBack);
    gf_logLine(line);
    return true;
}

void LogThrottle::reset()
{
    std::lock_guard lock(m_mutex);
    m_started = false;
    m_used = 0;
    m_heldBack = 0;
}

std::string gf_loggedExcerpt(std::string_view text, std::size_t maxBytes)
{
    std::size_t length = text.size();
    if (length > maxBytes) {
        length = maxBytes;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::string shown(text.substr(0, length));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    if (length < text.size())
        shown += " ...";
    return shown;
}

} // namespace tzo
