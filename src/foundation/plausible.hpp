#pragma once
// What an aircraft can report. Numbers from outside (traffic lines, the
// simulator's answers about other objects) are held to these bounds before
// they are stored, used or sent on: a number beyond them is a broken or
// hostile report, and taken as it stands it would reach the simulator,
// RealTraffic or an integer conversion. NaN and infinities are outside every
// bound. The bounds keep out broken numbers, not unusual aircraft: balloons
// and spy planes near 70,000 ft, rocket planes and military climbs pass.

namespace tzo {

inline constexpr double kLowestAltitudeFt = -2000.0;
inline constexpr double kHighestAltitudeFt = 150000.0;
inline constexpr double kFastestKt = 4000.0;
inline constexpr double kSteepestFeetPerMinute = 60000.0;
inline constexpr double kSteepestRollDegrees = 90.0;

// low <= value <= high; false for NaN.
inline bool gf_within(double value, double low, double high)
{
    return value >= low && value <= high;
}

inline bool gf_plausibleAltitude(double feet)
{
    return gf_within(feet, kLowestAltitudeFt, kHighestAltitudeFt);
}

inline bool gf_plausibleSpeed(double knots)
{
    return gf_within(knots, 0.0, kFastestKt);
}

inline bool gf_plausibleVerticalSpeed(double feetPerMinute)
{
    return gf_within(feetPerMinute, -kSteepestFeetPerMinute, kSteepestFeetPerMinute);
}

// A track or heading in degrees.
inline bool gf_plausibleDirection(double degrees)
{
    return gf_within(degrees, 0.0, 360.0);
}

inline bool gf_plausiblePosition(double latitude, double longitude)
{
    return gf_within(latitude, -90.0, 90.0) && gf_within(longitude, -180.0, 180.0);
}

} // namespace tzo
