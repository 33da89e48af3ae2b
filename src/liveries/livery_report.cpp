#include "liveries/livery_report.hpp"

#include "foundation/log.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_maps.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace tzo {

namespace {

const char* lf_plural(std::size_t count)
{
    return count == 1 ? "" : "s";
}

void lf_sortUnique(std::vector<std::string>& codes)
{
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
}

// The number of titles of the category's models in the map, and those models.
std::size_t lf_countCategory(const ModelTitles& map, AircraftCategory category, std::vector<std::string>& models)
{
    std::size_t titles = 0;
    for (const auto& [model, list] : map) {
        if (gf_modelCategory(model) != category)
            continue;
        models.push_back(model);
        titles += list.size();
    }
    return titles;
}

struct CategorySetting {
    BoolParameterCheckBox* setting;
    const char* what;
};

// The setting that lets the user leave a category out, where there is one.
const CategorySetting* lf_categorySetting(AircraftCategory category)
{
    static const CategorySetting helicopters{&HELICOPTERS, "Helicopters"};
    static const CategorySetting highPerf{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
    static const CategorySetting light{&LIGHT_AIRCRAFT, "light aircraft"};
    switch (category) {
    case AircraftCategory::Rotorcraft: return &helicopters;
    case AircraftCategory::HighPerf: return &highPerf;
    case AircraftCategory::Light: return &light;
    default: return nullptr;
    }
}

} // namespace

void lf_logCategoryModels(bool light, bool buzjets, bool rotorcraft, const std::vector<std::string>& models)
{
    constexpr std::size_t kCodesPerLine = 20;
    std::string line = "  ";
    std::size_t onLine = 0;
    for (const auto& code : models) {
        if (light)
            installedLightModels.push_back(code);
        else if (buzjets)
            installedBuzjetModels.push_back(code);
        else if (rotorcraft)
            installedRotorcraftModels.push_back(code);
        line += code;
        line += ',';
        if (++onLine == kCodesPerLine) {
            line.pop_back();
            gf_logLine(line);
            line = "  ";
            onLine = 0;
        }
    }
    if (onLine > 0) {
        line.pop_back();
        gf_logLine(line);
    }
}

void lf_reportGenericLiveries()
{
    const auto generic = allLiveries.find(genericAirlineCode);
    if (generic == allLiveries.end()) {
        gf_logLine("No generic liveries");
        return;
    }
    std::vector<std::string> models;
    models.reserve(generic->second.size());
    for (const auto& [model, entries] : generic->second)
        models.push_back(model);
    lf_sortUnique(models);
    gf_logLine(fmt::format("{} model{} have a generic livery", models.size(), lf_plural(models.size())));
    lf_logCategoryModels(false, false, false, models);
}

void lf_reportCategory(AircraftCategory category)
{
    const std::string& name = gf_categoryName(category);
    std::vector<std::string> models;
    const std::size_t pax = lf_countCategory(paxModelLiveries, category, models);
    const std::size_t cargo = lf_countCategory(cargoModelLiveries, category, models);

    if (models.empty()) {
        gf_logLine(fmt::format("Category {}: No livery found", name));
        if (const auto* off = lf_categorySetting(category)) {
            if (off->setting->value()) {
                // The box shows the setting: unticked, as it is now stored.
                off->setting->setChecked(false);
                off->setting->setAndSave();
                gf_logLine(fmt::format("{} temporary switched off because you do not have {} installed",
                                       off->setting->name(), off->what));
            }
            gf_disableControl(*off->setting);
        }
        return;
    }

    std::string line = fmt::format("Category {}: {} pax liverie{}", name, pax, lf_plural(pax));
    if (cargo != 0)
        line += fmt::format(" and {} cargo liverie{}", cargo, lf_plural(cargo));
    gf_logLine(line);
    lf_sortUnique(models);
    lf_logCategoryModels(category == AircraftCategory::Light, category == AircraftCategory::Buzjets,
                         category == AircraftCategory::Rotorcraft, models);
}

} // namespace tzo
