#include "traffic/removal.hpp"

#include "foundation/geometry.hpp"
#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"

#include <fmt/format.h>

#include <algorithm>

void gf_removeAircraft(tzo::AircraftRecord& aircraft)
{
    if (aircraft.standId != 0)
        lf_markStandOccupied(aircraft.standId, false);
    aircraft.state = tzo::AircraftState::BeingRemoved;
    if (aircraft.objectId != 0)
        removalQueue.push_back(aircraft.objectId);
    else
        gf_logLineMarked(fmt::format("removing act {} with objectId=0 ?", gf_formatStatusLine(aircraft)));
}

bool gf_farthestTest(double distanceNm)
{
    double best = distanceNm;
    tzo::LiveAircraft* candidate = nullptr;
    const tzo::LatLon user{userAircraft.latitude, userAircraft.longitude};
    for (tzo::LiveAircraft& a : liveAircraft) {
        if (a.state != tzo::AircraftState::InSimulator)
            continue;
        const double d = gf_greatCircleDistanceNm({a.latitude, a.longitude}, user);
        if (d > best + 0.1) {
            candidate = &a;
            best = d;
        }
    }
    if (candidate == nullptr)
        return true;
    gf_removeAircraft(*candidate);
    return false;
}

void gf_limitLiveCount()
{
    if (MAX_LIVE.value() == MAX_LIVE.defaultValue())
        return; // the window's field is emptied by the shell
    const auto count = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const tzo::LiveAircraft& a) {
        return a.state == tzo::AircraftState::InSimulator;
    });
    for (auto n = count; n > MAX_LIVE.value(); --n)
        gf_farthestTest(-1.0);
}
