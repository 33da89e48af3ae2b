// Bytes in as RealTraffic's reply to the version query: the whole-object test
// the handshake reads by, then the reply's parse.

#include "realtraffic/rt_messages.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)tzo::gf_jsonObjectState(text);
    if (const auto version = tzo::gf_parseRealTrafficVersion(text); version && version->version.empty())
        __builtin_trap(); // an unknown version is shown as "?", never as nothing
    return 0;
}
