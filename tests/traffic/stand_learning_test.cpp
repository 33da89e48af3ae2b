// Learning stand use: real options of aircraft seen parked, soft options of
// the stand the fitting search chose near the park airport, the half-hours
// an aircraft stood unseen filled in through its tracking entry, and the
// count of stand updates.

#include "stand_fixture.hpp"
#include "airports/airport_services.hpp"
#include "traffic/stand_learning.hpp"

using namespace traffictest;
using standtest::slots;
using tzo::LiveAircraft;
using tzo::ParkPosOption;

namespace {

struct Learning : StandTest {
    Learning()
    {
        stands.stand("A1", 0, 0, 20);
        stands.install();
        parkAirportCode.set("LSZH");
        parkAirportPosition.latitude.store(standtest::kReferenceLatitude);
        parkAirportPosition.longitude.store(standtest::kReferenceLongitude);
        parkAirportActive.store(true);
        LEARN_SOFT.setValue(true);
        softLearningAllowed = true;
    }
    ~Learning() override
    {
        LEARN_SOFT.setValue(LEARN_SOFT.defaultValue());
        softLearningAllowed = true;
        parkAirportActive.store(false);
    }

    // An A320 taxiing at the reference point.
    LiveAircraft& taxiing(std::uint32_t hexid = 0x400001)
    {
        LiveAircraft& a = inSimulator(report(hexid, 100.0, standtest::kReferenceLatitude), tzo::kPhaseGround);
        a.longitude = a.samples.front().longitude = standtest::kReferenceLongitude;
        a.airline = "SWR";
        a.radius = tzo::gf_metresToNm(18.0);
        return a;
    }
    static tzo::ParkPos& stand() { return parkPositions.front(); }
    static const ParkPosOption& option(std::uint32_t number)
    {
        for (const ParkPosOption& o : stand().options)
            if (o.number == number)
                return o;
        throw std::out_of_range("no option");
    }
    static void at(std::uint32_t day, std::uint32_t hh) { nowDayHour.store(DayHour{day, hh}.toU64()); }
};

TEST_F(Learning, aSecondSightingInTheSameHalfHourChangesNothing)
{
    LiveAircraft& a = taxiing();
    EXPECT_TRUE(lf_addRealOption(1, a, false, false, {3, 20}));
    EXPECT_FALSE(lf_addRealOption(1, a, true, true, {3, 20}));
    ASSERT_EQ(stand().options.size(), 1u);
    const ParkPosOption& o = option(1);
    EXPECT_EQ(o.registration, "HB-305");
    EXPECT_EQ(o.callsign, "SWR305");
    EXPECT_TRUE(o.fresh);
    EXPECT_FALSE(o.soft);
    EXPECT_EQ(o.halfHours, slots(20, 20));
    EXPECT_EQ(standUpdateCount.load(), 1);
}

TEST_F(Learning, aTrackingEntryFillsTheGapOnceAndIsThenUsedUp)
{
    LiveAircraft& a = taxiing();
    ASSERT_TRUE(lf_addRealOption(1, a, false, false, {3, 20}));
    EXPECT_TRUE(stand().realTracking.contains(a.recordId));
    // The parked aircraft's update uses the entry and ends it.
    ASSERT_TRUE(lf_addRealOption(1, a, true, true, {3, 23}));
    EXPECT_EQ(option(1).halfHours, slots(20, 23));
    EXPECT_FALSE(stand().realTracking.contains(a.recordId));
    ASSERT_TRUE(lf_addRealOption(1, a, true, true, {3, 25}));
    EXPECT_EQ(option(1).halfHours, slots(20, 23) | slots(25, 25));
    EXPECT_EQ(standUpdateCount.load(), 3) << "one update per change";
}

// Every midnight crossing fills the night, and into the registration's one
// option of the new day: the one there is, or a new one, never a second.
TEST_F(Learning, aGapAcrossSundayMidnightFillsBothDaysIntoOneMondayOption)
{
    for (const bool mondayKnown : {false, true}) {
        stand().options.clear();
        stand().realTracking.clear();
        liveAircraft.clear();
        LiveAircraft& a = taxiing();
        a.callsign = "SWR305_";
        if (mondayKnown) {
            // Monday's option from an earlier week.
            ASSERT_TRUE(lf_addRealOption(1, a, false, false, {1, 10}));
            stand().realTracking.clear();
        }
        ASSERT_TRUE(lf_addRealOption(1, a, false, false, {7, 46}));
        const std::uint32_t sunday = stand().realTracking.at(a.recordId).number;
        ASSERT_TRUE(lf_addRealOption(1, a, true, false, {1, 1})) << mondayKnown;
        EXPECT_EQ(option(sunday).halfHours, slots(46, 47)) << "Sunday up to 47";
        ASSERT_EQ(stand().options.size(), 2u) << mondayKnown;
        const std::uint32_t mondayNumber = mondayKnown ? 1 : 2;
        const ParkPosOption& monday = option(mondayNumber);
        EXPECT_EQ(monday.day, 1u);
        EXPECT_EQ(monday.halfHours, slots(0, 1) | (mondayKnown ? slots(10, 10) : 0)) << mondayKnown;
        EXPECT_EQ(monday.callsign, "SWR305") << "without the ghost mark";
        EXPECT_EQ(stand().realTracking.at(a.recordId).number, mondayNumber);
        EXPECT_EQ(stand().realTracking.at(a.recordId).dayHour, (DayHour{1, 1}));
    }
}

TEST_F(Learning, noRealOptionWithoutRegistrationOrCallsign)
{
    for (const auto& [registration, callsign] : {std::pair{"", "SWR305"}, {"HB-305", ""}}) {
        LiveAircraft& a = taxiing();
        a.registration = registration;
        a.callsign = callsign;
        EXPECT_FALSE(lf_addRealOption(1, a, false, false, {3, 20})) << registration << "/" << callsign;
        liveAircraft.clear();
    }
    EXPECT_TRUE(stand().options.empty());
    EXPECT_EQ(standUpdateCount.load(), 0);
}

TEST_F(Learning, archivedAndFakeOptionsAreNeverExtended)
{
    LiveAircraft& a = taxiing();
    for (bool soft : {false, true}) {
        ParkPosOption o = standtest::option("SWR", "A320", 3, slots(20, 20), soft, soft ? 2 : 1);
        o.registration = "HB-305";
        o.fresh = false;
        stand().options.push_back(o);
    }
    EXPECT_FALSE(lf_addRealOption(1, a, true, false, {3, 21}));
    EXPECT_FALSE(lf_addSoftOption(1, a, true, {3, 21}));
    EXPECT_EQ(option(1).halfHours, slots(20, 20));
    EXPECT_EQ(option(2).halfHours, slots(20, 20));
    EXPECT_EQ(standUpdateCount.load(), 0);
}

// A new option while another registration's option is withdrawn, then the
// renewal's numbering: the parked aircraft's later half-hours go into its own
// option, never into the withdrawn one, and that one keeps its data.
TEST_F(Learning, anOptionKeepsItsIdentityWhenWithdrawnOptionsAreNumberedAgain)
{
    LiveAircraft& a = taxiing();
    ParkPosOption dlh = standtest::option("DLH", "A320", 3, slots(5, 5), false, 1);
    dlh.registration = "D-AIAB";
    ParkPosOption aua = standtest::option("AUA", "A320", 3, slots(6, 6), false, 0); // withdrawn by a fit
    aua.registration = "OE-BBB";
    aua.fresh = true;
    stand().options = {dlh, aua};
    ASSERT_TRUE(lf_addRealOption(1, a, false, false, {3, 20}));
    stand().numberOptionsAgain();
    ASSERT_TRUE(lf_addRealOption(1, a, true, true, {3, 22}));
    ASSERT_EQ(stand().options.size(), 3u);
    EXPECT_EQ(stand().options[1].registration, "OE-BBB");
    EXPECT_EQ(stand().options[1].halfHours, slots(6, 6));
    EXPECT_TRUE(stand().options[1].callsign.empty());
    EXPECT_EQ(stand().options[2].registration, "HB-305");
    EXPECT_EQ(stand().options[2].halfHours, slots(20, 22));
    EXPECT_EQ(stand().options[2].callsign, "SWR305");
}

TEST_F(Learning, softOptionFillsThreeHalfHoursButNotSix)
{
    LiveAircraft& a = taxiing();
    at(3, 20);
    lf_learnSoftOption(a);
    ASSERT_EQ(stand().options.size(), 1u) << log();
    EXPECT_TRUE(option(1).soft);
    at(3, 23);
    lf_learnSoftOption(a);
    EXPECT_EQ(option(1).halfHours, slots(20, 23));
    at(3, 29);
    lf_learnSoftOption(a);
    EXPECT_EQ(option(1).halfHours, slots(20, 23) | slots(29, 29));
    EXPECT_EQ(standUpdateCount.load(), 3);
}

TEST_F(Learning, softLearningNeedsTheSettingTheAirportAndNearness)
{
    struct Case {
        const char* what;
        bool learnSoft;
        bool allowed;
        double northMetres;
    };
    for (const Case& c : {Case{"setting off", false, true, 0.0}, Case{"airport disallows", true, false, 0.0},
                          Case{"5.1 nm out", true, true, 5.1 * 1852.0}}) {
        LEARN_SOFT.setValue(c.learnSoft);
        softLearningAllowed = c.allowed;
        LiveAircraft& a = taxiing();
        a.latitude = standtest::at(c.northMetres, 0).latitude;
        at(3, 20);
        lf_learnSoftOption(a);
        EXPECT_TRUE(stand().options.empty()) << c.what;
        liveAircraft.clear();
    }
    LEARN_SOFT.setValue(true);
    softLearningAllowed = true;
    LiveAircraft& a = taxiing();
    a.latitude = standtest::at(4.9 * 1852.0, 0).latitude;
    lf_learnSoftOption(a);
    EXPECT_EQ(stand().options.size(), 1u) << "4.9 nm out learns";
}

TEST_F(Learning, theThrottleHoldsSoftLearningForThreeHalfHours)
{
    LiveAircraft& a = taxiing();
    gf_noteSoftLearning(a.recordId, 20); // as an arrival at 20 notes it
    for (std::uint32_t hh : {20u, 21u, 22u}) {
        at(3, hh);
        lf_learnSoftOption(a);
        EXPECT_TRUE(stand().options.empty()) << hh;
    }
    at(3, 23);
    lf_learnSoftOption(a);
    EXPECT_EQ(stand().options.size(), 1u);
}

TEST_F(Learning, aRealOptionBesideTheHalfHourWrapsAcrossMidnight)
{
    LiveAircraft& a = taxiing();
    ParkPosOption real = standtest::option("SWR", "A320", 3, slots(47, 47) | slots(0, 0));
    real.registration = "HB-305";
    stands.stand("B1", 500, 0, 5).install();
    parkPositions[1].options.push_back(real);
    for (std::uint32_t hh : {0u, 1u, 46u, 47u}) {
        at(3, hh);
        softLearningThrottle.clear();
        lf_learnSoftOption(a);
        EXPECT_TRUE(stand().options.empty()) << hh;
    }
    at(3, 2);
    softLearningThrottle.clear();
    lf_learnSoftOption(a);
    EXPECT_EQ(stand().options.size(), 1u);
}

} // namespace
