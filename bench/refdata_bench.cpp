// Reading a data base of realistic size and looking registrations up in it.

#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata/publishers.hpp"
// From tests/: the builder and the reset of the reference data tests.
#include "refdata/dbase_file.hpp"
#include "refdata/reference_data_reset.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRegistrations = 60000;

// Registrations in the shapes of real ones: "D-ABCD", "PH-BXAB", "N12345".
std::string lf_registration(int i)
{
    static const char* prefixes[] = {"D-A", "G-", "PH-", "F-G", "EI-", "OO-", "HB-J", "N"};
    std::string text = prefixes[i % 8];
    int n = i / 8;
    if (text == "N")
        return text + std::to_string(10000 + n);
    for (int k = 0; k < 4; ++k) {
        text += static_cast<char>('A' + n % 26);
        n /= 26;
    }
    return text;
}

struct Fixture {
    testsupport::TempDir folder;
    fs::path file = folder / "dbase.xml";
    std::vector<std::string> registrations;

    Fixture()
    {
        const std::vector<std::string> models = {"A320", "A321", "A319", "B738", "B739", "B744", "B77W", "B788",
                                                 "E190", "E195", "CRJ9", "DH8D", "AT76", "C172", "C25A", "EC35"};
        const std::vector<std::string> airlines = {"DLH", "KLM", "AFR", "BAW", "EZY", "RYR", "SWR", "UAL"};
        testsupport::DbaseFile dbase;
        const std::vector<std::pair<std::string, std::string>> typeSections = {
            {"aircrafts", "aircraft"}, {"high_performance", "hpf"}, {"heavy", "hvy"},
            {"large", "lar"},          {"buzjet", "bzj"},           {"rotorcraft", "rot"},
            {"cargo_types", "cargo_type"}};
        for (const auto& [section, element] : typeSections)
            dbase.models(section, element, models);
        dbase.airlines("ICAO_airlines", airlines).airlines("cargo_operators", airlines).similar(models);
        for (int p = 0; p < 200; ++p)
            dbase.publisher(fmt::format("Publisher {},pub{}_,PUB{}[A-Z]+", p, p, p));
        for (std::size_t m = 0; m < models.size(); ++m)
            dbase.wingspan(models[m], fmt::format("{}", 10 + m * 4.5));
        for (int i = 0; i < kRegistrations; ++i) {
            registrations.push_back(lf_registration(i));
            dbase.record(registrations.back(), airlines[i % airlines.size()], models[i % models.size()], "",
                         i % 10 == 0 ? "true" : "false");
        }
        dbase.write(file);
    }
};

Fixture& lf_fixture()
{
    static Fixture fixture;
    return fixture;
}

void readDbase(benchmark::State& state)
{
    auto& fixture = lf_fixture();
    for (auto _ : state) {
        state.PauseTiming();
        testsupport::clearReferenceData();
        state.ResumeTiming();
        gf_readDbase(fixture.file);
    }
    state.counters["records"] = static_cast<double>(g_dbaseRecords.size());
}
BENCHMARK(readDbase)->Unit(benchmark::kMillisecond);

void lf_readOnce()
{
    static const bool read = [] {
        testsupport::clearReferenceData();
        return gf_readDbase(lf_fixture().file);
    }();
    (void)read;
}

// Registrations as reports carry them: as stored, without the dash (found on
// the retries), and unknown.
void registrationLookups(benchmark::State& state)
{
    lf_readOnce();
    const auto& all = lf_fixture().registrations;
    std::vector<std::string> asked;
    for (std::size_t i = 0; i < 4096; ++i) {
        std::string reg = all[(i * 7919) % all.size()];
        if (i % 3 == 1)
            std::erase(reg, '-');
        else if (i % 3 == 2)
            reg += "Q";
        asked.push_back(std::move(reg));
    }
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_hasDbaseRecord(asked[i++ & 4095]));
}
BENCHMARK(registrationLookups);

void recordLookups(benchmark::State& state)
{
    lf_readOnce();
    const auto& all = lf_fixture().registrations;
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findDbaseRecord(all[(i++ * 7919) % all.size()]));
}
BENCHMARK(recordLookups);

// A path that no publisher claims: every group's strings are tried.
void publisherOfPath(benchmark::State& state)
{
    lf_readOnce();
    const std::string path = "C:/P3D/Scenery/Addons/SomeVendor EGLL/scenery/EGLL_AF2.bgl";
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_publisherOfPath(path));
}
BENCHMARK(publisherOfPath)->Unit(benchmark::kMicrosecond);

} // namespace
BENCHMARK_MAIN();
