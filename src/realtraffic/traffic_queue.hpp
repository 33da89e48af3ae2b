#pragma once
// The queue of parsed traffic records between the traffic reader's thread and
// the live traffic on the main-loop thread, with the intake switch that the
// main loop opens while a flight runs. One mutex guards both.

#include "realtraffic/traffic_record.hpp"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

// Ticks of the live traffic (10 ms each), counted by the live traffic; a queued
// record expires 3000 ticks after it was queued.
inline std::atomic<std::uint32_t> liveTickCounter{0};

namespace tzo {

inline constexpr std::uint32_t kRecordLifeTicks = 3000;

class TrafficQueue {
public:
    // A few thousand records are many minutes of traffic around one user; a
    // consumer that stopped taking them must not let the queue grow forever.
    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit TrafficQueue(std::size_t capacity = kDefaultCapacity);

    // Appends a copy with its expiry tick while the intake is open; beyond the
    // capacity the oldest record gives way (counted, logged at most once a
    // minute). False when the intake is closed and nothing was queued.
    bool push(const TrafficRecord& record);
    // Takes the oldest record; false when the queue is empty.
    bool pop(TrafficRecord& record);

    void setIntakeOpen(bool open);
    void clear();
    std::size_t size() const;
    std::uint64_t droppedCount() const;

private:
    mutable std::mutex m_mutex;
    std::deque<TrafficRecord> m_records;
    std::size_t m_capacity;
    bool m_intakeOpen = false;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_droppedAtLastLog = 0;
    std::chrono::steady_clock::time_point m_lastDropLog{};
    bool m_dropLogged = false;
};

} // namespace tzo

// The program's one traffic queue.
extern tzo::TrafficQueue trafficQueue;
