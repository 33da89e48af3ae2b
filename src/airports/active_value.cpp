#include "airports/airport_services.hpp"

// The simulator's lists write "Active=True" in whatever case their writer
// chose; three spellings of each word are all that occur.
void gf_isActiveValue(bool& flag, std::string_view line)
{
    const auto holds = [line](std::string_view a, std::string_view b, std::string_view c) {
        return line.find(a) != std::string_view::npos || line.find(b) != std::string_view::npos ||
               line.find(c) != std::string_view::npos;
    };
    if (holds("Active", "ACTIVE", "active") && holds("True", "TRUE", "true"))
        flag = true;
}
