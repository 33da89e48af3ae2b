#pragma once
// Distances and bearings on the earth, heading differences and the curved
// ground path of a taxiing aircraft. Angles are radians unless said otherwise.

namespace tzo {

inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kNmPerMetre = 1.0 / kMetresPerNm;
inline constexpr double kFeetPerNm = kMetresPerNm / 0.3048;
inline constexpr double kRadiansPerDegree = 0.017453292519943295;
inline constexpr double kDegreesPerRadian = 57.29577951308232;

// Degrees, north and east positive.
struct LatLon {
    double latitude = 0.0;
    double longitude = 0.0;
};

// A quadratic Bezier curve on the ground from an origin (0, 0) through a
// control point to an end point, both in metres from the origin, run through
// from a start time to an end time (the caller's time unit). The member order
// is the stored order of the eight values.
struct BezierPath {
    double originLatitude = 0.0;  // degrees
    double originLongitude = 0.0; // degrees
    double startTime = 0.0;
    double endNorth = 0.0; // metres
    double endEast = 0.0;  // metres
    double endTime = 0.0;
    double controlEast = 0.0;  // metres
    double controlNorth = 0.0; // metres
};

} // namespace tzo

// Great-circle distance in nautical miles (haversine, one nautical mile per
// minute of arc).
double gf_greatCircleDistanceNm(const tzo::LatLon& a, const tzo::LatLon& b);

// Initial great-circle course from a to b, 0..2pi.
double gf_initialBearing(const tzo::LatLon& a, const tzo::LatLon& b);

// The angle brought into -pi..pi, and into 0..2pi, in closed form: an angle
// of any size takes the same few steps (a NaN stays one).
double gf_wrapPi(double angle);
double gf_wrapTwoPi(double angle);

// Signed turn from heading a to heading b (both 0..2pi), the shorter way: -pi..pi.
double gf_headingDifference(double a, double b);

// Position and heading (0..2pi) on the path at time t. False when the control
// point is not a number or t lies outside start..end. A path whose end time is
// not after its start time takes no time: it answers its end point.
bool gf_bezierPositionAt(const tzo::BezierPath& path, tzo::LatLon& position, double& heading, double t);
