// Matching one aircraft at a time against a large catalogue: 50,000 liveries
// of 500 airlines and 150 models, 20,000 registration codes of which 5,000
// are special, built by the real processing. The aircraft end at every step
// of the ladder or find nothing, live and static, with random choices on and
// the log off. Goal: at least 100,000 matches per second on one core.

#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/similar_models.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <array>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kLiveries = 50000;
constexpr int kAirlines = 500;
constexpr int kModels = 150;      // with liveries
constexpr int kBareModels = 20;   // known to the data base, without liveries
constexpr int kRegcodes = 20000;
constexpr int kSpecialEvery = 4;  // 5,000 special codes
constexpr int kModelsPerAirline = 20;
constexpr std::size_t kPerBucket = 500; // aircraft per final step (0: none)

// Models 0..99 Large, 100..119 Heavy, 120..134 Light, 135..144 Rotorcraft,
// 145..149 Buzjets; the bare models 150..169 are Light and Rotorcraft.
std::string lf_model(int i)
{
    return fmt::format("M{:03}", i);
}

std::string lf_airline(int i)
{
    // Airline 0 is the generic one.
    if (i == 0)
        return "ZZZ";
    return {static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 26 % 26), 'X'};
}

std::string lf_title(int i)
{
    return fmt::format("Livery {} of a long and realistic container title, variant {}", i, i % 7);
}

tzo::LiveryData lf_livery(int i)
{
    const int airline = i % kAirlines;
    const int slot = i / kAirlines; // 0..99: five liveries of each of the airline's 20 models
    const int model = (airline * 13 + slot % kModelsPerAirline) % kModels;
    return tzo::LiveryData{lf_airline(airline), lf_model(model), lf_title(i), "", 1, i % 10 == 0};
}

testsupport::DbaseFile lf_dbase()
{
    auto models = [](int from, int to) {
        std::vector<std::string> codes;
        for (int i = from; i < to; ++i)
            codes.push_back(lf_model(i));
        return codes;
    };
    testsupport::DbaseFile file;
    file.models("aircrafts", "aircraft", models(0, kModels + kBareModels))
        .models("high_performance", "hpf", {"F16"})
        .models("heavy", "hvy", models(100, 120))
        .models("large", "lar", models(0, 100))
        .models("buzjet", "bzj", models(145, 150))
        .models("rotorcraft", "rot", [&] {
            auto codes = models(135, 145);
            for (const auto& code : models(160, 170))
                codes.push_back(code);
            return codes;
        }())
        .models("cargo_types", "cargo_type", {"M100"})
        .airlines("ICAO_airlines", {"AAX"})
        .airlines("cargo_operators", {"BBX"});
    // Substitutes for the large models, and an installed stand-in for each bare one.
    for (int i = 0; i < 100; i += 2)
        file.similar({lf_model(i), lf_model(i + 1)});
    for (int i = 0; i < kBareModels; ++i)
        file.similar({lf_model(kModels + i), lf_model(120 + i)});
    // Registrations without a livery of their own whose record names an airline.
    for (int i = 0; i < 2000; ++i)
        file.record(fmt::format("N{:05}", i), lf_airline(1 + i % (kAirlines - 1)), lf_model(i % kModels),
                    lf_airline(1 + i % (kAirlines - 1)));
    return file;
}

struct Case {
    tzo::AircraftRecord aircraft;
    bool cargo = false;
};

struct Fixture {
    testsupport::TempDir folder{true};
    testsupport::ScopedEnv appData{"NORVANE_APPDATA", (folder.path() / "roaming").string()};
    // Aircraft ending at steps 1..6 and with nothing (last), in a mixed order.
    std::vector<Case> mix;
    std::array<std::size_t, tzo::kMatchingSteps + 1> perStep{};

    Fixture()
    {
        gf_initDataFolder();
        fs::create_directories(g_outputInfoFolder);
        for (auto* box : {&HELICOPTERS, &HIGH_PERF_AIRCRAFT, &LIGHT_AIRCRAFT})
            box->setValue(false);
        LOG.setValue(false);
        RANDOM.setValue(true);
        MATCHING_DEPTH.setValue(4);

        lf_dbase().write(g_dbasePath);
        gf_readDbase();
        std::string aig = "<?xml version=\"1.0\"?>\n<AIG-regcodes>\n";
        for (int i = 0; i < kRegcodes; ++i)
            aig += fmt::format("\t<livery title=\"{}\" reg=\"R{:05}\" special=\"{}\"/>\n", lf_title(i * 2 % kLiveries),
                               i, i % kSpecialEvery == 0 ? "true" : "false");
        aig += "</AIG-regcodes>\n";
        testsupport::writeFile(g_aigRegcodesPath, aig);
        for (int i = 0; i < kLiveries; ++i)
            tzo::scannedLiveries.push_back(lf_livery(i));
        tzo::gf_processScannedLiveries();
        tzo::scannedLiveries.clear();
        gatherAircraft();
    }

    // Random aircraft sorted by the step their first match ends at, until
    // each step has its share.
    void gatherAircraft()
    {
        std::mt19937 engine(7);
        std::array<std::vector<Case>, tzo::kMatchingSteps + 1> buckets;
        auto full = [&] {
            for (const auto& bucket : buckets)
                if (bucket.size() < kPerBucket)
                    return false;
            return true;
        };
        for (int tries = 0; tries < 2'000'000 && !full(); ++tries) {
            Case c;
            auto& a = c.aircraft;
            const auto pick = engine() % 100;
            const int model = static_cast<int>(engine() % (kModels + kBareModels));
            a.model = lf_model(model);
            a.category = model >= 145 && model < 150 ? tzo::AircraftCategory::Buzjets
                         : model >= 135             ? tzo::AircraftCategory::Rotorcraft
                         : model >= 120             ? tzo::AircraftCategory::Light
                         : model >= 100             ? tzo::AircraftCategory::Heavy
                                                    : tzo::AircraftCategory::Large;
            if (model >= 150 && model < 160)
                a.category = tzo::AircraftCategory::Light;
            a.airline = pick < 80 ? lf_airline(1 + static_cast<int>(engine() % (kAirlines - 1))) : "QQQ";
            if (pick < 15)
                a.registration = fmt::format("R{:05}", engine() % kRegcodes);
            else if (pick < 25)
                a.registration = fmt::format("N{:05}", engine() % 2000);
            c.cargo = engine() % 10 == 0;
            a.callsign = fmt::format("CS{}", tries);
            a.cargo = c.cargo;
            const auto before = counts();
            tzo::gf_matchLivery(a);
            const auto after = counts();
            std::size_t step = tzo::kMatchingSteps;
            for (std::size_t s = 0; s < after.size(); ++s)
                if (after[s] != before[s])
                    step = s;
            a.liveryTitle = {};
            if (buckets[step].size() < kPerBucket)
                buckets[step].push_back(std::move(c));
        }
        for (std::size_t s = 0; s < buckets.size(); ++s)
            perStep[s] = buckets[s].size();
        // Interleaved, so that no step runs on a warm path for long.
        for (std::size_t i = 0; i < kPerBucket; ++i)
            for (auto& bucket : buckets)
                if (i < bucket.size())
                    mix.push_back(bucket[i]);
    }

    static std::array<std::int32_t, tzo::kMatchingSteps> counts()
    {
        std::array<std::int32_t, tzo::kMatchingSteps> out{};
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = tzo::matchingStatistics[i].load();
        return out;
    }
};

Fixture& lf_fixture()
{
    static Fixture fixture;
    return fixture;
}

void lf_reportBuckets(benchmark::State& state, const Fixture& fixture)
{
    for (std::size_t s = 0; s < fixture.perStep.size(); ++s)
        state.counters[s < tzo::kMatchingSteps ? fmt::format("step{}", s + 1) : "none"] =
            static_cast<double>(fixture.perStep[s]);
}

void BM_MatchLive(benchmark::State& state)
{
    auto& fixture = lf_fixture();
    std::size_t next = 0;
    for (auto _ : state) {
        auto& c = fixture.mix[next];
        next = next + 1 == fixture.mix.size() ? 0 : next + 1;
        c.aircraft.liveryTitle = {};
        c.aircraft.cargo = c.cargo;
        tzo::gf_matchLivery(c.aircraft);
        benchmark::DoNotOptimize(c.aircraft.liveryTitle.data());
    }
    state.SetItemsProcessed(state.iterations());
    lf_reportBuckets(state, fixture);
}
BENCHMARK(BM_MatchLive);

void BM_MatchStatic(benchmark::State& state)
{
    auto& fixture = lf_fixture();
    std::size_t next = 0;
    for (auto _ : state) {
        auto& c = fixture.mix[next];
        next = next + 1 == fixture.mix.size() ? 0 : next + 1;
        c.aircraft.liveryTitle = {};
        c.aircraft.cargo = c.cargo;
        benchmark::DoNotOptimize(tzo::gf_matchStaticLivery(c.aircraft, "A12", next % 7 == 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatchStatic);

} // namespace

BENCHMARK_MAIN();
