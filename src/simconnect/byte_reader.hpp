#pragma once
// Little-endian reading of received messages. Every read checks the bytes that
// remain and fails instead of reading past the end; record code never indexes
// a raw message.

#include <cstdint>
#include <cstring>
#include <string>

namespace tzo {

class ByteReader {
public:
    ByteReader(const void* data, std::size_t size) : m_data(static_cast<const std::uint8_t*>(data)), m_size(size) {}

    std::size_t remaining() const { return m_size - m_pos; }
    std::size_t position() const { return m_pos; }
    const std::uint8_t* current() const { return m_data + m_pos; }

    bool skip(std::size_t n)
    {
        if (n > remaining())
            return false;
        m_pos += n;
        return true;
    }
    bool readU32(std::uint32_t& out) { return readLe(out); }
    bool readI64(std::int64_t& out) { return readLe(out); }
    bool readF32(float& out) { return readRaw(out); }
    bool readF64(double& out) { return readRaw(out); }

    // A fixed-size text field: the text up to its first zero, or the whole
    // field when it holds none.
    bool readFixedString(std::size_t fieldSize, std::string& out)
    {
        if (fieldSize > remaining())
            return false;
        const char* p = reinterpret_cast<const char*>(m_data + m_pos);
        const void* zero = std::memchr(p, 0, fieldSize);
        out.assign(p, zero ? static_cast<const char*>(zero) - p : fieldSize);
        m_pos += fieldSize;
        return true;
    }

private:
    template <typename T>
    bool readLe(T& out)
    {
        if (sizeof(T) > remaining())
            return false;
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= static_cast<T>(static_cast<T>(m_data[m_pos + i]) << (8 * i));
        out = value;
        m_pos += sizeof(T);
        return true;
    }
    // Floating point travels in the machine's own (little-endian) layout.
    template <typename T>
    bool readRaw(T& out)
    {
        if (sizeof(T) > remaining())
            return false;
        std::memcpy(&out, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace tzo
