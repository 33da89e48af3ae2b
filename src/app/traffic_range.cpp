#include "app/traffic_range.hpp"

#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/park_airports_file.hpp"
#include "traffic/live_traffic.hpp"

#include <cmath>

namespace tzo {

namespace {

constexpr double kNoParkAirportNm = 10000.0;
constexpr int kGroundRangeNm = 8;
constexpr int kWideRangeNm = 40;

} // namespace

int gf_chooseTrafficRangeNm(const RangeInputs& in)
{
    if (in.onGround)
        return kGroundRangeNm;
    if (in.altitudeFt > in.airportHeightFt)
        return kWideRangeNm;
    const double d =
        in.firstParkAirport ? gf_greatCircleDistanceNm(in.user, *in.firstParkAirport) : kNoParkAirportNm;
    if (d <= 5.0)
        return kGroundRangeNm;
    if (d < 37.0)
        return static_cast<int>(std::lround(d)) + 3;  // halves away from zero
    return kWideRangeNm;
}

void gf_updateTrafficRange(const RangeInputs& in)
{
    const std::int32_t before = LATERAL_RANGE.value();
    gf_setRangeNm(gf_chooseTrafficRangeNm(in));
    if (LATERAL_RANGE.value() != before)
        LATERAL_RANGE.show();
}

void gf_updateTrafficRange()
{
    RangeInputs in;
    in.onGround = userOnGround.load();
    in.altitudeFt = userAircraft.altitude;
    in.airportHeightFt = AIRPORT_HEIGHT.value();
    in.user = {userAircraft.latitude, userAircraft.longitude};
    // The park airports as static parking read them, nearest first.
    if (!parkAirports.empty())
        in.firstParkAirport = LatLon{parkAirports.front().latitude, parkAirports.front().longitude};
    gf_updateTrafficRange(in);
}

} // namespace tzo
