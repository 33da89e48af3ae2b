#include "refdata/aircraft_category.hpp"

#include <array>
#include <stdexcept>

namespace {

const std::array<std::string, tzo::kCategoryCount> kCategoryNames = {
    "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft",
};

constexpr std::array<tzo::CategoryValues, tzo::kCategoryCount> kCategoryValues = {{
    {250, 250, 100, 200, -9.0, -15.0},  // Light
    {300, 300, 200, 250, -8.0, -18.0},  // Buzjets
    {400, 350, 200, 300, -6.0, -16.5},  // Large
    {450, 450, 250, 400, -5.0, -12.5},  // Heavy
    {150, 150, 100, 200, -6.0, -20.0},  // HighPerf
    {100, 100, 100, 100, -20.0, -30.0}, // Rotorcraft
}};

} // namespace

const std::string& gf_categoryName(tzo::AircraftCategory category)
{
    return kCategoryNames.at(static_cast<std::size_t>(category));
}

const tzo::CategoryValues& gf_categoryValues(tzo::AircraftCategory category)
{
    return kCategoryValues.at(static_cast<std::size_t>(category));
}
