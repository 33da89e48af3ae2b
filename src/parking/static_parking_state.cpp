#include "parking/static_parking_services.hpp"

tzo::SharedText reservedStand;
std::atomic<bool> parkAirportChanged{false};
std::atomic<std::uint32_t> savedMaxLive{0};
