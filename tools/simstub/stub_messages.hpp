#pragma once
// The messages the stand-in sends, built in one place for the connection side
// (sim_stub.cpp) and the world side (sim_world.cpp).

#include "packet_table.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace simstub {

inline constexpr std::uint32_t kRecvException = 1;
inline constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;

// A message of fixed size: the header (size, protocol version, id) is written
// at once, the fields by offset.
class MessageBuilder {
public:
    MessageBuilder(std::uint32_t size, std::uint32_t id) : m_bytes(size, 0)
    {
        u32(0, size);
        u32(4, kProtocolVersion);
        u32(8, id);
    }
    MessageBuilder& u32(std::uint32_t offset, std::uint32_t value)
    {
        writeU32At(m_bytes.data() + offset, value);
        return *this;
    }
    MessageBuilder& f32(std::uint32_t offset, float value)
    {
        std::memcpy(m_bytes.data() + offset, &value, 4);
        return *this;
    }
    // The text cut to leave room for its zero.
    MessageBuilder& text(std::uint32_t offset, std::uint32_t fieldSize, const std::string& value)
    {
        std::memcpy(m_bytes.data() + offset, value.data(), std::min<std::size_t>(value.size(), fieldSize - 1));
        return *this;
    }
    std::vector<std::uint8_t> bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// 12 exception, 16 send id, 20 index.
inline std::vector<std::uint8_t> exceptionMessage(std::uint32_t code, std::uint32_t sendId, std::uint32_t index)
{
    return MessageBuilder(24, kRecvException).u32(12, code).u32(16, sendId).u32(20, index).bytes();
}

// EVENT and EVENT_OBJECT_ADDREMOVE, with the trailing flags word of this
// generation: 12 group, 16 event, 20 data, then the extra word when there is one.
inline std::vector<std::uint8_t> eventMessage(std::uint32_t id, std::uint32_t eventId, std::uint32_t data,
                                              std::uint32_t extra, bool withExtra)
{
    MessageBuilder b(withExtra ? 32 : 28, id);
    b.u32(12, kNoGroup).u32(16, eventId).u32(20, data);
    if (withExtra)
        b.u32(24, extra);
    return b.bytes();
}

} // namespace simstub
