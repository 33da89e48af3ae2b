#pragma once
// What the livery scan accepts from the lines of an aircraft.cfg: key=value
// lines of the keys it needs, [fltsim.N] headers, the numbering of a file's
// sections and the file's model code.
//
// A key line is: blanks, the key (any letter case), blanks, '=', blanks, the
// value, blanks. The value runs from its first to its last non-blank
// character; it may not hold a line feed or carriage return inside. Blanks
// are space, tab, CR, LF, FF and VT. An empty value is no match. The matchers
// are written by hand: lines of installed files can be any length.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Stands for a [fltsim.] header without a usable number.
inline constexpr int kFltsimNoNumber = 10000;

// The value of the whole line "key=value" for the (lower-case) key; empty when
// the line is something else.
std::string lf_matchKeyValue(std::string_view line, std::string_view key);

// True and the value stored into value when the line is that key's line;
// false and value untouched otherwise.
bool lf_matchTitle(std::string_view line, std::string& value);
bool lf_matchSim(std::string_view line, std::string& value);
bool lf_matchModel(std::string_view line, std::string& value);
bool lf_matchTexture(std::string_view line, std::string& value);
bool lf_matchAtcId(std::string_view line, std::string& value);
bool lf_matchAtcParkingTypes(std::string_view line, std::string& value);

// The value, or empty.
std::string lf_matchAtcModel(std::string_view line);
std::string lf_matchAtcParkingCodes(std::string_view line);

// Whether the key text stands anywhere in the line, exactly as written; a
// repeated key is found by these, also in a commented-out line.
bool lf_hasAtcIdKey(std::string_view line);           // "atc_id="
bool lf_hasAtcParkingTypesKey(std::string_view line); // "atc_parking_types"
bool lf_hasAtcParkingCodesKey(std::string_view line); // "atc_parking_codes"

// The digits of a "[fltsim.N]" header (leading zeros kept), "10000" for a
// header whose number is missing or malformed, empty for any other line and
// for lines beginning with "//".
std::string lf_matchFltsimHeader(std::string_view line);

// Whether the file's [fltsim.N] headers, in any order, are exactly 0..n-1.
// False rejects the file (reported to invalidCfgFiles, or logged for a number
// too large); a file without headers passes and is listed in
// noFltsimSectionFiles.
bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::filesystem::path& path);

// The file's model code: the first non-empty atc_model value anywhere in the
// file, when valid, else its code fix. Empty (and reported) when the file has
// none or an invalid one without fix.
std::string lf_fixAtcModel(const std::filesystem::path& path, const std::vector<std::string>& lines);

// Report lines for codes the data base does not know.
void lf_addInvalidAirline(const std::string& code, const std::filesystem::path& path, std::string_view suffix);
void lf_addInvalidModel(const std::string& code, const std::filesystem::path& path);
