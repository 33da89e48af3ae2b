#include "foundation/log.hpp"
#include "foundation/scramble.hpp"
#include "foundation/time.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>


namespace {

constexpr std::time_t kMonday0029_59 = 1796603399; // Mon Dec  7 00:29:59 2026
constexpr std::time_t kTuesday061122 = 1796710282; // Tue Dec  8 06:11:22 2026
constexpr std::time_t kSunday235959 = 1797206399;  // Sun Dec 13 23:59:59 2026

// The program clock runs at a time set by the test for the length of a scope.
struct TestClock {
    explicit TestClock(std::time_t seconds) { gf_setClockForTests(seconds); }
    ~TestClock() { gf_setClockForTests(0); }
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
        TestClock clock(c.when);
        EXPECT_EQ(gf_currentDayHour(), c.expected) << gf_utcTimeText(c.when);
    }
}

TEST(Time, currentTimeTextOfTheProgramClock)
{
    TestClock clock(kTuesday061122);
    EXPECT_EQ(gf_currentTimeText(), "06:11:22");
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
