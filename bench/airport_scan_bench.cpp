// The add-on airport scan's walk over 500 synthetic BGL files of 1 to 5 MB
// (one in ten holding an airport with 300 stands, the rest only other
// records), cache warm, against a plain read of the same files whole with as
// many threads. Goal: the scan within 2x of the plain read. Both report files
// per second; the scan also reports "vs_read", its time over the time of
// plain reads run between its iterations (so that both see the same load).
// Before each scan the generated files of the last one are removed, as the
// program empties their folders before a scan.
// Set NORVANE_BENCH_BGL_FILES to scale the set down on a small disk.

#include "airports/airport_scan.hpp"
#include "airports/bgl_records.hpp"
#include "airports/bgl_walk.hpp"
#include "airports/bgl_builder.hpp" // from the tests
#include "foundation/paths.hpp"
#include "foundation/workers.hpp"
#include "support/test_support.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

int fileCount()
{
    const char* env = std::getenv("NORVANE_BENCH_BGL_FILES");
    return env ? std::max(1, std::atoi(env)) : 500;
}

int threads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

struct Set {
    testsupport::TempDir dir{true};
    std::vector<fs::path> files;

    Set()
    {
        const int n = fileCount();
        for (int i = 0; i < n; ++i) {
            bgltest::Image image;
            image.otherSectionData.clear(); // the scenery records below follow the airports directly
            if (i % 10 == 0) {
                bgltest::Airport a;
                a.ident = "EHAA";
                a.ident[3] = static_cast<char>('A' + i / 10 % 26);
                for (std::uint32_t s = 1; s <= 300; ++s)
                    a.parking.push_back(bgltest::Parking{10, s, 1, 20.0f, 90.0f, 52.3 + s * 1e-4, 4.76});
                image.airports = {a};
            }
            std::vector<std::uint8_t> bytes = image.build();
            // Scenery records the reader steps over, up to 1 to 5 MB.
            const std::size_t target = (1u + static_cast<std::size_t>(i % 5)) << 20;
            const std::size_t start = bytes.size();
            if (target > start + 8) {
                bytes.resize(target, 0x5A);
                bgltest::Image::put16(bytes, start, 0x0099);
                bgltest::Image::put32(bytes, start + 2, static_cast<std::uint32_t>((target - start) & ~3u));
            }
            const fs::path path = dir.path() / "scenery" / ("f" + std::to_string(i) + ".bgl");
            bgltest::Image::write(path, bytes);
            files.push_back(path);
        }
        // The set on the disk before anything is timed: otherwise the first
        // runs share the disk with writing back 1.5 GB just written, which the
        // scan's syncs of its generated files then wait behind and the plain
        // read never does.
        ::sync();
    }
};

Set& set()
{
    static Set s;
    return s;
}

// Every file read whole by `threads()` threads, each into storage of its own
// kept from call to call (no zero fill, no fresh pages), as the scan's
// threads keep theirs: the least a scan has to do.
std::size_t plainRead(const Set& s)
{
    struct Storage {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
    };
    static std::vector<Storage> storage(static_cast<std::size_t>(threads()));
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> total{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads(); ++t)
        pool.emplace_back([&, t] {
            Storage& mine = storage[static_cast<std::size_t>(t)];
            for (std::size_t i; (i = next++) < s.files.size();) {
                std::ifstream in(s.files[i], std::ios::binary);
                in.seekg(0, std::ios::end);
                const auto size = static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0));
                in.seekg(0, std::ios::beg);
                if (size > mine.capacity) {
                    mine.bytes.reset(new char[size]);
                    mine.capacity = size;
                }
                if (in.read(mine.bytes.get(), static_cast<std::streamsize>(size)))
                    total += size;
            }
        });
    for (auto& t : pool)
        t.join();
    return total.load();
}

void BM_plainRead(benchmark::State& state)
{
    Set& s = set();
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes += plainRead(s);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["threads"] = threads();
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(s.files.size()) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_scanFolder(benchmark::State& state)
{
    Set& s = set();
    maxWorkers.store(threads());
    runningWorkers.store(0);
    Clock::duration scans{};
    Clock::duration reads{};
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(g_myThirdpartyFolder);
        const auto readStart = Clock::now();
        plainRead(s);
        reads += Clock::now() - readStart;
        state.ResumeTiming();
        const auto scanStart = Clock::now();
        lf_scanFolderForAirports(s.dir.path() / "scenery");
        scans += Clock::now() - scanStart;
        gf_takeAirportScanLog();
    }
    state.counters["threads"] = threads();
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(s.files.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["vs_read"] = std::chrono::duration<double>(scans).count() /
                                std::max(1e-9, std::chrono::duration<double>(reads).count());
}

} // namespace

BENCHMARK(BM_plainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_scanFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
