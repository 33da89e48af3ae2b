// The options static parking can place per stand, the fitting-option test,
// testRange and the count of static aircraft shown.

#include "stand_fixture.hpp"

#include <set>

using namespace traffictest;
using standtest::slots;

namespace {

struct StandFit : StandTest {
    std::vector<tzo::StandFitEntry> search(DayHour dayHour, std::uint32_t offset = 0, bool soft = false,
                                           const std::vector<tzo::StandFitEntry>& chosen = {})
    {
        std::vector<tzo::StandFitEntry> out;
        lf_searchStands(dayHour, soft, offset, out, chosen);
        return out;
    }
    static std::vector<std::string> standNames(const std::vector<tzo::StandFitEntry>& entries)
    {
        std::vector<std::string> names;
        for (const auto& e : entries)
            names.push_back(gf_standNameOfId(e.standId));
        return names;
    }
    static tzo::AircraftRecord parked(std::uint32_t standId, double halfSpanMetres, std::string callsign = "X1*",
                                      tzo::AircraftState state = tzo::AircraftState::InSimulator)
    {
        tzo::AircraftRecord a = aircraft("SWR", "A320", halfSpanMetres, tzo::AircraftCategory::Large, callsign);
        const tzo::ParkPos& stand = *gf_standById(standId);
        a.standId = standId;
        a.stand = {stand.latitude, stand.longitude, stand.heading};
        a.state = state;
        return a;
    }
};

} // namespace

TEST_F(StandFit, theTestedHalfHourReachesBackOverMidnightAndTheWeek)
{
    stands.stand("SUN", 0, 0).option("SWR", "A320", 7, "46");
    stands.stand("MON", 0, 100).option("SWR", "A320", 1, "46");
    stands.stand("TUE", 0, 200).option("SWR", "A320", 2, "1");
    stands.install();
    const auto entries = search({1, 1}, 3); // Monday 00:30, 1.5 hours back: Sunday 23:00
    EXPECT_EQ(standNames(entries), std::vector<std::string>{"SUN"});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].offset, 3u);
    EXPECT_EQ(entries[0].airline, "SWR");
    EXPECT_EQ(entries[0].type, "A320");

    EXPECT_EQ(standNames(search({2, 5}, 4)), std::vector<std::string>{"TUE"});
    for (auto& s : parkPositions)
        s.taken = false;
    WEEK.setValue(true);
    EXPECT_EQ(standNames(search({4, 46})), (std::vector<std::string>{"SUN", "MON"})) << "any day";
}

TEST_F(StandFit, helipadsBlockedStandsAndWideNeighboursGiveNothing)
{
    g_wingspans["A320"] = tzo::gf_metresToNm(17.9);
    stands.stand("H1", 0, 0, 10).heli().option("REGA", "EC35", 1, "10");
    stands.stand("B1", 0, 100).adjacentBlocked().option("SWR", "A320", 1, "10");
    stands.stand("N1", 0, 200).adjacent({4}).option("SWR", "A320", 1, "10");
    stands.stand("N2", 0, 240);
    stands.install();
    staticAircraft.push_back(parked(4, 25.0)); // 17.9 + 25 > 40 m
    HELICOPTERS.setValue(false);
    EXPECT_TRUE(search({1, 10}).empty());

    HELICOPTERS.setValue(true);
    staticAircraft.back().radius = tzo::gf_metresToNm(20.0); // 37.9 m < 40 m
    EXPECT_EQ(standNames(search({1, 10})), (std::vector<std::string>{"H1", "N1"}));

    for (auto& s : parkPositions)
        s.taken = false;
    staticAircraft.back().radius = tzo::gf_metresToNm(25.0);
    staticAircraft.back().state = tzo::AircraftState::CreateRequested;
    EXPECT_EQ(standNames(search({1, 10})), (std::vector<std::string>{"H1", "N1"}))
        << "a neighbour not yet in the simulator does not count";
}

TEST_F(StandFit, chosenOptionsAreWithdrawnForThisPlanOnly)
{
    stands.stand("R").option("SWR", "A320", 1, "10").registration("HB-JLT");
    stands.stand("X", 0, 100).option("SWR", "A320", 1, "10").callsigns("SWR12", "SWR13");
    stands.stand("U", 0, 200).option("SWR", "A320", 1, "10").callsigns("SWR20");
    stands.stand("P", 0, 300).option("SWR", "A320", 1, "10").callsigns("SWR31", "SWR30");
    stands.stand("D", 0, 400).option("SWR", "A320", 1, "10").callsigns("SWR40");
    stands.stand("OK", 0, 500).option("SWR", "A320", 1, "10").callsigns("SWR50").registration("HB-JLU");
    stands.install();
    tzo::StandFitEntry chosen;
    chosen.registration = "HB-JLT";
    fitCallsignExclusions = {"SWR13", "SWR20_"};
    tzo::ParkingPlanEntry planned;
    planned.secondCallsign = "SWR30";
    staticParkingPlan.push_back(planned);
    tzo::ParkingPlanEntry unrelated; // empty callsigns and registration withdraw nothing
    staticParkingPlan.push_back(unrelated);
    duplicateCallsigns = {"SWR40"};

    EXPECT_EQ(standNames(search({1, 10}, 0, false, {chosen})), std::vector<std::string>{"OK"});
    for (const char* name : {"R", "X", "U", "P", "D"}) {
        const auto it = std::find_if(parkPositions.begin(), parkPositions.end(),
                                     [&](const tzo::ParkPos& s) { return s.name == name; });
        ASSERT_EQ(it->options.size(), 1u) << name << ": the option stays in its stand";
        EXPECT_EQ(it->options[0].number, 0u) << name;
        EXPECT_FALSE(it->taken) << name;
    }
    EXPECT_TRUE(search({1, 10}).empty()) << "withdrawn options are skipped by the next search";
}

TEST_F(StandFit, continuesFlagFollowsTheCouplesNextHalfHour)
{
    stands.stand("ONE").option("SWR", "A320", 3, "20").callsigns("SWR1");
    stands.stand("STAY", 0, 100).option("SWR", "A320", 3, "20,21").callsigns("SWR2", "SWR3");
    stands.stand("GO", 0, 200).option("SWR", "A320", 3, "20").callsigns("SWR4", "SWR5");
    stands.stand("NIGHT", 0, 300).option("SWR", "A320", 3, "47").callsigns("SWR6", "SWR7");
    stands.option("SWR", "A320", 4, "0");
    stands.stand("LATE", 0, 400).option("SWR", "A320", 3, "47").callsigns("SWR8", "SWR9");
    stands.option("EDW", "A320", 4, "0");
    stands.install();
    auto continues = [](const std::vector<tzo::StandFitEntry>& entries) {
        std::vector<int> flags;
        for (const auto& e : entries)
            flags.push_back(e.continues);
        return flags;
    };
    EXPECT_EQ(continues(search({3, 20})), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(continues(search({3, 47})), (std::vector<int>{1, 0}));
}

TEST_F(StandFit, foundStandsAreTakenAndTheirNeighboursBlocked)
{
    stands.stand("A", 0, 0, 30).option("SWR", "A320", 1, "10");
    stands.stand("B", 0, 40, 30).option("SWR", "A320", 1, "10");
    stands.stand("C", 0, 300).option("SWR", "A320", 1, "10", true);
    stands.stand("D", 0, 600).keptFree().option("SWR", "A320", 1, "10");
    stands.install(true);
    ASSERT_EQ(parkPositions[0].adjacent, std::vector<std::uint32_t>{2});
    EXPECT_EQ(standNames(search({1, 10})), std::vector<std::string>{"A"});
    EXPECT_TRUE(parkPositions[0].taken);
    EXPECT_TRUE(parkPositions[1].adjacentBlocked);
    EXPECT_FALSE(parkPositions[1].taken);
    EXPECT_EQ(standNames(search({1, 10}, 0, true)), std::vector<std::string>{"C"}) << "the soft pass";
    EXPECT_TRUE(search({1, 10}).empty());
}

TEST_F(StandFit, randomChoiceKeepsTheOptionOfTheAircraftAlreadyParked)
{
    stands.stand("A");
    for (int i = 0; i < 6; ++i)
        stands.option("SWR", "A320", 1, "10").callsigns("SWR" + std::to_string(i));
    stands.install();
    RANDOM.setValue(true);
    staticAircraft.push_back(parked(1, 17, "SWR4*"));
    for (int i = 0; i < 20; ++i) {
        parkPositions[0].taken = false;
        const auto entries = search({1, 10});
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_EQ(entries[0].callsign, "SWR4");
    }
    staticAircraft.clear();
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        parkPositions[0].taken = false;
        seen.insert(search({1, 10}).at(0).callsign);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST_F(StandFit, testRangeSearchesDownToTheDayStart)
{
    const auto o = standtest::option("SWR", "A320", 1, tzo::gf_halfHourBit(4) | tzo::gf_halfHourBit(40));
    const struct {
        std::int32_t start, offset;
        bool found;
        std::int32_t remainder;
    } cases[] = {
        {3, 5, false, 2}, {4, 0, true, -1}, {6, 2, true, -1}, {7, 2, false, -1},
        {2, 0, false, -1}, {0, 47, false, 46}, {47, 7, true, -1}, {1, 1, false, -1},
    };
    for (const auto& c : cases) {
        std::int32_t remainder = 99;
        EXPECT_EQ(testRange(o, c.start, c.offset, remainder), c.found) << c.start << "/" << c.offset;
        EXPECT_EQ(remainder, c.remainder) << c.start << "/" << c.offset;
    }
    std::int32_t remainder = 0;
    EXPECT_FALSE(testRange(o, 48, 2, remainder));
    EXPECT_FALSE(testRange(o, -1, 2, remainder));
    EXPECT_EQ(remainder, -1);
    EXPECT_EQ(testsupport::countLinesWith(dir / "Log.txt",
                                          "===> exception invalid bitset position in testRange, start: 48, offset: 2"),
              1);
}

TEST_F(StandFit, fittingOptionLooksIntoThePreviousDay)
{
    stands.stand("A").option("SWR", "A320", 7, "45").option("EDW", "A320", 1, "1");
    stands.option("SWR", "A320", 1, "3").option("SWR", "A320", 1, "0").withdrawn();
    stands.stand("B", 0, 100).option("SWR", "A320", 7, "45");
    stands.install();
    const auto swr = aircraft("SWR", "A320", 17);
    realFitOffset = 5;
    softFitOffset = -1;
    EXPECT_TRUE(lf_hasFittingOption({1, 2}, 1, swr)) << "Sunday 45 lies in the window before Monday 2";
    EXPECT_TRUE(lf_hasFittingOption({1, 2}, 2, swr)) << "even with no option of its kind today";
    EXPECT_FALSE(lf_hasFittingOption({1, 10}, 1, swr)) << "Monday 5..10 only";
    EXPECT_TRUE(lf_hasFittingOption({1, 4}, 1, swr)) << "Monday 3";
    realFitOffset = 1;
    EXPECT_FALSE(lf_hasFittingOption({1, 2}, 1, swr));
    softFitOffset = 5;
    EXPECT_TRUE(lf_hasFittingOption({1, 2}, 1, swr)) << "the larger of the two offsets";
    EXPECT_FALSE(lf_hasFittingOption({1, 2}, 3, swr)) << "no such stand";
    EXPECT_FALSE(lf_hasFittingOption({1, 2}, 1, aircraft("SWR", "A321", 17)));
}

TEST_F(StandFit, countOfStaticShownAndTheirMeanParkingTime)
{
    stands.stand("A");
    stands.install();
    nowDayHour.store(DayHour{1, 3}.toU64());
    EXPECT_EQ(gf_countStaticShown(true), 0);
    EXPECT_EQ(staticParkedMeanHours.load(), 0.0f);

    auto a = parked(1, 17);
    a.parkedSince = {7, 46}; // 5 half-hours over the week's end
    staticAircraft.push_back(a);
    a.parkedSince = {1, 0};
    a.state = tzo::AircraftState::BeingRemoved;
    staticAircraft.push_back(a);
    a.state = tzo::AircraftState::CreateRequested;
    staticAircraft.push_back(a);
    EXPECT_EQ(gf_countStaticShown(true), 2);
    EXPECT_EQ(staticParkedMeanHours.load(), 8.0f / 4.0f + 0.5f);

    WEEK.setValue(true);
    staticAircraft.pop_back();
    staticAircraft.pop_back();
    EXPECT_EQ(gf_countStaticShown(true), 1);
    EXPECT_EQ(staticParkedMeanHours.load(), 2.5f) << "not worked out while WEEK is on";
    WEEK.setValue(false);
    EXPECT_EQ(gf_countStaticShown(false), 1);
    EXPECT_EQ(staticParkedMeanHours.load(), 2.5f);
    EXPECT_EQ(gf_countStaticShown(true), 1);
    EXPECT_EQ(staticParkedMeanHours.load(), 5.0f / 2.0f + 0.5f);
}
