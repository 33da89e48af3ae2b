// Bytes in as UTF-8 and as UTF-16 of both byte orders: a conversion either
// refuses or round-trips exactly.
#include "foundation/encoding.hpp"
#include "foundation/exceptions.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const std::u16string wide = gf_utf8ToUtf16(bytes);
        if (gf_utf16ToUtf8(wide) != bytes)
            std::abort();
    } catch (const win32::Utf8ConversionException&) {
    }
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    try {
        const std::string utf8 = gf_utf16ToUtf8(units);
        if (gf_utf8ToUtf16(utf8) != units)
            std::abort();
    } catch (const win32::Utf8ConversionException&) {
    }
    return 0;
}
