// Bytes in as one weather datagram: JSON, the QNH member, the conversion.

#include "realtraffic/qnh.hpp"
#include "realtraffic/qnh_reader.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static tzo::QnhReader reader;
    std::string_view text(reinterpret_cast<const char*>(data), size < 16383 ? size : 16383);
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    reader.handleDatagramText(text);
    const int stored = reader.lastQnh();
    if (stored < tzo::kLowestQnh || stored > tzo::kHighestQnh)
        __builtin_trap();
    return 0;
}
