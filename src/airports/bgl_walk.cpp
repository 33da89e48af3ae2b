#include "airports/bgl_walk.hpp"

#include "airports/airport_services.hpp"
#include "airports/bgl_records.hpp"
#include "airports/generated_airport.hpp"
#include "airports/scenery_lists.hpp"
#include "airports/task_threads.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/workers.hpp"

#include <fmt/format.h>

#include <chrono>
#include <deque>
#include <exception>
#include <future>
#include <memory>
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

// One counted task: the file, what to do with it, and where its outcome goes.
struct FileTask final : tzo::ThreadJob {
    FileTask(BglFileTask t, fs::path f) : task(std::move(t)), file(std::move(f)) {}

    BglFileTask task;
    fs::path file;
    std::promise<void> result;

    void run() noexcept override
    {
        std::exception_ptr error;
        try {
            // The pre-check here rather than in the walk: opening every file
            // one after the other took the walk longer than the threads took
            // to read them.
            if (tzo::lf_bglHasAirportSection(file))
                task(file);
        } catch (const std::exception& e) {
            error = std::current_exception();
            logException(e.what());
        } catch (...) {
            error = std::current_exception();
            logException("unknown exception");
        }
        // The count before the outcome: a walk holding all its outcomes has
        // no task of its own counted any more.
        gf_workerDone();
        if (error)
            result.set_exception(error);
        else
            result.set_value();
    }

    static void logException(const char* what) noexcept
    {
        try {
            gf_addAirportScanLogLine(fmt::format("{}!? Exception in lf_toParkingPositions: {}", g_logMarker, what));
        } catch (...) {
        }
    }
};

struct Walk {
    fs::path folder;
    BglFileTask task;
    std::deque<std::future<void>> futures;
    bool stopped = false;

    std::int32_t limit() const { return std::max(1, maxWorkers.load()); }

    void start(const fs::path& file)
    {
        gf_waitForWorkerSlot();
        auto job = std::make_unique<FileTask>(task, file);
        std::future<void> result = job->result.get_future();
        // Counted before it starts, so a quick task can never take the count below zero.
        runningWorkers.fetch_add(1);
        try {
            tzo::gf_walkTaskThreads().post(std::move(job), limit());
        } catch (...) {
            runningWorkers.fetch_sub(1);
            throw;
        }
        futures.push_back(std::move(result));
        if (static_cast<std::int64_t>(futures.size()) > limit())
            takeFinished(file);
    }

    // Takes the outcome of a finished task, the oldest finished one: a slot
    // was free for the task just started, so one of the others has ended or
    // is handing over its outcome (waiting for the oldest instead left slots
    // idle behind one long file).
    void takeFinished(const fs::path& file)
    {
        for (;;) {
            for (auto it = futures.begin(); it != futures.end(); ++it) {
                if (it->wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                    continue;
                try {
                    it->get();
                } catch (const std::exception& e) {
                    gf_addAirportScanLogLine(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}",
                                                         g_logMarker, e.what(), futures.size(), file.string()));
                } catch (...) {
                }
                futures.erase(it);
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(10));
        }
    }

    bool candidate(const fs::directory_entry& entry)
    {
        std::error_code ec;
        if (!entry.is_regular_file(ec) || !lf_isBglExtension(entry.path().extension().string()))
            return false;
        const std::string text = entry.path().string();
        return text.find("statics") == std::string::npos && text.find("_heliports") == std::string::npos;
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
    // Declared first, so that its end (waiting for the generated files to be
    // in place) comes after the tasks' own.
    const GeneratedFilesDeferred deferred;
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
