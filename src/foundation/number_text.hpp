#pragma once
// Number and position texts for the window and the log.

#include "foundation/geometry.hpp"

#include <string>

// "{:.1F}" when the value has a fractional part, else "{:.0f}": 24 and 23.5.
std::string gf_formatNumber(float value);

// Latitude and longitude with six decimals each, joined by ',' without a blank.
std::string gf_formatLatLon(double latitude, double longitude);

// The code, a blank and the text of a Windows socket error code (see
// platform/socket_errors.hpp for the codes of this system's errors).
std::string gf_socketErrorText(int code);
