#include "foundation/time.hpp"

#include <fmt/format.h>

std::string gf_utcTimeText(std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // asctime's layout, written out: asctime itself is not thread-safe.
    return fmt::format("{} {} {:2} {:02}:{:02}:{:02} {}", days[utc.tm_wday % 7], months[utc.tm_mon % 12],
                       utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, utc.tm_year + 1900);
}

std::string gf_utcTimeText()
{
    return gf_utcTimeText(std::time(nullptr));
}
