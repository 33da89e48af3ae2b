// What every start without a rescan pays: reading "LiveriesScanned.xml" with
// 50,000 liveries and processing it together with an AIG registration file of
// 20,000 entries and 2,000 lines of the user's own files (goal: under 1 s);
// and the pruning of a scan of 50,000 liveries by priority (under 50 ms).

#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "liveries/catalogue_file.hpp"
#include "liveries/dont_use_titles.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scanned_liveries.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <list>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kLiveries = 50000;
constexpr int kAigEntries = 20000;
constexpr int kOfflineLines = 2000;

const char* const kModels[] = {"A320", "A321", "A319", "B738", "B739", "B744", "B77W", "B788", "E190", "E195",
                               "CRJ9", "DH8D", "AT76", "C172", "C25A", "EC35", "A359", "A388", "B763", "MD11"};

std::string lf_airline(int i)
{
    return {static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 26 % 26),
            static_cast<char>('A' + i / 676 % 26)};
}

std::string lf_title(int i)
{
    return fmt::format("Livery {} of a long and realistic container title, variant {}", i, i % 7);
}

tzo::LiveryData lf_livery(int i)
{
    // 2,500 airlines with 20 liveries each, spread over the models.
    const int airline = i / 20;
    return tzo::LiveryData{lf_airline(airline), kModels[(i + airline) % 20], lf_title(i),
                           i % 3 == 0 ? fmt::format("N{}", 10000 + i) : "", static_cast<std::uint32_t>(1 + i % 4),
                           i % 11 == 0};
}

struct Fixture {
    testsupport::TempDir folder{true};
    testsupport::ScopedEnv appData{"NORVANE_APPDATA", (folder.path() / "roaming").string()};
    std::list<tzo::LiveryData> scan;

    Fixture()
    {
        gf_initDataFolder();
        fs::create_directories(g_outputInfoFolder);
        for (int i = 0; i < kLiveries; ++i)
            scan.push_back(lf_livery(i));
        tzo::scannedLiveries = scan;
        tzo::lf_writeLiveriesScanned();
        tzo::scannedLiveries.clear();

        std::string aig = "<?xml version=\"1.0\"?>\n<AIG-regcodes>\n";
        for (int i = 0; i < kAigEntries; ++i)
            aig += fmt::format("\t<livery title=\"{}\" reg=\"G-{:04},H-{:04}\" special=\"{}\"/>\n",
                               lf_title(i * 2 % kLiveries), i, i, i % 50 == 0 ? "true" : "false");
        aig += "</AIG-regcodes>\n";
        testsupport::writeFile(g_aigRegcodesPath, aig);

        std::string offline;
        for (int i = 0; i < kOfflineLines; ++i)
            offline += fmt::format("{};D-{:04}\r\n", lf_title(i * 5 % kLiveries), i);
        testsupport::writeFile(g_myRegcodesFolder / "mine.TXT", offline);

        // Nothing of the report switches settings off and saves them.
        for (auto* box : {&HELICOPTERS, &HIGH_PERF_AIRCRAFT, &LIGHT_AIRCRAFT})
            box->setValue(false);
    }
};

Fixture& lf_fixture()
{
    static Fixture fixture;
    return fixture;
}

void BM_ReadAndProcessCatalogue(benchmark::State& state)
{
    lf_fixture();
    for (auto _ : state) {
        tzo::gf_resetLiveryCatalogue();
        tzo::lf_readLiveriesScanned();
        tzo::gf_processScannedLiveries();
        tzo::scannedLiveries.clear();
        benchmark::DoNotOptimize(tzo::allLiveries.size());
    }
    tzo::gf_resetLiveryCatalogue();
}
BENCHMARK(BM_ReadAndProcessCatalogue)->Unit(benchmark::kMillisecond);

void BM_PruneOnPriority(benchmark::State& state)
{
    const auto& fixture = lf_fixture();
    for (auto _ : state) {
        state.PauseTiming();
        tzo::scannedLiveries = fixture.scan;
        tzo::skippedOnPriority.clear();
        state.ResumeTiming();
        tzo::lf_reportDuplicateLiveries();
        benchmark::DoNotOptimize(tzo::scannedLiveries.size());
    }
    tzo::scannedLiveries.clear();
    tzo::skippedOnPriority.clear();
}
BENCHMARK(BM_PruneOnPriority)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
