#include "airports/bgl_walk.hpp"

#include "airports/airport_services.hpp"
#include "airports/bgl_records.hpp"
#include "airports/generated_airport.hpp"
#include "airports/scenery_lists.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/workers.hpp"

#include <fmt/format.h>

#include <deque>
#include <future>
#include <thread>

namespace fs = std::filesystem;

bool lf_isBglExtension(std::string_view extension)
{
    return extension == ".BGL" || extension == ".bgl";
}

void lf_toParkingPositions(const fs::path& path)
{
    lf_readBglFileAirports(path);
}

namespace {

struct Walk {
    fs::path folder;
    BglFileTask task;
    std::deque<std::future<void>> futures;
    bool stopped = false;

    std::int32_t limit() const { return std::max(1, maxWorkers.load()); }

    void start(const fs::path& file)
    {
        gf_waitForWorkerSlot();
        std::packaged_task<void(fs::path)> job([t = task](const fs::path& p) {
            try {
                t(p);
            } catch (const std::exception& e) {
                gf_addAirportScanLogLine(
                    fmt::format("{}!? Exception in lf_toParkingPositions: {}", g_logMarker, e.what()));
                gf_workerDone();
                throw;
            } catch (...) {
                gf_addAirportScanLogLine(
                    fmt::format("{}!? Exception in lf_toParkingPositions: {}", g_logMarker, "unknown exception"));
                gf_workerDone();
                throw;
            }
            gf_workerDone();
        });
        std::future<void> result = job.get_future();
        // Counted before it starts, so a quick task can never take the count below zero.
        runningWorkers.fetch_add(1);
        try {
            std::thread(std::move(job), file).detach();
        } catch (...) {
            runningWorkers.fetch_sub(1);
            throw;
        }
        futures.push_back(std::move(result));
        if (static_cast<std::int64_t>(futures.size()) > limit()) {
            try {
                futures.front().get();
            } catch (const std::exception& e) {
                gf_addAirportScanLogLine(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}",
                                                     g_logMarker, e.what(), futures.size(), file.string()));
            } catch (...) {
            }
            futures.pop_front();
        }
    }

    bool candidate(const fs::directory_entry& entry)
    {
        std::error_code ec;
        if (!entry.is_regular_file(ec) || !lf_isBglExtension(entry.path().extension().string()))
            return false;
        const std::string text = entry.path().string();
        if (text.find("statics") != std::string::npos || text.find("_heliports") != std::string::npos)
            return false;
        return tzo::lf_bglHasAirportSection(entry.path());
    }

    // Depth first, in the order the file system yields the entries.
    void walk(const fs::path& dir, bool top)
    {
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        if (ec) {
            if (top)
                gf_addAirportScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                                     g_logMarker, folder.string(), ec.message()));
            else
                gf_addAirportScanLogLine(fmt::format("{} airports search in folder {} skipped, cause: {}",
                                                     g_logMarker, dir.string(), ec.message()));
            return;
        }
        for (; !stopped && it != fs::directory_iterator(); it.increment(ec)) {
            const fs::directory_entry& entry = *it;
            try {
                if (lf_containsStockSceneryPath(entry.path().string()))
                    continue;
                std::error_code sec;
                if (entry.is_directory(sec) && !entry.is_symlink(sec)) {
                    walk(entry.path(), false);
                    continue;
                }
                if (!candidate(entry))
                    continue;
                if (exiting.load() || userClosed.load()) {
                    stopped = true;
                    break;
                }
                start(entry.path());
            } catch (const std::exception& e) {
                gf_addAirportScanLogLine(fmt::format("{} airports search in folder {} aborted, cause: {}", g_logMarker,
                                                     folder.string(), e.what()));
            }
        }
        if (ec)
            gf_addAirportScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                                 g_logMarker, dir.string(), ec.message()));
    }

    void drain()
    {
        while (!futures.empty()) {
            try {
                futures.front().get();
            } catch (const std::exception& e) {
                gf_addAirportScanLogLine(fmt::format("{} airports search in {} aborted, futs outer error: {}",
                                                     g_logMarker, folder.string(), e.what()));
            } catch (...) {
            }
            futures.pop_front();
        }
    }
};

} // namespace

void lf_scanFolderForAirports(const fs::path& folder, const BglFileTask& task)
{
    gf_addAirportScanLogLine("Scanning for addon airports in " + folder.string());
    Walk w{folder, task ? task : BglFileTask(lf_toParkingPositions), {}, false};
    try {
        w.walk(folder, true);
    } catch (const std::exception& e) {
        gf_addAirportScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                             g_logMarker, folder.string(), e.what()));
    }
    // Always: a task left running would write on after the scan moved on.
    w.drain();
}
