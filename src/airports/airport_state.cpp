#include "airports/airport_services.hpp"

tzo::SharedText parkAirportCode;
tzo::GeoPosition parkAirportPosition;
std::atomic<bool> parkAirportActive{false};
std::atomic<std::int32_t> tbloAirportCount{0};
