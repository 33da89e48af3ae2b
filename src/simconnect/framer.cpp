#include "simconnect/framer.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace tzo {

MessageFramer::MessageFramer(std::uint32_t maxReceiveSize)
    : m_buffer(kInitialBuffer), m_maxReceiveSize(maxReceiveSize)
{
}

SimFailure MessageFramer::freeSpace(std::span<std::uint8_t>& out)
{
    if (m_used == m_buffer.size()) {
        // commit() refuses any size that cannot fit, so a full buffer at the
        // limit cannot happen; stay safe all the same.
        if (m_buffer.size() + kGrowStep > kBufferLimit)
            return {simfail::kTooLarge, simfail::kStatusAbort};
        try {
            m_buffer.resize(m_buffer.size() + kGrowStep);
        } catch (const std::bad_alloc&) {
            return {simfail::kOutOfMemory, simfail::kStatusOutOfMemory};
        }
    }
    out = std::span<std::uint8_t>(m_buffer.data() + m_used, m_buffer.size() - m_used);
    return {};
}

SimFailure MessageFramer::commit(std::size_t n, std::vector<std::vector<std::uint8_t>>& messages)
{
    m_used += std::min(n, m_buffer.size() - m_used);
    std::size_t pos = 0;
    SimFailure failure;
    for (;;) {
        if (m_used - pos < 4)
            break;
        // Padding is a size word of 0, skipped a whole word at a time: skipping
        // single zero bytes would eat the low byte of a following size that is
        // a multiple of 256 (00 01 00 00) and misread it.
        if (m_buffer[pos] == 0 && m_buffer[pos + 1] == 0 && m_buffer[pos + 2] == 0 && m_buffer[pos + 3] == 0) {
            pos += 4;
            continue;
        }
        const std::uint32_t size = std::uint32_t(m_buffer[pos]) | std::uint32_t(m_buffer[pos + 1]) << 8 |
                                   std::uint32_t(m_buffer[pos + 2]) << 16 | std::uint32_t(m_buffer[pos + 3]) << 24;
        // A message larger than the buffer may ever grow could never be completed.
        if (size > m_maxReceiveSize || size > kBufferLimit) {
            failure = {simfail::kTooLarge, simfail::kStatusAbort};
            break;
        }
        if (size < 4) {
            failure = {simfail::kBadSize, simfail::kStatusAbort};
            break;
        }
        if (m_used - pos < size)
            break;
        try {
            messages.emplace_back(m_buffer.begin() + static_cast<std::ptrdiff_t>(pos),
                                  m_buffer.begin() + static_cast<std::ptrdiff_t>(pos + size));
        } catch (const std::bad_alloc&) {
            failure = {simfail::kOutOfMemory, simfail::kStatusOutOfMemory};
            break;
        }
        pos += size;
    }
    if (pos > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + pos, m_used - pos);
        m_used -= pos;
    }
    return failure;
}

std::string MessageFramer::describeFront() const
{
    const auto word = [&](std::size_t at) {
        return std::uint32_t(m_buffer[at]) | std::uint32_t(m_buffer[at + 1]) << 8 |
               std::uint32_t(m_buffer[at + 2]) << 16 | std::uint32_t(m_buffer[at + 3]) << 24;
    };
    if (m_used < 4)
        return fmt::format("{} bytes of a size word", m_used);
    // A message's id follows its size and protocol version.
    constexpr std::size_t kIdOffset = 8;
    const std::string id = m_used >= kIdOffset + 4 ? fmt::format(", id {}", word(kIdOffset)) : std::string();
    return fmt::format("size {}{}, {} bytes of it received", word(0), id, m_used);
}

} // namespace tzo
