#include "platform/text.hpp"

std::string_view gf_trim(std::string_view text)
{
    constexpr std::string_view kTrimSet = " \t\n\r";
    const std::size_t first = text.find_first_not_of(kTrimSet);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kTrimSet);
    return text.substr(first, last - first + 1);
}
