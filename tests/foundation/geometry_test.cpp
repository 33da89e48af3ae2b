#include "foundation/geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using tzo::BezierPath;
using tzo::LatLon;

namespace {
constexpr double kPi = std::numbers::pi;
}

TEST(Geometry, greatCircleDistancesOnKnownPairs)
{
    EXPECT_EQ(gf_greatCircleDistanceNm({51.47, -0.4543}, {51.47, -0.4543}), 0.0);
    EXPECT_NEAR(gf_greatCircleDistanceNm({47.5, 8.5}, {48.5, 8.5}), 60.0, 1e-9);
    EXPECT_NEAR(gf_greatCircleDistanceNm({60, 0}, {60, 1}), 30.0, 0.01); // a degree of longitude at 60N
    // Half the earth round: 180 x 60 nm, and no not-a-number from rounding.
    const double half = gf_greatCircleDistanceNm({0, 0}, {0, 180});
    EXPECT_FALSE(std::isnan(half));
    EXPECT_NEAR(half, 10800.0, 1e-6);
    EXPECT_NEAR(gf_greatCircleDistanceNm({45, 10}, {-45, -170}), 10800.0, 1e-6);
}

TEST(Geometry, initialBearingsOfTheCompassDirections)
{
    EXPECT_NEAR(gf_initialBearing({0, 0}, {1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(gf_initialBearing({0, 0}, {0, -1}), 3 * kPi / 2, 1e-12); // never negative
    EXPECT_NEAR(gf_initialBearing({10, 179.5}, {10, -179.5}), kPi / 2, 0.01); // over the date line
}

TEST(Geometry, headingDifferenceTakesTheShorterWay)
{
    struct Case {
        double a;
        double b;
        double expected;
    };
    const Case cases[] = {
        {6.2, 0.1, 2 * kPi - 6.1}, // about +0.183: right over north
        {0.1, 6.2, 6.1 - 2 * kPi}, // about -0.183
        {kPi / 2, 0.0, -kPi / 2},
        {0.5, 0.5 + kPi - 0.01, kPi - 0.01},
        {0.5, 0.5 + kPi + 0.01, -(kPi - 0.01)},
        {0.0, 2 * kPi, 0.0},
    };
    for (const auto& c : cases) {
        const double d = gf_headingDifference(c.a, c.b);
        EXPECT_NEAR(d, c.expected, 1e-9) << c.a << " -> " << c.b;
        EXPECT_GE(d, -kPi);
        EXPECT_LE(d, kPi);
    }
}

TEST(Geometry, anglesOfAnySizeAreWrappedInClosedForm)
{
    struct Case {
        double angle;
        double pi;    // into -pi..pi
        double twoPi; // into 0..2pi
    };
    const Case cases[] = {
        {0.5, 0.5, 0.5},
        {-0.5, -0.5, 2 * kPi - 0.5},
        {3 * kPi + 0.5, -kPi + 0.5, kPi + 0.5},
        {-2 * kPi, 0.0, 0.0},
        {-1e-300, -1e-300, 0.0}, // a rest too small to add to 2 pi
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(gf_wrapPi(c.angle), c.pi, 1e-12) << c.angle;
        EXPECT_NEAR(gf_wrapTwoPi(c.angle), c.twoPi, 1e-12) << c.angle;
    }
    // A number no loop of 2 pi steps would ever get through.
    for (const double huge : {1e20, -1e300}) {
        EXPECT_LE(std::fabs(gf_wrapPi(huge)), kPi) << huge;
        EXPECT_GE(gf_wrapTwoPi(huge), 0.0) << huge;
        EXPECT_LT(gf_wrapTwoPi(huge), 2 * kPi) << huge;
    }
    EXPECT_TRUE(std::isnan(gf_wrapPi(std::nan(""))));
}

TEST(Geometry, bezierPathRunsFromOriginToEnd)
{
    // 100 m north and 200 m east of the origin through a control point 150 m north.
    const BezierPath path{47.0, 8.0, 10.0, 100.0, 200.0, 20.0, 0.0, 150.0};
    LatLon at;
    double heading = -1;

    ASSERT_TRUE(gf_bezierPositionAt(path, at, heading, 10.0));
    EXPECT_DOUBLE_EQ(at.latitude, 47.0);
    EXPECT_DOUBLE_EQ(at.longitude, 8.0);
    EXPECT_NEAR(heading, 0.0, 1e-12); // leaving towards the control point, due north

    ASSERT_TRUE(gf_bezierPositionAt(path, at, heading, 20.0));
    EXPECT_NEAR(at.latitude, 47.0 + 100.0 / 111132.95, 1e-12);
    EXPECT_NEAR(at.longitude, 8.0 + 200.0 / (111132.95 * std::cos(47.0 * kPi / 180)), 1e-12);
    EXPECT_NEAR(heading, std::atan2(200.0, -50.0), 1e-12); // arriving from the control point
    EXPECT_NEAR(gf_greatCircleDistanceNm({47.0, 8.0}, at) * 1852.0, std::hypot(100.0, 200.0), 0.5);

    EXPECT_FALSE(gf_bezierPositionAt(path, at, heading, 9.999));
    EXPECT_FALSE(gf_bezierPositionAt(path, at, heading, 20.001));
    EXPECT_FALSE(gf_bezierPositionAt(path, at, heading, std::nan("")));
}

TEST(Geometry, bezierPathHeadingIsBroughtIntoFullCircle)
{
    // Straight west: atan2 answers a negative angle, the path 3pi/2.
    const BezierPath west{0.0, 0.0, 0.0, 0.0, -100.0, 1.0, -50.0, 0.0};
    LatLon at;
    double heading = 0;
    ASSERT_TRUE(gf_bezierPositionAt(west, at, heading, 0.5));
    EXPECT_NEAR(heading, 3 * kPi / 2, 1e-12);
    EXPECT_LT(at.longitude, 0.0);
}

TEST(Geometry, degenerateBezierPaths)
{
    LatLon at{1, 1};
    double heading = 7;
    // A not-a-number control point: refused, outputs untouched.
    const BezierPath nanControl{47.0, 8.0, 0.0, 10.0, 10.0, 1.0, std::nan(""), 5.0};
    EXPECT_FALSE(gf_bezierPositionAt(nanControl, at, heading, 0.5));
    const BezierPath nanNorth{47.0, 8.0, 0.0, 10.0, 10.0, 1.0, 5.0, std::nan("")};
    EXPECT_FALSE(gf_bezierPositionAt(nanNorth, at, heading, 0.5));
    EXPECT_EQ(at.latitude, 1.0);
    EXPECT_EQ(heading, 7.0);

    // No time to run through: the end point, never a division by zero.
    for (double endTime : {5.0, 4.0}) {
        const BezierPath instant{47.0, 8.0, 5.0, 111132.95, 0.0, endTime, 0.0, 50.0};
        ASSERT_TRUE(gf_bezierPositionAt(instant, at, heading, 5.0)) << endTime;
        EXPECT_DOUBLE_EQ(at.latitude, 48.0);
        EXPECT_DOUBLE_EQ(at.longitude, 8.0);
        EXPECT_FALSE(std::isnan(heading));
    }

    // All points at the origin: stays there, heading 0.
    const BezierPath still{47.0, 8.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0};
    ASSERT_TRUE(gf_bezierPositionAt(still, at, heading, 0.3));
    EXPECT_DOUBLE_EQ(at.latitude, 47.0);
    EXPECT_DOUBLE_EQ(at.longitude, 8.0);
    EXPECT_EQ(heading, 0.0);

    // An origin latitude stored above 180 is taken minus 360 for the cosine.
    const BezierPath wrapped{300.0, 8.0, 0.0, 0.0, 1000.0, 1.0, 0.0, 0.0};
    ASSERT_TRUE(gf_bezierPositionAt(wrapped, at, heading, 1.0));
    EXPECT_NEAR(at.longitude, 8.0 + 1000.0 / (111132.95 * std::cos(-60.0 * kPi / 180)), 1e-9);
}
