#include "airports/airport_services.hpp"

tzo::SharedText parkAirportCode;
tzo::GeoPosition parkAirportPosition;
tzo::SharedText parkAirportIata;
std::atomic<double> parkAirportElevationFt{kNoParkAirportElevation};
std::atomic<bool> parkAirportActive{false};
std::atomic<bool> parkAirportChanged{false};
std::atomic<std::int32_t> tbloAirportCount{0};

void gf_clearParkAirportState()
{
    parkAirportCode.clear();
    parkAirportIata.clear();
    parkAirportPosition.latitude.store(0.0);
    parkAirportPosition.longitude.store(0.0);
    parkAirportElevationFt.store(kNoParkAirportElevation);
}
