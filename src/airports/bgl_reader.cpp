#include "airports/bgl_reader.hpp"

#include <fmt/format.h>

#include <bit>
#include <cstring>

namespace tzo {

void BglReader::need(std::uint64_t n) const
{
    if (!fits(m_position, n))
        throw BglRangeError(fmt::format("BGL read of {} bytes at offset {} past the end ({} bytes)", n, m_position,
                                        m_bytes.size()));
}

void BglReader::seek(std::uint64_t offset)
{
    if (offset > m_bytes.size())
        throw BglRangeError(fmt::format("BGL offset {} past the end ({} bytes)", offset, m_bytes.size()));
    m_position = offset;
}

// Little-endian whatever the host: assembled byte by byte.
std::uint16_t BglReader::readU16()
{
    need(2);
    const std::uint8_t* p = m_bytes.data() + m_position;
    m_position += 2;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t BglReader::readU32()
{
    need(4);
    const std::uint8_t* p = m_bytes.data() + m_position;
    m_position += 4;
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

float BglReader::readF32()
{
    return std::bit_cast<float>(readU32());
}

std::string BglReader::readFixedString(std::uint64_t n)
{
    need(n);
    std::string text(reinterpret_cast<const char*>(m_bytes.data() + m_position), static_cast<std::size_t>(n));
    m_position += n;
    return text;
}

} // namespace tzo
