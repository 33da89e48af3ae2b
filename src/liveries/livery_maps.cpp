#include "liveries/livery_maps.hpp"

#include "foundation/log.hpp"
#include "liveries/livery_report.hpp"
#include "liveries/livery_window.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/similar_models.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace tzo {

const std::string& genericAirlineCode = genericAirline;

TextMap<ModelLiveries> allLiveries;
TextMap<ModelTitles> paxLiveries;
TextMap<ModelTitles> cargoLiveries;
ModelTitles paxModelLiveries;
ModelTitles cargoModelLiveries;
std::vector<std::string> installedLightModels;
std::vector<std::string> installedBuzjetModels;
std::vector<std::string> installedRotorcraftModels;

namespace {

// Title text -> stored title, so that the registration files find a title
// without searching the whole catalogue for every entry. The keys view the
// stored titles themselves.
std::unordered_map<std::string_view, TitleView> g_titleIndex;

void lf_sortScannedLiveries()
{
    // Stable: the order within one airline and model is the scan's (or the
    // file's), and a sorted list comes out unchanged.
    scannedLiveries.sort([](const LiveryData& a, const LiveryData& b) {
        if (const int c = a.airl.compare(b.airl); c != 0)
            return c < 0;
        return a.type < b.type;
    });
}

void lf_buildAllLiveries()
{
    auto it = scannedLiveries.begin();
    const auto end = scannedLiveries.end();
    while (it != end) {
        const std::string& airline = it->airl;
        ModelLiveries models;
        while (it != end && it->airl == airline) {
            const std::string& model = it->type;
            std::vector<LiveryEntry> entries;
            entries.reserve(128);
            for (; it != end && it->airl == airline && it->type == model; ++it)
                entries.push_back(LiveryEntry{it->title, it->cargo});
            entries.shrink_to_fit();
            models.try_emplace(model, std::move(entries));
        }
        // An airline already catalogued (by a processing before a restart)
        // keeps what it has: its titles may be in use.
        allLiveries.try_emplace(airline, std::move(models));
    }
}

void lf_buildAirlineViews()
{
    for (const auto& [airline, models] : allLiveries) {
        ModelTitles pax;
        ModelTitles cargo;
        for (const auto& [model, entries] : models) {
            std::vector<TitleView> paxTitles;
            std::vector<TitleView> cargoTitles;
            for (const auto& entry : entries)
                (entry.cargo ? cargoTitles : paxTitles).push_back(entry.title);
            if (!paxTitles.empty()) {
                paxTitles.shrink_to_fit();
                pax.try_emplace(model, std::move(paxTitles));
            }
            if (!cargoTitles.empty()) {
                cargoTitles.shrink_to_fit();
                cargo.try_emplace(model, std::move(cargoTitles));
            }
        }
        if (!pax.empty())
            paxLiveries.try_emplace(airline, std::move(pax));
        if (!cargo.empty())
            cargoLiveries.try_emplace(airline, std::move(cargo));
    }
}

void lf_buildModelViews()
{
    // Airlines in code order, so that a model's list has the same order on
    // every start with the same catalogue.
    std::vector<const std::string*> airlines;
    airlines.reserve(allLiveries.size());
    for (const auto& [airline, models] : allLiveries)
        airlines.push_back(&airline);
    std::sort(airlines.begin(), airlines.end(), [](const auto* a, const auto* b) { return *a < *b; });

    ModelTitles pax;
    ModelTitles cargo;
    for (const auto* airline : airlines) {
        for (const auto& [model, entries] : allLiveries.at(*airline)) {
            for (const auto& entry : entries)
                (entry.cargo ? cargo : pax)[model].push_back(entry.title);
        }
    }
    for (auto& [model, titles] : pax) {
        titles.shrink_to_fit();
        paxModelLiveries.try_emplace(model, std::move(titles));
    }
    for (auto& [model, titles] : cargo) {
        titles.shrink_to_fit();
        cargoModelLiveries.try_emplace(model, std::move(titles));
    }
}

void lf_buildTitleIndex()
{
    g_titleIndex.clear();
    for (const auto& [airline, models] : allLiveries)
        for (const auto& [model, entries] : models)
            for (const auto& entry : entries)
                g_titleIndex.try_emplace(std::string_view(entry.title), std::string_view(entry.title));
}

std::vector<std::string> lf_installedModels(AircraftCategory category)
{
    switch (category) {
    case AircraftCategory::Light: return installedLightModels;
    case AircraftCategory::Buzjets: return installedBuzjetModels;
    case AircraftCategory::Rotorcraft: return installedRotorcraftModels;
    default: return {};
    }
}

void lf_installCatalogueQueries()
{
    LiveryCatalogueQueries queries;
    queries.hasModelLivery = [](const std::string& model) { return gf_hasModelLivery(model); };
    queries.hasAirlineModelLivery = [](const std::string& airline, const std::string& model) {
        return gf_hasAirlineModelLivery(airline, model);
    };
    queries.liveryAirlines = [] { return gf_liveryAirlines(); };
    queries.installedModels = lf_installedModels;
    gf_installLiveryCatalogueQueries(std::move(queries));
}

} // namespace

void gf_processScannedLiveries()
{
    gf_logLine("\nProcessing scanned liveries");
    lf_sortScannedLiveries();
    gf_showLiveryCount(static_cast<std::int64_t>(scannedLiveries.size()));

    lf_buildAllLiveries();
    lf_buildTitleIndex();
    lf_buildAirlineViews();

    lf_checkInlineRegcodeClashes();
    gf_processRegcodeFiles();
    gf_logLine(fmt::format("{} registration codes", regcodeLiveries.size()));

    lf_buildModelViews();
    gf_logLine(fmt::format("{} airlines, {} pax aircraft models and {} cargo aircraft models", allLiveries.size(),
                           paxModelLiveries.size(), cargoModelLiveries.size()));

    lf_installCatalogueQueries();
    gf_buildSimilarModels();

    lf_reportGenericLiveries();
    for (auto* installed : {&installedLightModels, &installedBuzjetModels, &installedRotorcraftModels}) {
        installed->clear();
        installed->reserve(32);
    }
    for (std::uint32_t c = 0; c < kCategoryCount; ++c)
        lf_reportCategory(static_cast<AircraftCategory>(c));
}

bool gf_hasAirlineModelLivery(std::string_view airline, std::string_view model)
{
    const auto it = allLiveries.find(airline);
    return it != allLiveries.end() && it->second.contains(model);
}

bool gf_hasModelLivery(std::string_view model)
{
    return paxModelLiveries.contains(model) || cargoModelLiveries.contains(model);
}

std::vector<std::string> gf_liveryAirlines()
{
    std::vector<std::string> airlines;
    airlines.reserve(allLiveries.size());
    for (const auto& [airline, models] : allLiveries)
        airlines.push_back(airline.substr(0, 3));
    return airlines;
}

TitleView lf_findLiveryTitle(std::string_view title)
{
    const auto it = g_titleIndex.find(title);
    return it == g_titleIndex.end() ? TitleView{} : it->second;
}

void gf_resetLiveryCatalogue()
{
    regcodeLiveries.clear();
    specialLiveries.clear();
    specialTitles.clear();
    regcodeMessages.clear();
    g_titleIndex.clear();
    paxLiveries.clear();
    cargoLiveries.clear();
    paxModelLiveries.clear();
    cargoModelLiveries.clear();
    installedLightModels.clear();
    installedBuzjetModels.clear();
    installedRotorcraftModels.clear();
    allLiveries.clear();
}

} // namespace tzo
