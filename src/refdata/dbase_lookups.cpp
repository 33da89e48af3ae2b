#include "refdata/dbase_lookups.hpp"

#include <string_view>

namespace {

const std::string kEmpty;

const tzo::DbaseRecord* lf_lookUp(std::string_view registration)
{
    const auto it = g_dbaseRecords.find(registration);
    return it == g_dbaseRecords.end() ? nullptr : &it->second;
}

const tzo::DbaseRecord* lf_findRecord(const std::string& registration)
{
    if (registration.empty())
        return nullptr;
    if (const auto* record = lf_lookUp(registration))
        return record;
    if (registration.size() < 5 || registration.find('-') != std::string::npos)
        return nullptr;
    // Reports often carry the registration without its dash; the data base
    // holds it with the dash after a two- or one-letter prefix.
    std::string dashed;
    dashed.reserve(registration.size() + 1);
    dashed.append(registration, 0, 2).push_back('-');
    dashed.append(registration, 2);
    if (const auto* record = lf_lookUp(dashed))
        return record;
    dashed.clear();
    dashed.append(registration, 0, 1).push_back('-');
    dashed.append(registration, 1);
    return lf_lookUp(dashed);
}

} // namespace

bool gf_isKnownModel(const std::string& model)
{
    return !model.empty() && g_validModels.contains(model);
}

tzo::AircraftCategory gf_modelCategory(const std::string& model)
{
    using tzo::AircraftCategory;
    if (model.empty())
        return AircraftCategory::Light;
    if (g_largeModels.contains(model))
        return AircraftCategory::Large;
    if (g_heavyModels.contains(model))
        return AircraftCategory::Heavy;
    if (g_buzjetModels.contains(model))
        return AircraftCategory::Buzjets;
    if (g_rotorcraftModels.contains(model))
        return AircraftCategory::Rotorcraft;
    if (g_highPerformanceModels.contains(model))
        return AircraftCategory::HighPerf;
    return AircraftCategory::Light;
}

double gf_wingspanOf(const std::string& model)
{
    if (const auto it = g_wingspans.find(model); it != g_wingspans.end())
        return it->second;
    return g_categoryAverageHalfSpan[static_cast<std::size_t>(gf_modelCategory(model))];
}

bool gf_isIcaoAirline(const std::string& airline)
{
    return !airline.empty() && g_icaoAirlines.contains(airline);
}

std::optional<tzo::DbaseRecord> gf_findDbaseRecord(const std::string& registration)
{
    if (const auto* record = lf_findRecord(registration))
        return *record;
    return std::nullopt;
}

bool gf_hasDbaseRecord(const std::string& registration)
{
    return lf_findRecord(registration) != nullptr;
}

const std::string& gf_airlineOfRegcode(const std::string& registration)
{
    const auto* record = lf_findRecord(registration);
    return record ? record->airl : kEmpty;
}

const std::string& gf_typeOfRegcode(const std::string& registration)
{
    const auto* record = lf_findRecord(registration);
    return record ? record->type : kEmpty;
}

const std::string& gf_operatorOfRegcode(const std::string& registration)
{
    const auto* record = lf_findRecord(registration);
    return record ? record->opr : kEmpty;
}
