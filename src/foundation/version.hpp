#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace tzo {

struct Version {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;

    // Field by field, major first, as signed numbers.
    auto operator<=>(const Version&) const = default;
};

} // namespace tzo

// "8.8.0" (any one character between the numbers) or a JSON object with
// "major", "minor" and "patch". Never throws: what cannot be read stays 0.
tzo::Version gf_parseVersion(std::string_view text);
std::string gf_versionToString(const tzo::Version& version);

// This program's own version.
const tzo::Version& gf_programVersion();
inline constexpr std::string_view kProgramVersionText = "8.8.0";
inline constexpr std::string_view kProgramName = "Norvane_P3D";
