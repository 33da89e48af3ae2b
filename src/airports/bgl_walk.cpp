#include "airports/bgl_walk.hpp"

#include "airports/airport_services.hpp"
#include "airports/bgl_records.hpp"
#include "airports/generated_airport.hpp"
#include "airports/scenery_lists.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/task_threads.hpp"
#include "foundation/workers.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

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

// Files the walk has found and not yet handed to a task: enough to keep every
// thread busy while the walk looks further, few enough that an exit drops
// little and a huge folder does not pile up its paths in memory.
constexpr std::size_t kMostQueued = 256;

// What a walk shares with its pullers. Held by each of them: the walk waits
// for every puller to end, but a puller still touches it while it says so.
struct Feed {
    explicit Feed(BglFileTask t) : task(std::move(t)) {}

    const BglFileTask task;
    std::mutex mutex;
    std::condition_variable toPullers; // a path queued, or the walk over
    std::condition_variable toWalk;    // room in the queue, or a puller ended
    std::deque<fs::path> paths;
    std::deque<std::string> failures; // texts of failed tasks, not yet reported by the walk
    std::int64_t handedOver = 0;      // files queued or being read
    std::int32_t pullers = 0;         // started and not ended
    std::int32_t idle = 0;            // waiting for a path
    bool walkWaiting = false;
    bool closed = false; // the walk queues no more paths
};

void logException(const char* what) noexcept
{
    try {
        gf_addAirportScanLogLine(fmt::format("{}!? Exception in lf_toParkingPositions: {}", g_logMarker, what));
    } catch (...) {
    }
}

// One of the threads reading the walk's files: takes the next path as soon as
// it is done with one, so a free thread never waits for the walk to hand it
// the next file. Each file is one counted task.
struct Puller final : tzo::ThreadJob {
    explicit Puller(std::shared_ptr<Feed> f) : feed(std::move(f)) {}

    std::shared_ptr<Feed> feed;

    void run() noexcept override
    {
        Feed& f = *feed;
        std::unique_lock lock(f.mutex);
        for (;;) {
            ++f.idle;
            f.toPullers.wait(lock, [&] { return !f.paths.empty() || f.closed; });
            --f.idle;
            if (f.paths.empty())
                break;
            if (exiting.load() || userClosed.load()) {
                // An exit starts no more files; those queued are dropped.
                f.handedOver -= static_cast<std::int64_t>(f.paths.size());
                f.paths.clear();
                if (f.walkWaiting)
                    f.toWalk.notify_one();
                continue;
            }
            const fs::path file = std::move(f.paths.front());
            f.paths.pop_front();
            if (f.walkWaiting)
                f.toWalk.notify_one();
            lock.unlock();
            // Counted before it starts, so a quick task can never take the count below zero.
            gf_takeWorkerSlot();
            std::optional<std::string> failure = readOne(f, file);
            gf_workerDone();
            lock.lock();
            --f.handedOver;
            if (failure) {
                try {
                    f.failures.push_back(std::move(*failure));
                } catch (...) {
                    // Already in the scan log from the task itself.
                }
            }
        }
        --f.pullers;
        f.toWalk.notify_all();
    }

    // The file's task; the text of its exception when it failed.
    static std::optional<std::string> readOne(const Feed& f, const fs::path& file) noexcept
    {
        const char* what = "unknown exception";
        try {
            // The pre-check here rather than in the walk: opening every file
            // one after the other took the walk longer than the threads took
            // to read them.
            if (tzo::lf_bglHasAirportSection(file))
                f.task(file);
            return std::nullopt;
        } catch (const std::exception& e) {
            what = e.what();
            logException(what);
            try {
                return std::string(what);
            } catch (...) {
            }
        } catch (...) {
            logException(what);
        }
        return std::optional<std::string>(std::in_place); // no room for the text
    }
};

struct Walk {
    fs::path folder;
    std::shared_ptr<Feed> feed;
    bool stopped = false;
    const StockScenery stock{};

    std::int32_t limit() const { return std::max(1, maxWorkers.load()); }

    // Queues the file and starts a puller for it when none is free and fewer
    // than the limit run; no more files are read at once than hardware threads.
    void start(const fs::path& file)
    {
        Feed& f = *feed;
        std::unique_lock lock(f.mutex);
        f.walkWaiting = true;
        f.toWalk.wait(lock, [&] { return f.paths.size() < kMostQueued; });
        f.walkWaiting = false;
        f.paths.push_back(file);
        ++f.handedOver;
        const bool newPuller =
            static_cast<std::int64_t>(f.paths.size()) > f.idle && f.pullers < limit();
        if (newPuller)
            ++f.pullers;
        std::deque<std::string> failures = std::move(f.failures);
        f.failures.clear();
        const std::int64_t untaken = f.handedOver + static_cast<std::int64_t>(failures.size());
        lock.unlock();
        f.toPullers.notify_one();
        // A failed task is reported soon after the next file is handed over.
        for (const std::string& failure : failures)
            gf_addAirportScanLogLine(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", g_logMarker,
                                                 failure, untaken, file.string()));
        if (newPuller) {
            try {
                tzo::gf_walkTaskThreads().post(std::make_unique<Puller>(feed), limit());
            } catch (...) {
                lock.lock();
                --f.pullers;
                // Without any puller the file would never be read: it is lost
                // as its entry, reported by the caller.
                if (f.pullers == 0 && !f.paths.empty() && f.paths.back() == file) {
                    f.paths.pop_back();
                    --f.handedOver;
                    throw;
                }
            }
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

    // Depth first, in the order the file system yields the entries. `real` is
    // where dir really is: the walk follows no linked folder, so below it
    // only a link leads somewhere else.
    void walk(const fs::path& dir, const fs::path& real, bool top)
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
                std::error_code sec;
                const bool link = entry.is_symlink(sec);
                const fs::path entryReal = link ? gf_realPath(entry.path()) : real / entry.path().filename();
                if (stock.holdsReal(entryReal))
                    continue;
                if (entry.is_directory(sec) && !link) {
                    walk(entry.path(), entryReal, false);
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

    // Ends the queue and waits for every puller, so that no task of this walk
    // writes on after it; then reports the failures not reported yet.
    void drain()
    {
        Feed& f = *feed;
        std::deque<std::string> failures;
        {
            std::unique_lock lock(f.mutex);
            f.closed = true;
            f.toPullers.notify_all();
            f.toWalk.wait(lock, [&] { return f.pullers == 0; });
            failures = std::move(f.failures);
        }
        for (const std::string& failure : failures)
            gf_addAirportScanLogLine(fmt::format("{} airports search in {} aborted, futs outer error: {}", g_logMarker,
                                                 folder.string(), failure));
    }
};

} // namespace

void lf_scanFolderForAirports(const fs::path& folder, const BglFileTask& task)
{
    gf_addAirportScanLogLine("Scanning for addon airports in " + folder.string());
    // Declared first, so that its end (waiting for the generated files to be
    // in place) comes after the tasks' own.
    const GeneratedFilesDeferred deferred;
    Walk w{folder, std::make_shared<Feed>(task ? task : BglFileTask(lf_toParkingPositions)), false};
    try {
        w.walk(folder, gf_realPath(folder), true);
    } catch (const std::exception& e) {
        gf_addAirportScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                             g_logMarker, folder.string(), e.what()));
    }
    // Always: a task left running would write on after the scan moved on.
    w.drain();
}
