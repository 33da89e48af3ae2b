#include "liveries/livery_matching.hpp"

#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "foundation/settings.hpp"
#include "foundation/strings.hpp"
#include "liveries/liveries_not_created.hpp"
#include "liveries/regcodes.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata/similar_models.hpp"

#include <fmt/format.h>

#include <string>

namespace tzo {

std::array<std::atomic<std::int32_t>, kMatchingSteps> matchingStatistics{};

namespace {

constexpr std::string_view kPrivateAirline = "PVT";
constexpr int kPickRounds = 5;

bool lf_isSpecial(TitleView title)
{
    return !specialTitles.empty() && specialTitles.contains(title);
}

bool lf_hasTitle(const AircraftRecord& aircraft)
{
    return !aircraft.liveryTitle.empty();
}

// Picks from the airline's list of the model in the map, when it has one.
void lf_pickFrom(AircraftRecord& aircraft, const TextMap<ModelTitles>& liveries, std::string_view airline,
                 std::string_view model)
{
    const auto models = liveries.find(airline);
    if (models == liveries.end())
        return;
    const auto titles = models->second.find(model);
    if (titles != models->second.end() && !titles->second.empty())
        lf_pickLivery(aircraft, titles->second);
}

bool lf_fallsBackToModel(AircraftCategory category)
{
    // Large, Heavy and HighPerf aircraft look wrong in another model's paint.
    return category == AircraftCategory::Light || category == AircraftCategory::Buzjets ||
           category == AircraftCategory::Rotorcraft;
}

// Steps 2 to 6 for an aircraft that has no livery of its registration; the
// step that gave the title, or 0. A live aircraft without an airline of its
// own skips the airline steps; a static one tries them, so that the airline
// of its registration record gets its chance.
int lf_matchBelowRegcode(AircraftRecord& aircraft, int level, bool live)
{
    if (level < 2)
        return 0;
    const std::string& model = aircraft.model;
    if (aircraft.airline == kPrivateAirline && lf_matchByAirlineModel(aircraft, genericAirlineCode, model))
        return 4;

    // The registration record's airline: the record gf_findDbaseRecord would
    // give, without copying it. Tried when the record names an operator.
    const bool hasOperator = !gf_operatorOfRegcode(aircraft.registration).empty();
    int step = 0;
    if (!live || !aircraft.airline.empty()) {
        if (lf_matchByAirlineModel(aircraft, aircraft.airline, model) ||
            (hasOperator && lf_matchByAirlineModel(aircraft, gf_airlineOfRegcode(aircraft.registration), model)))
            step = 2;
        if (!lf_hasTitle(aircraft) && level >= 3) {
            for (const auto& substitute : gf_airlineSimilarModels(aircraft.airline, model)) {
                if (lf_matchByAirlineModel(aircraft, aircraft.airline, substitute)) {
                    step = 3;
                    break;
                }
            }
            if (!lf_hasTitle(aircraft) && hasOperator) {
                // The substitutes are the aircraft's own airline's, drawn
                // anew; only the airline they are looked up under changes.
                const std::string& registrationAirline = gf_airlineOfRegcode(aircraft.registration);
                for (const auto& substitute : gf_airlineSimilarModels(aircraft.airline, model)) {
                    if (lf_matchByAirlineModel(aircraft, registrationAirline, substitute)) {
                        step = 3;
                        break;
                    }
                }
            }
        }
    }
    if (lf_hasTitle(aircraft) || level < 3)
        return step;
    if (level == 4 && lf_matchByAirlineModel(aircraft, genericAirlineCode, model))
        return 4;
    if (!lf_fallsBackToModel(aircraft.category))
        return 0;
    if (aircraft.airline != kPrivateAirline && lf_matchByAirlineModel(aircraft, genericAirlineCode, model))
        return 4;
    if (lf_matchByModel(aircraft, model))
        return 5;
    for (const auto& alternative : gf_similarModels(model))
        if (lf_matchByModel(aircraft, alternative))
            return 6;
    return 0;
}

} // namespace

void lf_pickLivery(AircraftRecord& aircraft, const std::vector<TitleView>& candidates)
{
    const auto count = static_cast<std::uint32_t>(candidates.size());
    TitleView title = candidates[gf_randomBelow(count)];
    for (int round = 0; round < kPickRounds; ++round) {
        if (!lf_isSpecial(title)) {
            aircraft.liveryTitle = title;
            return;
        }
        const std::uint32_t index = RANDOM.value() && count >= 2 ? threadRandomEngine()() % count : 0;
        title = candidates[index];
    }
    // Mostly special candidates: choose among the free ones, if any.
    std::uint32_t free = 0;
    for (const auto candidate : candidates)
        free += lf_isSpecial(candidate) ? 0 : 1;
    aircraft.liveryTitle = {};
    if (free == 0)
        return;
    std::uint32_t wanted = gf_randomBelow(free);
    for (const auto candidate : candidates) {
        if (lf_isSpecial(candidate))
            continue;
        if (wanted == 0) {
            aircraft.liveryTitle = candidate;
            return;
        }
        --wanted;
    }
}

bool lf_matchByRegcode(AircraftRecord& aircraft)
{
    if (!aircraft.registration.empty()) {
        if (const auto it = regcodeLiveries.find(aircraft.registration); it != regcodeLiveries.end())
            aircraft.liveryTitle = it->second;
    }
    return lf_hasTitle(aircraft);
}

bool lf_matchByAirlineModel(AircraftRecord& aircraft, std::string_view airline, std::string_view model)
{
    lf_pickFrom(aircraft, aircraft.cargo ? cargoLiveries : paxLiveries, airline, model);
    // A cargo aircraft may fly in a passenger livery, never the other way round.
    if (aircraft.cargo && !lf_hasTitle(aircraft))
        lf_pickFrom(aircraft, paxLiveries, airline, model);
    return lf_hasTitle(aircraft);
}

bool lf_matchByModel(AircraftRecord& aircraft, std::string_view model)
{
    const auto& liveries = aircraft.cargo ? cargoModelLiveries : paxModelLiveries;
    if (const auto it = liveries.find(model); it != liveries.end() && !it->second.empty())
        lf_pickLivery(aircraft, it->second);
    return lf_hasTitle(aircraft);
}

void gf_matchLivery(AircraftRecord& aircraft)
{
    const int level = MATCHING_DEPTH.value();
    const int step = lf_matchByRegcode(aircraft) ? 1 : lf_matchBelowRegcode(aircraft, level, true);
    if (!lf_hasTitle(aircraft))
        return;
    if (gf_isLiveryNotCreated(aircraft.liveryTitle)) {
        aircraft.liveryTitle = {};
        return;
    }
    matchingStatistics[static_cast<std::size_t>(step - 1)].fetch_add(1, std::memory_order_relaxed);
    if (LOG.value())
        gf_logLine(fmt::format("          {} ={}= {}", gf_formatStatusLine(aircraft), step, aircraft.liveryTitle));
    aircraft.fsltl = aircraft.liveryTitle.find("FSLTL_") != std::string_view::npos;
}

bool gf_matchStaticLivery(AircraftRecord& aircraft, std::string_view standName, bool standCargo)
{
    if (lf_hasTitle(aircraft)) {
        if (LOG.value())
            gf_logLine(fmt::format("          {} =s= {}", gf_formatStatusLine(aircraft), aircraft.liveryTitle));
        return true;
    }
    int step = 1;
    if (!lf_matchByRegcode(aircraft)) {
        // A stand for freighters gets a freighter, whatever the report said.
        aircraft.cargo = standCargo;
        step = lf_matchBelowRegcode(aircraft, MATCHING_DEPTH.value(), false);
    }
    if (!lf_hasTitle(aircraft)) {
        if (LOG.value())
            gf_logLine(fmt::format("{:8}: {} no livery match ...", standName, gf_formatAircraftText(aircraft)));
        return false;
    }
    if (gf_isLiveryNotCreated(aircraft.liveryTitle)) {
        aircraft.liveryTitle = {};
        return false;
    }
    if (LOG.value())
        gf_logLine(fmt::format("          {} ={}= {}", gf_formatStatusLine(aircraft), step, aircraft.liveryTitle));
    return true;
}

void gf_logMatchingSummary()
{
    constexpr int kWidth = 100;
    constexpr std::string_view kTitle = "live traffic livery matching summary";
    std::vector<std::string> lines;
    lines.reserve(2 + kMatchingSteps + 4);
    // The banner's width counts the stars on both sides of the title.
    lines.push_back(gf_starBanner(kWidth - static_cast<int>(kTitle.size()), 0, true, false, kTitle));
    lines.emplace_back("Matches at step: ");
    for (int step = 1; step <= kMatchingSteps; ++step)
        lines.push_back(fmt::format("  {}: {}", step,
                                    matchingStatistics[static_cast<std::size_t>(step - 1)].load(std::memory_order_relaxed)));
    const auto notCreated = gf_getLiveriesNotCreated();
    if (!notCreated.empty()) {
        lines.push_back(fmt::format("\nCould not be created by {}:", kSimShortName));
        lines.insert(lines.end(), notCreated.begin(), notCreated.end());
    }
    lines.push_back(gf_starBanner(kWidth, 0, false, true, ""));
    for (const auto& line : lines)
        gf_logLine(line);
}

void gf_resetMatchingStatistics()
{
    for (auto& counter : matchingStatistics)
        counter.store(0);
}

} // namespace tzo
