#include "realtraffic/traffic_queue.hpp"

#include "foundation/log.hpp"

#include <fmt/format.h>

tzo::TrafficQueue trafficQueue;

namespace tzo {

namespace {

constexpr auto kDropLogInterval = std::chrono::minutes(1);

} // namespace

TrafficQueue::TrafficQueue(std::size_t capacity)
    : m_capacity(capacity == 0 ? 1 : capacity)
{
}

bool TrafficQueue::push(const TrafficRecord& record)
{
    std::string logText;
    {
        std::lock_guard lock(m_mutex);
        if (!m_intakeOpen)
            return false;
        if (m_records.size() >= m_capacity) {
            m_records.pop_front();
            ++m_dropped;
            const auto now = std::chrono::steady_clock::now();
            if (!m_dropLogged || now - m_lastDropLog >= kDropLogInterval) {
                logText = fmt::format("traffic queue full: {} oldest records dropped ({} in all)",
                                      m_dropped - m_droppedAtLastLog, m_dropped);
                m_droppedAtLastLog = m_dropped;
                m_lastDropLog = now;
                m_dropLogged = true;
            }
        }
        m_records.push_back(record);
        m_records.back().expiryTick = liveTickCounter.load() + kRecordLifeTicks;
    }
    // The log has its own mutex; never hold both.
    if (!logText.empty())
        gf_logLine(logText);
    return true;
}

bool TrafficQueue::pop(TrafficRecord& record)
{
    std::lock_guard lock(m_mutex);
    if (m_records.empty())
        return false;
    record = std::move(m_records.front());
    m_records.pop_front();
    return true;
}

void TrafficQueue::setIntakeOpen(bool open)
{
    std::lock_guard lock(m_mutex);
    m_intakeOpen = open;
}

void TrafficQueue::clear()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

std::size_t TrafficQueue::size() const
{
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

std::uint64_t TrafficQueue::droppedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

} // namespace tzo
