#pragma once
// Cuts the simulator's byte stream into messages: a u32 size word leads each
// message; a size word of 0 between messages is padding. The receive buffer
// starts small and grows in steps while a long message arrives.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tzo {

// Failure categories of a connection, with the statuses stored beside them.
namespace simfail {
inline constexpr std::uint32_t kTooLarge = 1;       // size above the maximum receive size
inline constexpr std::uint32_t kBadSize = 2;        // size of 1..3
inline constexpr std::uint32_t kOutOfMemory = 3;    // receive buffer could not grow
inline constexpr std::uint32_t kZeroRead = 4;       // the peer closed the stream
inline constexpr std::uint32_t kDisconnected = 5;   // remote disconnect, broken pipe, reset
inline constexpr std::uint32_t kLinkTest = 7;       // nothing received in time after connecting
inline constexpr std::uint32_t kCancelled = 8;      // reading ended by our own close
inline constexpr std::uint32_t kOther = 9;

inline constexpr std::uint32_t kStatusAbort = 0x80004004u;
inline constexpr std::uint32_t kStatusOutOfMemory = 0x8007000Eu;
inline constexpr std::uint32_t kStatusCancelled = 0xC0000120u;
inline constexpr std::uint32_t kStatusRemoteDisconnect = 0xC000013Cu;
inline constexpr std::uint32_t kStatusZeroRead = 0xC000013Eu;
inline constexpr std::uint32_t kStatusLinkTest = 0xC000013Fu;
inline constexpr std::uint32_t kStatusPipeBroken = 0xC000014Bu;
inline constexpr std::uint32_t kStatusConnectionReset = 0xC000020Du;
inline constexpr std::uint32_t kStatusUnsuccessful = 0xC0000001u;
} // namespace simfail

struct SimFailure {
    std::uint32_t category = 0;
    std::uint32_t status = 0;
    explicit operator bool() const { return category != 0; }
};

class MessageFramer {
public:
    static constexpr std::size_t kInitialBuffer = 2048;
    static constexpr std::size_t kGrowStep = 2048;
    static constexpr std::size_t kBufferLimit = 1024 * 1024;

    explicit MessageFramer(std::uint32_t maxReceiveSize);

    // Where the next read goes. When the buffer is full it grows by one step;
    // a failure when it may not or cannot grow.
    SimFailure freeSpace(std::span<std::uint8_t>& out);

    // Takes n bytes just read into freeSpace() and appends every message now
    // complete to messages (each exactly one message).
    SimFailure commit(std::size_t n, std::vector<std::vector<std::uint8_t>>& messages);

    // The message at the front of the buffer as a log line names it: its size
    // word, its id when that much of it came, and how much of it came. After
    // a failure of commit(), or a stream that ended, the front is where the
    // stream broke.
    std::string describeFront() const;

    std::size_t capacity() const { return m_buffer.size(); }
    std::size_t pending() const { return m_used; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    std::uint32_t m_maxReceiveSize;
};

} // namespace tzo
