#pragma once
// Made-up stand aircraft: with PARK_FAKE every stand of the park airport gets
// one soft option for the current half-hour, an airline and type typical for
// the stand's kind or the airport's region, so that static parking has
// something to place where nothing was learned.

#include "airports/park_pos.hpp"
#include "foundation/time.hpp"

#include <string>
#include <vector>

// Adds the fake options to parkPositions for the airport code.
void lf_addFakeOptions(const std::string& airportCode);
// The same for given stands at a given day and half-hour.
void lf_addFakeOptions(const std::string& airportCode, std::vector<tzo::ParkPos>& stands, DayHour now);
