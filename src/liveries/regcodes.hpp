#pragma once
// Liveries painted for one real aircraft, found by its registration: the
// codes given inside aircraft.cfg files, then "AIG-regcodes.xml", then the
// user's own ".TXT" files, a later source replacing an earlier one for the
// same code. Special liveries are handed out by their registration only.

#include "liveries/livery_maps.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tzo {

// registration code (1..12 bytes) -> title view into allLiveries.
extern TextMap<TitleView> regcodeLiveries;
// Titles of special liveries, once per special code entered.
extern std::vector<TitleView> specialLiveries;
// The same titles as a set, so that matching tests a candidate without a
// search of the list; keyed by text.
extern std::unordered_set<TitleView> specialTitles;
// What reading the registration files found; written to "OfflineRegcodes.txt".
extern std::vector<std::string> regcodeMessages;

struct RegcodeCounters {
    std::int32_t added = 0;
    std::int32_t replaced = 0;
    std::int32_t special = 0;
};

// Enters the in-line codes of scannedLiveries in list order; the first livery
// of a code keeps it, later ones are listed in "InlineRegcodes.txt" in the
// errors folder.
void lf_checkInlineRegcodeClashes();

// Reads the AIG file and the user's files (when there) and rewrites
// "OfflineRegcodes.txt" in the info folder with what they gave.
void gf_processRegcodeFiles();

void lf_readAigRegcodes();
void lf_readAigRegcodes(const std::filesystem::path& path);
void lf_readOfflineRegcodeFiles();
void lf_readOfflineRegcodeFiles(const std::filesystem::path& folder);

// Enters one code for the title; a code of wrong length is refused with a
// message naming the title.
void lf_addRegcode(const std::string& code, TitleView title, bool special, RegcodeCounters& counters);
// The same for a line of a user's file: the message names the file, and the
// code is special with "#" or as the only code of its line.
void lf_addOfflineRegcode(const std::string& code, TitleView title, bool special, bool singleCode,
                          const std::filesystem::path& file, RegcodeCounters& counters);

// The regular files of the folder (not of its subfolders) whose extension is
// ".TXT" in any case, in name order. A failing step through the folder raises
// the file-system error.
std::vector<std::filesystem::path> gf_listRegcodeFiles(const std::filesystem::path& folder);

// The trimmed codes of a "," list; none for an empty or blank list.
std::vector<std::string> gf_splitRegcodes(std::string_view text);

} // namespace tzo
