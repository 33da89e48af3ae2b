#pragma once
// Aircraft categories, derived from the model code by the data base, and the
// per-category values that a new AI aircraft record receives.

#include <cstdint>
#include <string>

namespace tzo {

// Indexes every per-category table; the values are fixed.
enum class AircraftCategory : std::uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

inline constexpr std::size_t kCategoryCount = 6;

// Attitudes and step counts of take-off and landing, counted in position
// updates of the aircraft. Pitch in degrees, negative is nose up (the
// simulator's convention).
struct CategoryValues {
    std::uint32_t flareSteps;
    std::uint32_t touchdownSteps;
    std::uint32_t rotationSteps;
    std::uint32_t climbPitchSteps;
    double rotationPitchDeg;
    double climbPitchDeg;
};

} // namespace tzo

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; a value
// outside 0..5 raises std::out_of_range.
const std::string& gf_categoryName(tzo::AircraftCategory category);

// The row of the category; a value outside 0..5 raises std::out_of_range.
const tzo::CategoryValues& gf_categoryValues(tzo::AircraftCategory category);
