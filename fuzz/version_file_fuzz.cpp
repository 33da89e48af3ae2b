// Bytes in as a version file from the update server: first line or JSON object.

#include "refdata/downloads.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    (void)gf_parseVersionFile(body);
    return 0;
}
