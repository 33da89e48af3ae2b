#include "foundation/time.hpp"

#include "foundation/log.hpp"
#include "foundation/scramble.hpp"

#include <fmt/format.h>

#include <array>
#include <atomic>
#include <cctype>

namespace {

std::atomic<std::time_t> g_clockForTests{0};

// Positions in the 24-character date text.
constexpr std::size_t kDayOfMonthAt = 8;
constexpr std::size_t kHoursAt = 11;
constexpr std::size_t kMinutesAt = 14;
constexpr std::size_t kYearAt = 20;

int lf_twoDigits(const std::string& text, std::size_t at)
{
    const auto digit = [&](std::size_t i) {
        const char c = text[i];
        return (c >= '0' && c <= '9') ? c - '0' : 0;
    };
    return digit(at) * 10 + digit(at + 1);
}

std::uint32_t lf_halfHourOfText(const std::string& dateText)
{
    const int hours = lf_twoDigits(dateText, kHoursAt);
    const int minutes = lf_twoDigits(dateText, kMinutesAt);
    return static_cast<std::uint32_t>((2 * hours + (minutes >= 30 ? 1 : 0)) % 48);
}

DayHour lf_dayHourOfText(const std::string& dateText)
{
    return {lf_decodeDay(std::string_view(dateText).substr(0, 3)), lf_halfHourOfText(dateText)};
}

// The eight characters hh:mm:ss, which begin 13 characters before the end.
std::string lf_timeOfText(const std::string& dateText)
{
    return dateText.substr(dateText.size() - 13, 8);
}

} // namespace

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

void gf_setClockForTests(std::time_t secondsSince1970)
{
    g_clockForTests.store(secondsSince1970);
}

std::time_t gf_programClock()
{
    const std::time_t set = g_clockForTests.load();
    return set > 0 ? set : std::time(nullptr);
}

std::string gf_currentTimeText()
{
    return lf_timeOfText(gf_utcTimeText(gf_programClock()));
}

std::string gf_nowUtcText()
{
    return lf_timeOfText(gf_utcTimeText());
}

std::string lf_currentDateText(std::time_t when)
{
    const std::string text = gf_utcTimeText(when);
    // "Dec  8" (month, blank, blank-padded day), ", ", year.
    return fmt::format("{}, {}", text.substr(4, 6), text.substr(kYearAt));
}

std::string lf_currentDateText()
{
    return lf_currentDateText(std::time(nullptr));
}

std::string gf_currentDateStamp(std::time_t when)
{
    const std::string text = gf_utcTimeText(when);
    std::string stamp = text.substr(4, 3);
    for (auto& c : stamp) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    stamp += text.substr(kDayOfMonthAt, 2);
    stamp += text.substr(kYearAt);
    return gf_scrambleRegcode(stamp);
}

std::string gf_currentDateStamp()
{
    return gf_currentDateStamp(std::time(nullptr));
}

std::uint32_t lf_decodeDay(std::string_view text)
{
    static constexpr std::array<std::string_view, 7> names = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (text == names[i]) {
            return static_cast<std::uint32_t>(i + 1);
        }
    }
    gf_logLine(fmt::format("lf_decodeDay ?  {}", text));
    return 0;
}

DayHour gf_dayHourAt(std::time_t when)
{
    return lf_dayHourOfText(gf_utcTimeText(when));
}

DayHour gf_currentDayHour()
{
    return gf_dayHourAt(gf_programClock());
}

std::string_view gf_dayName(std::uint32_t day)
{
    static const std::array<std::string, 8> names = {"wrong day", "Monday", "Tuesday",  "Wednesday",
                                                      "Thursday",  "Friday", "Saturday", "Sunday"};
    return (day >= 1 && day <= 7) ? names[day] : names[0];
}

std::string gf_formatDayHour(const DayHour& dayHour)
{
    return fmt::format("day={} hh={}", dayHour.day, dayHour.hh);
}

std::uint32_t gf_halfHoursBack(DayHour now, DayHour then)
{
    constexpr std::int64_t kWeek = 7 * 48;
    const auto at = [](DayHour d) { return static_cast<std::int64_t>(d.day) * 48 + d.hh; };
    return static_cast<std::uint32_t>(((at(now) - at(then)) % kWeek + kWeek) % kWeek);
}

DayHour gf_dayHourBefore(DayHour now, std::int32_t halfHours)
{
    std::int32_t hh = static_cast<std::int32_t>(now.hh) - halfHours;
    std::uint32_t day = now.day;
    while (hh < 0) {
        hh += 48;
        day = day <= 1 ? 7 : day - 1;
    }
    return {day, static_cast<std::uint32_t>(hh)};
}

std::uint32_t gf_dayHourDistance(const DayHour& a, const DayHour& b)
{
    const DayHour* later = &a;
    const DayHour* earlier = &b;
    bool overWeekEnd = false;
    if (a.day == 1 && b.day == 7) {
        overWeekEnd = true;
    } else if (a.day == 7 && b.day == 1) {
        later = &b;
        earlier = &a;
        overWeekEnd = true;
    } else if (b.day > a.day || (b.day == a.day && b.hh >= a.hh)) {
        later = &b;
        earlier = &a;
    }
    // In signed 64 bits: slots outside 0..47 must not wrap round the unsigned range.
    std::int64_t distance = (static_cast<std::int64_t>(later->day) - earlier->day) * 48
                            + static_cast<std::int64_t>(later->hh) - earlier->hh;
    if (overWeekEnd) {
        distance += 7 * 48;
    }
    return distance < 0 ? 0u : static_cast<std::uint32_t>(distance);
}
