#pragma once
// The program's clock and date texts.

#include <ctime>
#include <string>

// The C library's 24-character date text of the current UTC time
// ("Wed Dec  9 04:36:26 2026"), without a line end.
std::string gf_utcTimeText();
std::string gf_utcTimeText(std::time_t when);
