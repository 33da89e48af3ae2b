#pragma once
// Matching tests run against a catalogue made by the real processing from a
// small scan, a data base with the models' categories, registrations and
// similar-model groups, and an AIG registration file; the step counters,
// the refused titles and the settings matching reads are put back after each.

#include "catalogue_fixture.hpp"
#include "foundation/app_hooks.hpp"
#include "liveries/liveries_not_created.hpp"
#include "liveries/livery_matching.hpp"

#include <array>
#include <string>
#include <vector>

namespace livtest {

// What the status line was asked to show.
inline std::vector<std::string>& shownStatuses()
{
    static std::vector<std::string> statuses;
    return statuses;
}

struct Plane {
    std::string airline;
    std::string model;
    std::string registration;
    tzo::AircraftCategory category = tzo::AircraftCategory::Large;
    bool cargo = false;
};

inline tzo::AircraftRecord aircraft(const Plane& plane, std::string callsign = "TST123")
{
    tzo::AircraftRecord a;
    a.airline = plane.airline;
    a.model = plane.model;
    a.registration = plane.registration;
    a.callsign = std::move(callsign);
    a.category = plane.category;
    a.cargo = plane.cargo;
    return a;
}

struct MatchingTest : CatalogueTest {
    AppHooks savedHooks = gf_appHooks();

    MatchingTest()
    {
        lf_resetMatching();
        AppHooks hooks = savedHooks;
        hooks.showStatus = [](std::string_view text, bool log) {
            shownStatuses().emplace_back(text);
            if (log)
                gf_logLine(text);
        };
        gf_installAppHooks(hooks);
    }
    ~MatchingTest() override
    {
        gf_installAppHooks(savedHooks);
        lf_resetMatching();
    }

    static void lf_resetMatching()
    {
        tzo::gf_resetMatchingStatistics();
        tzo::gf_resetLiveriesNotCreated();
        shownStatuses().clear();
        RANDOM.setValue(RANDOM.defaultValue());
        LOG.setValue(LOG.defaultValue());
        MATCHING_DEPTH.setValue(MATCHING_DEPTH.defaultValue());
    }

    static std::array<int, tzo::kMatchingSteps> counts()
    {
        std::array<int, tzo::kMatchingSteps> out{};
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = tzo::matchingStatistics[i].load();
        return out;
    }

    // Categories: Large A320 A321 B738, Heavy B744 B748 B77W, Rotorcraft EC30
    // EC35 EC45, Light the others. N123 is a United aircraft.
    static testsupport::DbaseFile dbase()
    {
        testsupport::DbaseFile file;
        file.models("aircrafts", "aircraft",
                    {"A320", "A321", "B738", "B744", "B748", "B77W", "C172", "PA28", "C206", "C207", "C208", "C25A",
                     "EC30", "EC35", "EC45", "F16"})
            .models("high_performance", "hpf", {"F16"})
            .models("heavy", "hvy", {"B744", "B748", "B77W"})
            .models("large", "lar", {"A320", "A321", "B738"})
            .models("buzjet", "bzj", {"C25A"})
            .models("rotorcraft", "rot", {"EC30", "EC35", "EC45"})
            .models("cargo_types", "cargo_type", {"B748"})
            .airlines("ICAO_airlines", {"DLH", "BAW", "KLM", "UAL"})
            .airlines("cargo_operators", {"CLX"})
            .similar({"A320", "A321"})
            .similar({"EC30", "EC45"})
            .similar({"C206", "C207"})
            .record("N123", "UAL", "B738", "UAL");
        return file;
    }

    static std::vector<tzo::LiveryData> scan()
    {
        return {
            liv("DLH", "A320", "Lufthansa A320"),
            liv("DLH", "A320", "Lufthansa A320 D-AIPA", "D-AIPA"),
            liv("BAW", "A321", "Speedbird A321"),
            liv("ZZZ", "A320", "Generic A320"),
            liv("KLM", "B744", "KLM B744"),
            liv("ZZZ", "B744", "Generic B744"),
            liv("KLM", "B77W", "KLM B77W"),
            liv("ZZZ", "EC35", "Generic EC35"),
            liv("HEL", "EC35", "Heli EC35"),
            liv("HEL", "EC45", "Heli EC45"),
            liv("ZZZ", "C172", "Generic C172"),
            liv("PVT", "C172", "Private C172"),
            liv("PVT", "PA28", "Private PA28"),
            liv("UAL", "B738", "United B738"),
            liv("CLX", "B748", "Cargolux pax B748"),
            liv("ABC", "C208", "Pax C208"),
            liv("FDX", "C208", "Cargo C208", "", 1, true),
            liv("ABC", "C206", "Pax C206"),
            liv("ABC", "C207", "Pax C207"),
            liv("SPC", "A320", "Special A320"),
            liv("SPF", "A320", "SPF Special"),
            liv("SPF", "A320", "SPF Free"),
            liv("FSL", "A320", "FSLTL_A320_FSL"),
        };
    }

    // The catalogue as a start-up builds it; "Special A320" and "SPF Special"
    // are special liveries of their registrations.
    void buildCatalogue()
    {
        readDbase(dbase());
        testsupport::writeFile(g_aigRegcodesPath,
                               "<?xml version=\"1.0\"?>\n<AIG-regcodes>"
                               "<livery title=\"Special A320\" reg=\"D-SPEC\" special=\"true\"/>"
                               "<livery title=\"SPF Special\" reg=\"D-SPFS\" special=\"true\"/>"
                               "</AIG-regcodes>\n");
        process(scan());
    }

    std::string lastLogLine() const
    {
        const auto lines = logLines();
        return lines.empty() ? std::string() : lines.back();
    }
};

} // namespace livtest
