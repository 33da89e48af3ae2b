#pragma once
// The one way BGL bytes are read: a cursor over a byte span that checks every
// read against the end in 64-bit arithmetic and throws BglRangeError instead
// of reading past it. Record code never indexes the buffer itself.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace tzo {

// A read past the end of a BGL file: ends the reading of that file.
class BglRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

class BglReader {
public:
    explicit BglReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint64_t size() const { return m_bytes.size(); }
    // Whether n bytes from offset lie inside the data (never overflows).
    bool fits(std::uint64_t offset, std::uint64_t n) const
    {
        return offset <= m_bytes.size() && n <= m_bytes.size() - offset;
    }

    // Moves to an absolute offset; the end itself is allowed.
    void seek(std::uint64_t offset);

    std::uint16_t readU16();
    std::uint32_t readU32();
    std::int32_t readI32() { return static_cast<std::int32_t>(readU32()); }
    float readF32();
    // n bytes as they stand (zero bytes included).
    std::string readFixedString(std::uint64_t n);

    // The same at an absolute offset, leaving the cursor there after the value.
    std::uint16_t u16At(std::uint64_t offset) { seek(offset); return readU16(); }
    std::uint32_t u32At(std::uint64_t offset) { seek(offset); return readU32(); }
    std::int32_t i32At(std::uint64_t offset) { seek(offset); return readI32(); }
    float f32At(std::uint64_t offset) { seek(offset); return readF32(); }

private:
    void need(std::uint64_t n) const;

    std::span<const std::uint8_t> m_bytes;
    std::uint64_t m_position = 0;
};

} // namespace tzo
