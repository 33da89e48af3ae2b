#pragma once
// The reference data base "dbase.xml": model codes and their categories,
// similar models, ICAO airlines, publishers, wingspans and the known
// registrations. It is read once per process by the start-up thread; the
// containers are written only by that read and are read without locks
// afterwards.

#include "refdata/aircraft_category.hpp"

#include <pugixml.hpp>

#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tzo {

// What the data base knows of one registration. Codes are plain (unscrambled).
struct DbaseRecord {
    std::string airl; // airline code, 3 characters or empty
    std::string type; // model code, 2 to 4 characters or empty
    std::string opr;  // operator code, 3 characters or empty
    bool cargo = false;

    bool operator==(const DbaseRecord&) const = default;
};

// Models that may stand in for each other, sorted ascending.
using SimilarTypesGroup = std::vector<std::string>;

// Element 0 is the publisher's name, the others patterns of its file and
// folder names.
using PublisherGroup = std::vector<std::string>;

// Lets the registration map be searched with a view, without a copy.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept
    {
        return std::hash<std::string_view>{}(text);
    }
};

using DbaseRecordMap = std::unordered_map<std::string, DbaseRecord, StringHash, std::equal_to<>>;

} // namespace tzo

extern std::set<std::string> g_validModels;
extern std::set<std::string> g_highPerformanceModels;
extern std::set<std::string> g_heavyModels;
extern std::set<std::string> g_largeModels;
extern std::set<std::string> g_buzjetModels;
extern std::set<std::string> g_rotorcraftModels;
extern std::set<std::string> g_cargoModels; // read and checked; no lookup uses it
extern std::set<std::string> g_icaoAirlines;
extern std::set<std::string> g_cargoOperators; // read and checked; no lookup uses it
extern std::vector<tzo::SimilarTypesGroup> g_similarTypesGroups;
extern std::vector<tzo::PublisherGroup> g_publisherGroups;
// Model code -> half the wingspan in nautical miles.
extern std::map<std::string, double> g_wingspans;
// The largest half-span stored; the default half-span of the user aircraft.
extern double g_largestHalfSpanNm;
// Per category the average half-span of its models in g_wingspans.
extern std::array<double, tzo::kCategoryCount> g_categoryAverageHalfSpan;
// Plain registration -> its record.
extern tzo::DbaseRecordMap g_dbaseRecords;

// Reads "dbase.xml" from the input folder (g_inputFolder / g_dbaseFileName) into the containers above. True
// after a complete read. Raises tzo::UserErrorException 60 when the file is
// missing or not well-formed, 61 when a required section is missing or
// empty, tzo::SysErrorException 299 or 288 when the publishers or the
// wingspans fail.
bool gf_readDbase();
// The same with another file; the start-up reads the input folder's.
bool gf_readDbase(const std::filesystem::path& path);

// The text of an attribute, empty when it is missing.
std::string gf_getXmlAttribute(const pugi::xml_node& node, const char* name);

// Whether a file would pass the reader's checks of the required sections
// (loaded, every model and airline section present and not empty), without
// touching the containers above. Logs the reason when it would not; used to
// check a downloaded data base before it replaces the installed one.
bool gf_isUsableDbaseFile(const std::filesystem::path& path);
