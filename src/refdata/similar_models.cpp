#include "refdata/similar_models.hpp"

#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"

#include <fmt/format.h>

#include <algorithm>

std::unordered_map<std::string, std::vector<std::string>> g_similarModels;
std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>>
    g_airlineSimilarModels;

namespace {

LiveryCatalogueQueries g_catalogue;

bool lf_hasModelLivery(const std::string& model)
{
    return g_catalogue.hasModelLivery && g_catalogue.hasModelLivery(model);
}

bool lf_hasAirlineModelLivery(const std::string& airline, const std::string& model)
{
    return g_catalogue.hasAirlineModelLivery && g_catalogue.hasAirlineModelLivery(airline, model);
}

} // namespace

void gf_installLiveryCatalogueQueries(LiveryCatalogueQueries queries)
{
    g_catalogue = std::move(queries);
}

void gf_buildSimilarModels()
{
    // One text per model and group: the model, then every other model of the
    // group that has a livery. Sorting the texts decides which group wins for
    // a model that stands in several.
    std::vector<std::string> texts;
    for (const auto& group : g_similarTypesGroups) {
        for (const auto& model : group) {
            std::string text = model;
            for (const auto& other : group) {
                if (&other != &model && lf_hasModelLivery(other)) {
                    text += ',';
                    text += other;
                }
            }
            if (text.find(',') != std::string::npos)
                texts.push_back(std::move(text));
        }
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());

    for (const auto& text : texts) {
        std::vector<std::string> items;
        std::size_t start = 0;
        while (true) {
            const auto comma = text.find(',', start);
            items.emplace_back(text, start, comma == std::string::npos ? std::string::npos : comma - start);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        std::string key = std::move(items.front());
        items.erase(items.begin());
        g_similarModels.try_emplace(std::move(key), std::move(items));
    }

    if (g_catalogue.liveryAirlines) {
        for (const auto& airline : g_catalogue.liveryAirlines()) {
            std::unordered_map<std::string, std::vector<std::string>> substitutes;
            for (const auto& [model, similar] : g_similarModels) {
                if (lf_hasAirlineModelLivery(airline, model))
                    continue;
                std::vector<std::string> collected;
                for (const auto& other : similar) {
                    if (lf_hasAirlineModelLivery(airline, other))
                        collected.push_back(other);
                }
                if (!collected.empty())
                    substitutes.emplace(model, std::move(collected));
            }
            if (!substitutes.empty())
                g_airlineSimilarModels.try_emplace(airline, std::move(substitutes));
        }
    }

    gf_logLine(fmt::format("{} similar model definitions", g_similarModels.size()));
}

std::vector<std::string> gf_similarModels(const std::string& model)
{
    if (const auto it = g_similarModels.find(model); it != g_similarModels.end()) {
        auto list = it->second;
        gf_shuffle(list);
        return list;
    }
    const auto category = gf_modelCategory(model);
    if (category != tzo::AircraftCategory::Light && category != tzo::AircraftCategory::Buzjets &&
        category != tzo::AircraftCategory::Rotorcraft)
        return {};
    if (!g_catalogue.installedModels)
        return {};
    const auto installed = g_catalogue.installedModels(category);
    if (installed.empty())
        return {};
    const auto& pick = installed[gf_randomBelow(static_cast<std::uint32_t>(installed.size()))];
    if (pick.empty())
        return {};
    return {pick};
}

std::vector<std::string> gf_airlineSimilarModels(const std::string& airline, const std::string& model)
{
    const auto outer = g_airlineSimilarModels.find(airline);
    if (outer == g_airlineSimilarModels.end())
        return {};
    const auto inner = outer->second.find(model);
    if (inner == outer->second.end())
        return {};
    auto list = inner->second;
    gf_shuffle(list);
    return list;
}
