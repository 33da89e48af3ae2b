// Lines in as scenery lists: every line through the "scenery.cfg" section
// handlers and the "scenery_add-ons.xml" line handler. No crash.

#include "airports/scenery_lists.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> folders;
    SceneryCfgReading reading;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        lf_collectAreaLine(reading, line, folders);
        lf_takeAddonsXmlLine(line, folders);
        start = end + 1;
    }
    lf_finishSceneryCfg(reading, folders);
    return 0;
}
