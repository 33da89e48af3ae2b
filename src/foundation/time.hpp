#pragma once
// The program's clock, days of the week, half-hour slots and date texts. All
// times are UTC.
//
// Static parking plans by the hour of the week, so every moment is reduced to
// a day (1 Monday .. 7 Sunday) and a half-hour slot of that day (0 for
// 00:00-00:29 .. 47 for 23:30-23:59). The program clock follows the time of
// the received traffic while the traffic link says so, else the system clock.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

struct DayHour {
    std::uint32_t day = 0; // 1 Monday .. 7 Sunday; 0 when unknown
    std::uint32_t hh = 0;  // half-hour slot 0 .. 47

    // Packed into 64 bits (for atomics): day in the low half, hh in the high half.
    constexpr std::uint64_t toU64() const { return (static_cast<std::uint64_t>(hh) << 32) | day; }
    static constexpr DayHour fromU64(std::uint64_t packed)
    {
        return {static_cast<std::uint32_t>(packed & 0xFFFFFFFFu), static_cast<std::uint32_t>(packed >> 32)};
    }
    friend constexpr bool operator==(const DayHour&, const DayHour&) = default;
};

// The C library's 24-character date text of a UTC time ("Wed Dec  9 04:36:26
// 2026": weekday, month, blank-padded day, hh:mm:ss, year), without a line end.
std::string gf_utcTimeText();
std::string gf_utcTimeText(std::time_t when);

// Tests run the program clock at a time of their own (seconds since 1970);
// 0 gives it the system clock back. Any thread.
void gf_setClockForTests(std::time_t secondsSince1970);

// Seconds since 1970 of the program clock: the system clock, unless a test set one.
std::time_t gf_programClock();

// hh:mm:ss of the program clock.
std::string gf_currentTimeText();
// hh:mm:ss of the system clock.
std::string gf_nowUtcText();

// The date of the system clock, "Dec  8, 2026": the date item of data-file headers.
std::string lf_currentDateText();
std::string lf_currentDateText(std::time_t when);

// Month in upper case, the two day characters and the year ("DEC 82026") of the
// system clock, scrambled as a registration: the stamp of the daily update check.
std::string gf_currentDateStamp();
std::string gf_currentDateStamp(std::time_t when);

// "Mon" 1 .. "Sun" 7 (exact, case-sensitive); anything else is logged and gives 0.
std::uint32_t lf_decodeDay(std::string_view text);

// Day and half-hour slot of the program clock.
DayHour gf_currentDayHour();
// Day and half-hour slot of a given time.
DayHour gf_dayHourAt(std::time_t when);

// "Monday" .. "Sunday" for 1..7, "wrong day" for any other value.
std::string_view gf_dayName(std::uint32_t day);

// "day={} hh={}".
std::string gf_formatDayHour(const DayHour& dayHour);

// Half-hour slots from the earlier to the later of two values, in either
// order. A Monday and a Sunday always count from the Sunday to the next Monday,
// over the end of the week.
std::uint32_t gf_dayHourDistance(const DayHour& a, const DayHour& b);
// How many half-hours back from now the slot lies, within the week: 0 for now
// itself, 1..335 for the slots before it (last Sunday is one day before Monday).
std::uint32_t gf_halfHoursBack(DayHour now, DayHour then);
// The half-hour slot that many half-hours before now, across midnight and
// from Monday back to Sunday.
DayHour gf_dayHourBefore(DayHour now, std::int32_t halfHours);
