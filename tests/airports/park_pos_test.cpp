// Stand records: units at the file edge, the half-hour text, the option
// match and the position test, and the park airport's table.

#include "airports/stand_builder.hpp"

#include "airports/park_pos.hpp"
#include "airports/park_positions.hpp"
#include "foundation/log.hpp"
#include "support/test_support.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using standtest::slots;

namespace {

struct StandRecords : ::testing::Test {
    testsupport::TempDir dir;
    StandRecords() { gf_openLog(dir / "Log.txt"); }
    ~StandRecords() override
    {
        gf_clearParkPositions();
        standUpdateCount.store(0);
        gf_closeLog();
    }
    std::vector<std::string> markedLines() const
    {
        std::vector<std::string> marked;
        for (const std::string& line : testsupport::readLines(dir / "Log.txt"))
            if (line.starts_with("===> "))
                marked.push_back(line);
        return marked;
    }
};

} // namespace

TEST_F(StandRecords, halfHourTextRoundTrips)
{
    const struct {
        const char* text;
        tzo::HalfHourSet set;
    } cases[] = {
        {"0,47", tzo::gf_halfHourBit(0) | tzo::gf_halfHourBit(47)},
        {"14,15,16", slots(14, 16)},
        {"", 0},
        {"0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36,37,38,"
         "39,40,41,42,43,44,45,46,47",
         tzo::kAllHalfHours},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lf_hours2bitset(c.text), c.set) << c.text;
        EXPECT_EQ(lf_bitset2hours(c.set), c.text);
    }
    EXPECT_TRUE(markedLines().empty());
}

TEST_F(StandRecords, halfHourPiecesAreReadLeniently)
{
    for (const char* text : {" 7", "7a", "+7,", "\t7 ,7"})
        EXPECT_EQ(lf_hours2bitset(text), tzo::gf_halfHourBit(7)) << "\"" << text << "\"";
    EXPECT_TRUE(markedLines().empty());
}

TEST_F(StandRecords, badHalfHourPieceStopsTheReadingWithTheSlotsBefore)
{
    const struct {
        const char* text;
        tzo::HalfHourSet set;
        const char* reason;
    } cases[] = {
        {"48", 0, "invalid bitset position"},
        {"-1", 0, "invalid bitset position"},
        {"5,-2147483648", tzo::gf_halfHourBit(5), "invalid bitset position"},
        {"99999999999", 0, "stoi argument out of range"},
        {"1,2147483648", tzo::gf_halfHourBit(1), "stoi argument out of range"},
        {"3,x,5", tzo::gf_halfHourBit(3), "invalid stoi argument"},
        {"3,,5", tzo::gf_halfHourBit(3), "invalid stoi argument"},
        {",4", 0, "invalid stoi argument"},
        {"1,2, ", slots(1, 2), "invalid stoi argument"},
    };
    for (const auto& c : cases) {
        gf_closeLog();
        gf_openLog(dir / "Log.txt");
        EXPECT_EQ(lf_hours2bitset(c.text), c.set) << c.text;
        EXPECT_EQ(markedLines(), std::vector<std::string>{fmt::format("===> exception {} in lf_hours2bitset", c.reason)})
            << c.text;
    }
}

TEST_F(StandRecords, unitsConvertExactlyAtTheFileEdge)
{
    EXPECT_EQ(tzo::gf_metresToNm(1852.0), 1.0);
    EXPECT_EQ(tzo::gf_nmToMetres(1.0), 1852.0);
    EXPECT_EQ(tzo::gf_degreesToRadians(90.0), std::numbers::pi / 2);
    EXPECT_EQ(tzo::gf_radiansToDegrees(std::numbers::pi / 2), 90.0);

    const tzo::ParkPos stand("B12", {}, 47.0, 8.0, tzo::gf_degreesToRadians(90.0), 1852.0, true, false, true);
    EXPECT_EQ(stand.radius, 1.0);
    EXPECT_EQ(tzo::gf_nmToMetres(stand.radius), 1852.0);
}

TEST_F(StandRecords, optionsMatchOnTheSameKindSharingAHalfHour)
{
    using standtest::option;
    std::vector<tzo::ParkPosOption> options = {
        option("SWR", "A320", 1, slots(10, 12), true),  // soft
        option("SWR", "A320", 2, slots(10, 12)),        // other day
        option("SWR", "A320", 1, slots(20, 22)),        // disjoint
        option("SWR", "A320", 1, slots(12, 14)),        // one shared slot
        option("SWR", "A320", 1, slots(0, 47)),
    };
    const tzo::ParkPosOption probe = option("SWR", "A320", 1, slots(8, 12));
    EXPECT_EQ(lf_findMatchingOption(options.begin(), options.end(), probe), options.begin() + 3);
    EXPECT_EQ(lf_findMatchingOption(options.cbegin(), options.cbegin() + 3, probe), options.cbegin() + 3);

    tzo::ParkPosOption other = probe;
    other.registration = "HB-JLT";
    EXPECT_EQ(lf_findMatchingOption(options.begin(), options.end(), other), options.end());
    other = probe;
    other.type = "a320";
    EXPECT_EQ(lf_findMatchingOption(options.begin(), options.end(), other), options.end()) << "case counts";
    other = probe;
    other.soft = true;
    EXPECT_EQ(lf_findMatchingOption(options.begin(), options.end(), other), options.begin());
}

TEST_F(StandRecords, positionIsMissingOnlyInTheBoxAtZero)
{
    const struct {
        double latitude, longitude;
        bool has;
    } cases[] = {
        {0, 0, false}, {0.0009, 0.05, false}, {0.00091, 0, true}, {-0.0001, 0, true}, {0, 0.051, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lf_hasPosition(c.latitude, c.longitude), c.has) << c.latitude << "," << c.longitude;
}

TEST_F(StandRecords, standsAreFoundByIdAndPublishedWithEveryChange)
{
    standtest::StandBuilder b;
    b.stand("A1", 0, 0, 30).stand("A2", 0, 50, 30).stand("A3", 0, 300, 20);
    const auto before = gf_standPlaces()->generation;
    b.install(true);
    EXPECT_EQ(gf_standById(2)->name, "A2");
    EXPECT_EQ(gf_standById(0), nullptr);
    EXPECT_EQ(gf_standById(4), nullptr);
    EXPECT_EQ(gf_standNameOfId(3), "A3");
    EXPECT_EQ(gf_standNameOfId(0), "sid==0?");
    EXPECT_EQ(gf_standNameOfId(9), "unknown");
    EXPECT_EQ(parkPositions[0].adjacent, std::vector<std::uint32_t>{2});
    EXPECT_TRUE(parkPositions[2].adjacent.empty());

    const auto places = gf_standPlaces();
    EXPECT_GT(places->generation, before);
    ASSERT_EQ(places->stands.size(), 3u);
    EXPECT_EQ(places->stands[1].name, "A2");
    EXPECT_EQ(places->stands[1].latitude, parkPositions[1].latitude);

    gf_clearParkPositions();
    EXPECT_TRUE(gf_standPlaces()->stands.empty());
    EXPECT_GT(gf_standPlaces()->generation, places->generation);
    EXPECT_EQ(places->stands.size(), 3u) << "a snapshot taken stays whole";
}
