// The wanted count and the hour-of-week fit over stands built in code.

#include "parking/hour_fit.hpp"
#include "parking/static_parking_services.hpp"
#include "traffic/stand_fixture.hpp"

#include <set>

using namespace traffictest;

namespace {

struct HourFit : StandTest {
    HourFit() { reset(); }
    ~HourFit() override { reset(); }
    static void reset()
    {
        for (auto* flag : {&PARK_SOFT, &PARK_FAKE, &WEEK})
            flag->setValue(flag->defaultValue());
        MAX_FIT.setValue(MAX_FIT.defaultValue());
        parking_percentage.setValue(parking_percentage.defaultValue());
        staticParkingPlan.clear();
        fitCallsignExclusions.clear();
        reservedStand.clear();
        staticParkingBusy.store(false);
        realFitOffset = 0;
        softFitOffset = -1;
    }
    // n stands far apart, each with a real option at Monday's half-hour `slot`.
    void standsAt(int n, const char* slot, bool soft = false)
    {
        for (int i = 0; i < n; ++i)
            stands.stand("S" + std::to_string(i + 1), 0, 200.0 * i)
                .option("SWR", "A320", 1, slot, soft)
                .callsigns("SWR" + std::to_string(i + 1));
    }
    void plan(std::int64_t wanted)
    {
        lf_fillParkingPlan({1, 10}, wanted, 0);
    }
    std::set<std::uint32_t> plannedStands() const
    {
        std::set<std::uint32_t> ids;
        for (const auto& e : staticParkingPlan)
            ids.insert(e.standId);
        return ids;
    }
};

} // namespace

TEST_F(HourFit, wantedCounts)
{
    const struct {
        int stands;
        int percent;
        std::int64_t wanted;
    } cases[] = {{1, 30, 1}, {3, 40, 1}, {4, 30, 1}, {10, 25, 3}, {1, 0, 0}, {10, 0, 0}, {0, 50, 0}, {0, 30, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stands << " stands at " << c.percent << "%");
        stands = {};
        standsAt(c.stands, "10");
        stands.install();
        parking_percentage.setValue(c.percent);
        EXPECT_EQ(gf_wantedParkedCount(), c.wanted);
        EXPECT_EQ(wantedParkedShown.load(), c.wanted);
    }
}

TEST_F(HourFit, maxFitZeroSearchesOnlyTheCurrentHalfHour)
{
    standsAt(2, "10");
    stands.stand("EARLY", 0, 1000).option("SWR", "A320", 1, "9");
    stands.install();
    MAX_FIT.setValue(0);
    plan(3);
    EXPECT_EQ(plannedStands(), (std::set<std::uint32_t>{1, 2}));
    EXPECT_EQ(realFitOffset, 0);
}

TEST_F(HourFit, earlierHalfHoursFillUpNearestFirst)
{
    stands.stand("NOW", 0, 0).option("SWR", "A320", 1, "10");
    stands.stand("TWO", 0, 200).option("SWR", "A320", 1, "8");
    stands.stand("ONE", 0, 400).option("SWR", "A320", 1, "9");
    stands.install();
    plan(2);
    ASSERT_EQ(staticParkingPlan.size(), 2u);
    EXPECT_EQ(plannedStands(), (std::set<std::uint32_t>{1, 3}));
    EXPECT_EQ(realFitOffset, 1);
}

TEST_F(HourFit, noSoftPassWhenTheRealOneFills)
{
    standsAt(2, "10");
    stands.stand("SOFT", 0, 1000).option("SWR", "A320", 1, "10", true);
    stands.install();
    PARK_SOFT.setValue(true);
    plan(2);
    EXPECT_EQ(plannedStands(), (std::set<std::uint32_t>{1, 2}));
    EXPECT_EQ(softFitOffset, -1);
    EXPECT_EQ(log().find("soft position"), std::string::npos);
}

TEST_F(HourFit, softPassFillsUpOnlyWhenAllowed)
{
    standsAt(3, "10");
    stands.stand("SOFT1", 0, 1000).option("SWR", "A320", 1, "10", true);
    stands.stand("SOFT2", 0, 1200).option("SWR", "A320", 1, "10", true);
    stands.install();
    PARK_SOFT.setValue(false);
    PARK_FAKE.setValue(false);
    plan(5);
    EXPECT_EQ(staticParkingPlan.size(), 3u) << "real pass 3 of 5";
    EXPECT_FALSE(softFitShown.load());

    staticParkingPlan.clear();
    for (auto& s : parkPositions)
        s.taken = s.adjacentBlocked = false;
    PARK_SOFT.setValue(true);
    plan(5);
    EXPECT_EQ(staticParkingPlan.size(), 5u);
    EXPECT_TRUE(softFitShown.load());
    EXPECT_NE(log().find("2 soft positions found"), std::string::npos);
}

TEST_F(HourFit, lastStepCandidatesAreCutFirstFoundOrAtRandom)
{
    standsAt(4, "10");
    stands.install();
    plan(2);
    EXPECT_EQ(plannedStands(), (std::set<std::uint32_t>{1, 2})) << "RANDOM off: the first found";

    std::set<std::set<std::uint32_t>> seen;
    RANDOM.setValue(true);
    threadRandomEngine().seed(7);
    for (int round = 0; round < 20; ++round) {
        staticParkingPlan.clear();
        for (auto& s : parkPositions)
            s.taken = s.adjacentBlocked = false;
        plan(2);
        EXPECT_EQ(staticParkingPlan.size(), 2u);
        seen.insert(plannedStands());
    }
    EXPECT_GT(seen.size(), 1u) << "RANDOM on: shuffled";
}

TEST_F(HourFit, positionsLineNamesTheDayOrTheWeek)
{
    standsAt(1, "10");
    stands.install();
    plan(1);
    EXPECT_NE(log().find("1 real position found, Max fit=24 hours, day 1, hh:10 or 5.5 hrs fit: 0.5 hour"),
              std::string::npos);
    staticParkingPlan.clear();
    parkPositions[0].taken = false;
    WEEK.setValue(true);
    plan(1);
    EXPECT_NE(log().find("1 real position found, Max fit=24 hours, week, hh:10"), std::string::npos);
}

TEST_F(HourFit, keptFreeStandsAndNeighboursOfPlannedOnesAreNeverPlanned)
{
    stands.stand("RES", 0, 0).option("SWR", "A320", 1, "10");
    stands.stand("A", 0, 500, 30).option("SWR", "A320", 1, "10");
    stands.stand("B", 0, 530, 30).option("SWR", "A320", 1, "10"); // overlaps A
    stands.install(true);
    reservedStand.set("RES");
    nowDayHour.store(DayHour{1, 10}.toU64());
    parking_percentage.setValue(100);
    lf_planStaticParking();
    EXPECT_EQ(plannedStands(), (std::set<std::uint32_t>{2}));
    EXPECT_TRUE(parkPositions[0].keptFree);
    EXPECT_TRUE(staticParkingBusy.load());
    EXPECT_NE(log().find("1 positions (33% vs wanted 100%, with Max fit=24 hours)"), std::string::npos);
}

TEST_F(HourFit, noFittingStandEndsTheBusyState)
{
    standsAt(2, "30");
    stands.install();
    nowDayHour.store(DayHour{1, 10}.toU64());
    MAX_FIT.setValue(2);
    staticParkingBusy.store(true);
    lf_planStaticParking();
    EXPECT_TRUE(staticParkingPlan.empty());
    EXPECT_FALSE(staticParkingBusy.load());
    EXPECT_NE(log().find("no parking positions found"), std::string::npos);
}
