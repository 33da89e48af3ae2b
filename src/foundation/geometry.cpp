#include "foundation/geometry.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using tzo::kRadiansPerDegree;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Twice an earth radius of 3437.746770784939 nm: one nautical mile per minute of arc.
constexpr double kEarthDiameterNm = 6875.493541569878;
constexpr double kMetresPerDegreeLatitude = 111132.95;

double lf_square(double x)
{
    return x * x;
}

} // namespace

double gf_greatCircleDistanceNm(const tzo::LatLon& a, const tzo::LatLon& b)
{
    const double latA = a.latitude * kRadiansPerDegree;
    const double latB = b.latitude * kRadiansPerDegree;
    const double lonA = a.longitude * kRadiansPerDegree;
    const double lonB = b.longitude * kRadiansPerDegree;
    const double h = std::cos(latA) * std::cos(latB) * lf_square(std::sin((lonA - lonB) / 2.0))
                     + lf_square(std::sin((latA - latB) / 2.0));
    // Rounding can push h of antipodal points a hair above 1, where asin has no value.
    return std::asin(std::sqrt(std::clamp(h, 0.0, 1.0))) * kEarthDiameterNm;
}

double gf_initialBearing(const tzo::LatLon& a, const tzo::LatLon& b)
{
    const double latA = a.latitude * kRadiansPerDegree;
    const double latB = b.latitude * kRadiansPerDegree;
    const double dLon = (b.longitude - a.longitude) * kRadiansPerDegree;
    double bearing = std::atan2(std::sin(dLon) * std::cos(latB),
                                std::cos(latA) * std::sin(latB) - std::sin(latA) * std::cos(latB) * std::cos(dLon));
    if (bearing < 0.0) {
        bearing += kTwoPi;
    }
    return bearing;
}

double gf_wrapPi(double angle)
{
    return std::remainder(angle, kTwoPi);
}

double gf_wrapTwoPi(double angle)
{
    const double r = std::fmod(angle, kTwoPi);
    // A tiny negative rest plus 2pi can round up to 2pi itself.
    return r < 0.0 ? std::fmod(r + kTwoPi, kTwoPi) : r;
}

double gf_headingDifference(double a, double b)
{
    if (b > a) {
        const double d = b - a;
        return d > std::numbers::pi ? d - kTwoPi : d;
    }
    if (a > b) {
        return -gf_headingDifference(b, a);
    }
    return 0.0;
}

bool gf_bezierPositionAt(const tzo::BezierPath& path, tzo::LatLon& position, double& heading, double t)
{
    if (std::isnan(path.controlEast) || std::isnan(path.controlNorth) || std::isnan(t)) {
        return false;
    }
    double u = 1.0;
    if (path.endTime > path.startTime) {
        if (t < path.startTime || t > path.endTime) {
            return false;
        }
        u = (t - path.startTime) / (path.endTime - path.startTime);
    }
    // else: no time to run through (and no division by zero): the end point.
    const double w = 1.0 - u;
    const double east = 2.0 * u * w * path.controlEast + u * u * path.endEast;
    const double north = 2.0 * u * w * path.controlNorth + u * u * path.endNorth;
    heading = std::atan2(2.0 * u * (path.endEast - path.controlEast) + 2.0 * w * path.controlEast,
                         2.0 * u * (path.endNorth - path.controlNorth) + 2.0 * w * path.controlNorth);
    if (heading < 0.0) {
        heading += kTwoPi;
    }
    double cosineLatitude = path.originLatitude;
    if (cosineLatitude > 180.0) {
        cosineLatitude -= 360.0;
    }
    position.latitude = path.originLatitude + north / kMetresPerDegreeLatitude;
    position.longitude =
        path.originLongitude + east / (kMetresPerDegreeLatitude * std::cos(cosineLatitude * kRadiansPerDegree));
    return true;
}
