#pragma once
// Corrections the livery scan applies to codes found in aircraft.cfg files:
// wrong model codes and the airline codes of private and government owners.
// Read once from "fixes.xml" before any scan; read without locks afterwards.

#include <filesystem>
#include <set>
#include <string>
#include <unordered_map>

namespace tzo {

// Wrong model code -> the model code to use instead.
extern std::unordered_map<std::string, std::string> codeFixes;
// Airline codes of private and of government operators; both become "PVT".
extern std::set<std::string> pvtFixes;
extern std::set<std::string> govFixes;

} // namespace tzo

// "fixes.xml" in the input folder.
extern const std::filesystem::path g_fixesPath;

// Fills the three tables from g_fixesPath (or the given file). True when all
// three are non-empty afterwards. Raises tzo::UserErrorException 3 when the
// file is missing or not well-formed. Entries already present are kept.
bool gf_readFixesXml();
bool gf_readFixesXml(const std::filesystem::path& path);
