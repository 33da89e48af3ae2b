#pragma once
// The automatic traffic range: how far around the user aircraft live traffic
// is taken in and asked of the simulator. With AUTO_RANGE on it follows the
// flight: tight on the ground and near the park airport, wide in the air.

#include "foundation/geometry.hpp"

#include <optional>

namespace tzo {

struct RangeInputs {
    bool onGround = false;
    double altitudeFt = 0.0;
    double airportHeightFt = 0.0;  // AIRPORT_HEIGHT
    LatLon user;
    std::optional<LatLon> firstParkAirport;  // none when the park airports list is empty
};

// The automatic range in nautical miles for the situation given.
int gf_chooseTrafficRangeNm(const RangeInputs& in);

// Sets the range for the situation given (gf_setRangeNm) and, when the
// LATERAL_RANGE value changed, shows it in its field.
void gf_updateTrafficRange(const RangeInputs& in);

// The same for the program's situation now: the user aircraft as last
// reported, AIRPORT_HEIGHT and the first park airport.
void gf_updateTrafficRange();

} // namespace tzo
