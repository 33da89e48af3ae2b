#include "airports/airports_list.hpp"
#include "app/traffic_range.hpp"
#include "foundation/paths.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/park_airports_file.hpp"
#include "support/test_support.hpp"
#include "traffic/live_traffic.hpp"

#include <gtest/gtest.h>

namespace {

const tzo::LatLon kPark{47.4647, 8.5492};

// The user d nautical miles north of the park airport (60 nm per degree).
tzo::RangeInputs airborneAt(double d)
{
    tzo::RangeInputs in;
    in.altitudeFt = 1500.0;
    in.airportHeightFt = 3000.0;
    in.firstParkAirport = kPark;
    in.user = {kPark.latitude + d / 60.0, kPark.longitude};
    return in;
}

} // namespace

TEST(TrafficRange, distanceToTheParkAirportSetsTheRange)
{
    const struct {
        double distanceNm;
        int rangeNm;
    } cases[] = {{0.0, 8}, {5.0, 8}, {5.4, 8}, {6.0, 9}, {12.5, 16}, {36.6, 40}, {37.0, 40}, {120.0, 40}};
    for (const auto& c : cases) {
        const auto in = airborneAt(c.distanceNm);
        EXPECT_NEAR(gf_greatCircleDistanceNm(in.user, kPark), c.distanceNm, 1e-6);
        EXPECT_EQ(tzo::gf_chooseTrafficRangeNm(in), c.rangeNm) << c.distanceNm << " nm";
    }
}

TEST(TrafficRange, groundHeightAndMissingParkAirportDecideFirst)
{
    auto in = airborneAt(20.0);
    in.onGround = true;
    EXPECT_EQ(tzo::gf_chooseTrafficRangeNm(in), 8);

    in = airborneAt(2.0);
    in.altitudeFt = 3000.5;
    EXPECT_EQ(tzo::gf_chooseTrafficRangeNm(in), 40) << "above AIRPORT_HEIGHT";

    in = airborneAt(2.0);
    in.firstParkAirport.reset();
    EXPECT_EQ(tzo::gf_chooseTrafficRangeNm(in), 40) << "no park airport counts as 10000 nm";
}

TEST(TrafficRange, settingIsClampedWhileTheRangeKeepsItsValue)
{
    EXPECT_EQ(gf_applyTrafficRange(8, 2, 100), 8);
    EXPECT_EQ(rangeNm.load(), 8.0);
    EXPECT_EQ(rangeMetres.load(), 14816U);

    EXPECT_EQ(gf_applyTrafficRange(40, 2, 100), 40);
    EXPECT_EQ(rangeMetres.load(), 74080U);

    EXPECT_EQ(gf_applyTrafficRange(8, 10, 100), 10) << "a raised minimum clamps the setting";
    EXPECT_EQ(rangeNm.load(), 8.0);
    EXPECT_EQ(rangeMetres.load(), 14816U);
    EXPECT_EQ(gf_applyTrafficRange(40, 2, 30), 30);
    EXPECT_EQ(rangeNm.load(), 40.0);
}

TEST(TrafficRange, updateSetsTheRangeAndTheLateralRangeSetting)
{
    LATERAL_RANGE.setValue(LATERAL_RANGE.defaultValue());
    auto in = airborneAt(12.5);
    tzo::gf_updateTrafficRange(in);
    EXPECT_EQ(LATERAL_RANGE.value(), 16);
    EXPECT_EQ(rangeMetres.load(), 16U * 1852U);

    in.onGround = true;
    tzo::gf_updateTrafficRange(in);
    EXPECT_EQ(LATERAL_RANGE.value(), 8);
    EXPECT_EQ(rangeNm.load(), 8.0);

    gf_setRangeNm(500);
    EXPECT_EQ(LATERAL_RANGE.value(), LATERAL_RANGE.max()) << "the setting is clamped";
    EXPECT_EQ(rangeNm.load(), 500.0) << "the range is not";
    gf_rangeFromSetting();
    EXPECT_EQ(rangeNm.load(), static_cast<double>(LATERAL_RANGE.max()));
}

// The program's own situation: the user aircraft as reported and the park
// airports as read from "my_park_airports.txt", nearest first.
TEST(TrafficRange, programRangeMeasuresToTheFirstParkAirportOfTheFile)
{
    const testsupport::TempDir dir{true};
    gf_setAirportsListForTests({{"LSGG", "GVA", 46.2381, 6.1089, 1411}, {"LSZH", "ZRH", kPark.latitude,
                                                                          kPark.longitude, 1416}});
    testsupport::writeFile(g_myParkAirportsPath, "LSGG\nLSZH\n");
    userAircraft = {};
    userAircraft.latitude = kPark.latitude + 10.0 / 60.0;
    userAircraft.longitude = kPark.longitude;
    userAircraft.altitude = 1500.0;
    userOnGround.store(false);
    AIRPORT_HEIGHT.setValue(3000);
    ASSERT_TRUE(gf_readMyParkAirports(true));
    ASSERT_EQ(parkAirports.front().code, "LSZH");

    tzo::gf_updateTrafficRange();
    EXPECT_EQ(rangeNm.load(), 13.0) << "10 nm from the first park airport";
    EXPECT_EQ(LATERAL_RANGE.value(), 13);

    parkAirports.clear();
    tzo::gf_updateTrafficRange();
    EXPECT_EQ(rangeNm.load(), 40.0) << "no park airport";

    userAircraft = {};
    AIRPORT_HEIGHT.setValue(AIRPORT_HEIGHT.defaultValue());
    LATERAL_RANGE.setValue(LATERAL_RANGE.defaultValue());
    gf_rangeFromSetting();
    gf_resetAirportsListForTests();
}
