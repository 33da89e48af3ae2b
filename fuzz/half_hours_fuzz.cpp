// Bytes in as the half-hour text of a stand option: no crash, never a slot
// outside the day, and the set written out reads back as itself.

#include "airports/park_pos.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tzo::HalfHourSet set = lf_hours2bitset(text);
    if ((set & ~tzo::kAllHalfHours) != 0)
        __builtin_trap();
    if (lf_hours2bitset(lf_bitset2hours(set)) != set)
        __builtin_trap();
    return 0;
}
