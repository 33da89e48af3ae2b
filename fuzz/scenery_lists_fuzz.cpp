// Lines in as scenery lists: through the "scenery.cfg" reading and the
// "scenery_add-ons.xml" reading. No crash.

#include "airports/scenery_lists.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> folders;
    lf_takeSceneryCfgLines(lines, folders);
    lf_takeSceneryAddonsXmlLines(lines, "fuzz", folders);
    return 0;
}
