#include "foundation/log.hpp"
#include "foundation/scramble.hpp"
#include "foundation/time.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr std::time_t kMonday0029_59 = 1796603399; // Mon Dec  7 00:29:59 2026
constexpr std::time_t kTuesday061122 = 1796710282; // Tue Dec  8 06:11:22 2026
constexpr std::time_t kSunday235959 = 1797206399;  // Sun Dec 13 23:59:59 2026

// The program clock follows the traffic time for the length of a test.
class TrafficClock {
public:
    explicit TrafficClock(double seconds)
    {
        gf_setTrafficTime(seconds);
        gf_setUseTrafficTime(true);
    }
    ~TrafficClock()
    {
        gf_setUseTrafficTime(false);
        gf_setTrafficTime(0.0);
    }
};

} // namespace

TEST(Time, dateTextsOfAKnownMoment)
{
    EXPECT_EQ(gf_utcTimeText(kTuesday061122), "Tue Dec  8 06:11:22 2026");
    EXPECT_EQ(lf_currentDateText(kTuesday061122), "Dec  8, 2026");
    // The stamp keeps the blank of a single-digit day, scrambled like the rest.
    EXPECT_EQ(gf_currentDateStamp(kTuesday061122), gf_scrambleRegcode("DEC 82026"));
    EXPECT_EQ(gf_currentDateStamp(kSunday235959), gf_scrambleRegcode("DEC132026"));
}

TEST(Time, halfHourSlotEdges)
{
    struct Case {
        std::time_t when;
        DayHour expected;
    };
    const Case cases[] = {
        {kMonday0029_59, {1, 0}},
        {kMonday0029_59 + 1, {1, 1}},         // 00:30:00
        {kMonday0029_59 + 86400 - 1800, {1, 47}}, // 23:59:59
        {kMonday0029_59 + 86400 - 1799, {2, 0}},  // Tuesday 00:00:00
        {kSunday235959, {7, 47}},
        {kSunday235959 + 1, {1, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_dayHourAt(c.when), c.expected) << gf_utcTimeText(c.when);
        TrafficClock clock(static_cast<double>(c.when) + 0.75); // fractions are cut off
        EXPECT_EQ(gf_currentDayHour(), c.expected) << gf_utcTimeText(c.when);
    }
}

TEST(Time, programClockFollowsTrafficTimeOnlyWhenSetAndValid)
{
    {
        TrafficClock clock(static_cast<double>(kTuesday061122));
        EXPECT_EQ(gf_programClock(), kTuesday061122);
        EXPECT_EQ(gf_currentTimeText(), "06:11:22");
        gf_setUseTrafficTime(false);
        EXPECT_NE(gf_programClock(), kTuesday061122);
    }
    const double unusable[] = {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300};
    for (double value : unusable) {
        TrafficClock clock(value);
        const std::time_t before = std::time(nullptr);
        const std::time_t now = gf_programClock();
        EXPECT_GE(now, before) << value;
        EXPECT_LE(now, std::time(nullptr)) << value;
        EXPECT_EQ(gf_currentTimeText().size(), 8u);
    }
}

TEST(Time, decodesWeekdaysExactly)
{
    testsupport::TempDir dir(true);
    gf_openLog();
    const char* names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (std::uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(lf_decodeDay(names[i]), i + 1);
    }
    EXPECT_EQ(lf_decodeDay("mon"), 0u);
    EXPECT_EQ(lf_decodeDay("Monday"), 0u);
    gf_closeLog();
    EXPECT_NE(testsupport::readFile(dir / "Log.txt").find("lf_decodeDay ?  mon\n"), std::string::npos);
}

TEST(Time, dayNamesOutOfRangeAndPackedDayHour)
{
    EXPECT_EQ(gf_dayName(0), "wrong day");
    EXPECT_EQ(gf_dayName(8), "wrong day");
    const DayHour value{6, 41};
    EXPECT_EQ(DayHour::fromU64(value.toU64()), value);
}

TEST(Time, dayHourDistanceInBothOrders)
{
    struct Case {
        DayHour a;
        DayHour b;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {{2, 10}, {2, 10}, 0},
        {{1, 47}, {2, 0}, 1},   // over midnight
        {{7, 47}, {1, 0}, 1},   // over the week's end
        {{3, 4}, {1, 4}, 96},
        {{1, 20}, {7, 0}, 68},  // a Monday always follows a Sunday
        {{7, 0}, {1, 47}, 95},
        {{2, 0}, {6, 47}, 4 * 48 + 47},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_dayHourDistance(c.a, c.b), c.expected) << gf_formatDayHour(c.a) << " " << gf_formatDayHour(c.b);
        EXPECT_EQ(gf_dayHourDistance(c.b, c.a), c.expected) << gf_formatDayHour(c.b) << " " << gf_formatDayHour(c.a);
    }
    // Slots out of their range never wrap round to a huge distance.
    EXPECT_LT(gf_dayHourDistance({2, 400}, {2, 0}), 1000u);
}
