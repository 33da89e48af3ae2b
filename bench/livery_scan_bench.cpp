// A rescan's walk of a SimObjects tree of 3,000 aircraft.cfg files (six
// sections each, with their folders and ".air" files; some IVAO libraries,
// some faulty, some UTF-16), cache warm, against finding the same files and
// reading their bytes with as many threads (BM_findAndReadFileBytes; the
// folders must be walked either way). Goal: within 2x of that ("vs_read");
// at most the worker limit of tasks running and the limit plus one results
// outstanding at once.

#include "foundation/workers.hpp"
#include "liveries/folder_walker.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/dbase.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 3000;
constexpr int kSections = 6;
const char* const kAirlines[] = {"AAL", "UAL", "DAL", "BAW", "KLM", "AFR", "DLH", "SWR", "IBE", "RYR"};

std::string lf_utf16le(const std::string& text)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

std::string lf_cfgText(int file, bool ivao)
{
    std::string text = "[General]\natc_type=BOEING\n";
    if (!ivao && file % 50 != 7) // every 50th ordinary file misses its model code
        text += "atc_model=B738\n";
    text += "editable=1\nperformance=Cruise speed 450 kts\n\n";
    for (int s = 0; s < kSections; ++s) {
        // Every 40th file has a gap in its numbering.
        const int number = file % 40 == 3 && s == 5 ? 7 : s;
        const char* airline = kAirlines[(file + s) % 10];
        text += fmt::format("[fltsim.{}]\n", number);
        text += ivao ? fmt::format("title=B738{} IVAO livery {} {}\n", airline, file, s)
                     : fmt::format("title=Boeing 737-800 {} livery {} of file {}\n", airline, s, file);
        text += "sim=B738\nmodel=\npanel=\nsound=\n";
        text += fmt::format("texture={}\n", s % 2 ? "" : "AAL");
        text += fmt::format("atc_airline={}\natc_flight_number=1{}\natc_id=N{}{}\n", airline, s, file, s);
        text += "atc_heavy=0\natc_parking_types=GATE,RAMP\n";
        text += fmt::format("atc_parking_codes={}\n", airline);
        text += "description=A long description of the livery that says nothing at all [notes]\n"
                "ui_manufacturer=Boeing\nui_type=737-800\nui_variation=Livery\n\n";
    }
    return text;
}

struct Tree {
    testsupport::TempDir folder;
    fs::path root = folder.path() / "SimObjects";
    std::vector<fs::path> files;

    Tree()
    {
        g_validModels = {"B738", "A320"};
        g_icaoAirlines = {"AAL", "UAL", "DAL", "BAW", "KLM", "AFR", "DLH", "SWR", "IBE", "RYR", "ZZZ", "PVT"};
        for (int i = 0; i < kFiles; ++i) {
            const bool ivao = i % 20 == 0;
            const fs::path aircraft = ivao ? root / "IVAO_MTL" / fmt::format("IVAO_B738w{}", i) / "x"
                                           : root / fmt::format("Pack{}", i % 30) / fmt::format("B738_{}", i);
            // IVAO folders hold the model code directly below IVAO_MTL.
            const fs::path at = ivao ? aircraft.parent_path() : aircraft;
            fs::create_directories(at / "model");
            fs::create_directories(at / "texture");
            fs::create_directories(at / "texture.AAL");
            testsupport::writeFile(at / "B738.air", "flight model");
            const std::string text = lf_cfgText(i, ivao);
            testsupport::writeFile(at / "aircraft.cfg", i % 10 == 5 ? lf_utf16le(text) : text);
            files.push_back(at / "aircraft.cfg");
        }
    }
};

Tree& lf_tree()
{
    static Tree tree;
    return tree;
}

int lf_threads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Reads every file's bytes with the given threads; answers the bytes read.
// With a root, one thread first finds the files below it as the walker does
// (every folder entered, the configuration files picked by name) and hands
// them to the readers as it goes.
std::size_t lf_readAll(const std::vector<fs::path>& known, int threads, const fs::path& root = {})
{
    std::mutex mutex;
    std::condition_variable more;
    std::vector<fs::path> found;
    bool complete = root.empty();
    const std::vector<fs::path>& files = root.empty() ? known : found;
    std::size_t next = 0;
    std::atomic<std::size_t> total{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            std::vector<char> buffer(1 << 16);
            for (;;) {
                fs::path path;
                {
                    std::unique_lock lock(mutex);
                    more.wait(lock, [&] { return complete || next < files.size(); });
                    if (next == files.size())
                        return;
                    path = files[next++];
                }
                std::FILE* file = std::fopen(path.c_str(), "rb");
                if (!file)
                    continue;
                while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file))
                    total += got;
                std::fclose(file);
            }
        });
    if (!root.empty()) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.path().filename() != "aircraft.cfg" || !entry.is_regular_file())
                continue;
            {
                std::lock_guard lock(mutex);
                found.push_back(entry.path());
            }
            more.notify_one();
        }
        {
            std::lock_guard lock(mutex);
            complete = true;
        }
        more.notify_all();
    }
    for (auto& worker : workers)
        worker.join();
    return total;
}

double lf_secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The files' bytes alone, their paths known.
void BM_readFileBytes(benchmark::State& state)
{
    auto& tree = lf_tree();
    for (auto _ : state)
        benchmark::DoNotOptimize(lf_readAll(tree.files, lf_threads()));
    state.counters["threads"] = lf_threads();
}

// The yardstick of the goal: the files found as the walk finds them, and
// their bytes read by as many threads as the scan has.
void BM_findAndReadFileBytes(benchmark::State& state)
{
    auto& tree = lf_tree();
    for (auto _ : state)
        benchmark::DoNotOptimize(lf_readAll(tree.files, lf_threads(), tree.root));
    state.counters["threads"] = lf_threads();
}

// Each round times the yardstick right before the scan, so that both meet
// the same load of a shared machine; vs_read is the median of the rounds'
// ratios.
void BM_walkAndTasks(benchmark::State& state)
{
    auto& tree = lf_tree();
    maxWorkers = lf_threads();
    runningWorkers = 0;
    std::size_t liveries = 0;
    std::int32_t mostRunning = 0;
    std::size_t mostOutstanding = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
        state.PauseTiming();
        lf_clearScanMessages();
        tzo::scannedLiveries.clear();
        const double read =
            lf_secondsOf([&] { benchmark::DoNotOptimize(lf_readAll(tree.files, lf_threads(), tree.root)); });
        state.ResumeTiming();
        const double scan = lf_secondsOf([&] { lf_searchLiveriesInFolder(1, tree.root); });
        ratios.push_back(scan / read);
        const LiveryWalkStats stats = gf_lastLiveryWalkStats();
        liveries = tzo::scannedLiveries.size();
        mostRunning = std::max(mostRunning, stats.mostRunning);
        mostOutstanding = std::max(mostOutstanding, stats.mostOutstanding);
    }
    lf_clearScanMessages();
    tzo::scannedLiveries.clear();
    std::sort(ratios.begin(), ratios.end());
    state.counters["liveries"] = static_cast<double>(liveries);
    state.counters["limit"] = maxWorkers.load();
    state.counters["most_running"] = mostRunning;
    state.counters["most_outstanding"] = static_cast<double>(mostOutstanding);
    state.counters["vs_read"] = ratios.empty() ? 0.0 : ratios[ratios.size() / 2];
}

} // namespace

BENCHMARK(BM_readFileBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_findAndReadFileBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_walkAndTasks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
