#pragma once
// The livery catalogue that matching searches, built once after each scan
// (or after the catalogue file was read): one map owning every title, and
// passenger and cargo views of it by airline and model and by model alone.
//
// A title view points into allLiveries. Nothing stored there is ever changed
// or removed: a processing after an in-process restart only adds keys that
// are not there yet, so a view handed to an aircraft stays valid until the
// program ends. Built on the start-up thread before operations start and only
// read afterwards, without locks.

#include "refdata/aircraft_category.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tzo {

// A view of a title owned by allLiveries; empty means none.
using TitleView = std::string_view;

struct LiveryEntry {
    std::string title;
    bool cargo = false;
};

// Keyed by exact text; lookups take a std::string or a std::string_view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};
template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

using ModelLiveries = TextMap<std::vector<LiveryEntry>>;
using ModelTitles = TextMap<std::vector<TitleView>>;

// The generic airline's code "ZZZ", an ordinary key of these maps.
extern const std::string& genericAirlineCode;

// airline -> model -> liveries; the only owner of title texts.
extern TextMap<ModelLiveries> allLiveries;
// airline -> model -> titles, passenger and cargo liveries apart.
extern TextMap<ModelTitles> paxLiveries;
extern TextMap<ModelTitles> cargoLiveries;
// model -> titles of every airline.
extern ModelTitles paxModelLiveries;
extern ModelTitles cargoModelLiveries;
// Models of these categories with at least one livery; refilled by each processing.
extern std::vector<std::string> installedLightModels;
extern std::vector<std::string> installedBuzjetModels;
extern std::vector<std::string> installedRotorcraftModels;

// The post-scan processing of scannedLiveries (sorted first, stably, by
// airline and model): the livery count shown, the maps, the registration
// codes, the similar-model maps and the report of what is installed, which
// switches off (and saves) the Helicopters, High Perf and light aircraft
// settings of a category without liveries and disables their check boxes.
void gf_processScannedLiveries();

// Catalogue queries.
bool gf_hasAirlineModelLivery(std::string_view airline, std::string_view model);
bool gf_hasModelLivery(std::string_view model);
// The first three characters of each airline key, in map order.
std::vector<std::string> gf_liveryAirlines();
// The stored title equal to the text, or an empty view. Uses the title index
// made by the last processing.
TitleView lf_findLiveryTitle(std::string_view title);

// Logs the codes, 20 to a line ("  A,B,C"), and adds each to the installed
// list of the first flag set.
void lf_logCategoryModels(bool light, bool buzjets, bool rotorcraft, const std::vector<std::string>& models);

// Empties every map, list and index above and the registration maps. Only for
// tests and benchmarks: the program never removes a title while it runs.
void gf_resetLiveryCatalogue();

} // namespace tzo
