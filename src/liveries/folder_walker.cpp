#include "liveries/folder_walker.hpp"

#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/strings.hpp"
#include "foundation/task_threads.hpp"
#include "foundation/workers.hpp"
#include "liveries/scan_task.hpp"
#include "liveries/scanned_liveries.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A task's failure comes back as its text, not as an exception through the
// future: an exception object shared by two threads is freed by whichever
// drops it last, which the thread checker cannot follow.
struct TaskResult {
    std::vector<tzo::LiveryData> found;
    std::string failure;
};
using Futures = std::deque<std::future<TaskResult>>;

// Paths this long are not descended into: the simulator cannot load models
// below them anyway.
constexpr std::size_t kMaxDescendPathLength = 250;

LiveryWalkStats g_walkStats;

bool lf_stopRequested()
{
    return exiting.load() || userClosed.load();
}

std::size_t lf_workerLimit()
{
    return static_cast<std::size_t>(std::max<std::int32_t>(maxWorkers.load(), 1));
}

// One task of the walk on the kept threads. The task is shared with the
// walker, which runs it itself when no thread could take it.
class LiveryJob : public tzo::ThreadJob {
public:
    explicit LiveryJob(std::shared_ptr<std::packaged_task<TaskResult()>> task) : m_task(std::move(task)) {}
    // The task's own exceptions go to its future.
    void run() noexcept override { (*m_task)(); }

private:
    std::shared_ptr<std::packaged_task<TaskResult()>> m_task;
};

// Hands one walk's tasks to the livery scan's kept threads. Thread starts are
// what a scan of thousands of files would otherwise pay most for; the threads
// are never joined, so a task stuck on a slow disk holds up no exit.
class TaskRunner {
public:
    void run(std::packaged_task<TaskResult()> task)
    {
        auto shared = std::make_shared<std::packaged_task<TaskResult()>>(std::move(task));
        if (!m_inline) {
            try {
                tzo::gf_liveryTaskThreads().post(std::make_unique<LiveryJob>(shared),
                                                 static_cast<std::int32_t>(lf_workerLimit()));
                return;
            } catch (const std::system_error& e) {
                // No thread at all: the walker runs this walk's tasks itself.
                gf_logLineMarked(fmt::format("livery scan runs with 0 threads: {}", e.what()));
                m_inline = true;
            }
        }
        (*shared)();
    }

private:
    bool m_inline = false;
};

// AIRCRAFT.CFG or SIM.CFG in any letter case: the last part of the path text.
bool lf_isConfigurationFile(std::string_view text)
{
    const std::size_t slash = text.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? text : text.substr(slash + 1);
    return gf_equalsUpperCased("AIRCRAFT.CFG", name) || gf_equalsUpperCased("SIM.CFG", name);
}

// Waits for the oldest task and appends its liveries.
void lf_collectOldest(Futures& futures, const char* where)
{
    std::future<TaskResult> future = std::move(futures.front());
    futures.pop_front();
    if (!future.valid()) {
        gf_logLineMarked("futs #1 not yet valid ? ...");
        return;
    }
    try {
        TaskResult result = future.get();
        if (!result.failure.empty()) {
            gf_logLineMarked(fmt::format("liveries search aborted, futs {}, {}", where, result.failure));
            return;
        }
        tzo::scannedLiveries.insert(tzo::scannedLiveries.end(), std::make_move_iterator(result.found.begin()),
                                    std::make_move_iterator(result.found.end()));
    } catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("liveries search aborted, futs {}, {}", where, e.what()));
    }
}

// Starts the file's task once a worker slot is free; starts nothing when the
// program ends meanwhile (the running tasks may be stuck on a slow disk).
void lf_startTask(std::uint32_t priority, const fs::path& path, const fs::path& root, Futures& futures,
                  TaskRunner& runner)
{
    const std::string text = path.string();
    const bool ivao = text.find("ivao_x-csl") != std::string::npos || text.find("IVAO_MTL") != std::string::npos;
    std::packaged_task<TaskResult()> task([priority, path, root, ivao] {
        try {
            return TaskResult{ivao ? lf_searchIvaoLiveriesinFile(priority, path, root)
                                   : lf_searchLiveriesinFile(priority, path, root),
                              {}};
        } catch (const std::exception& e) {
            return TaskResult{{}, e.what()};
        }
    });
    std::future<TaskResult> future = task.get_future();
    // Taken before the start: the task gives it back when it ends, which may
    // be before this thread runs again.
    if (!gf_takeWorkerSlot(lf_stopRequested))
        return;
    const std::int32_t running = runningWorkers.load();
    try {
        runner.run(std::move(task));
    } catch (...) {
        // The task never ran and so never lowers it.
        gf_workerDone();
        throw;
    }
    futures.push_back(std::move(future));
    ++g_walkStats.tasksStarted;
    g_walkStats.mostRunning = std::max(g_walkStats.mostRunning, running);
    g_walkStats.mostOutstanding = std::max(g_walkStats.mostOutstanding, futures.size());
}

void lf_logIteratorProblem(const fs::path& folder, const char* operation, const std::error_code& error)
{
    const fs::filesystem_error problem(operation, folder, error);
    gf_logLineMarked(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                                 folder.string(), problem.what()));
}

// Opens the folder for the walk; false (logged) when it cannot be read.
bool lf_openFolder(const fs::path& folder, const char* operation, fs::directory_iterator& it)
{
    std::error_code error;
    it = fs::directory_iterator(folder, error);
    if (error) {
        lf_logIteratorProblem(folder, operation, error);
        return false;
    }
    return true;
}

// Starts the entry's task when it is a configuration file; sets sub to the
// entry's own listing when the walk is to enter it.
void lf_examineEntry(std::uint32_t priority, const fs::directory_entry& entry, const fs::path& root,
                     Futures& futures, fs::directory_iterator& sub, TaskRunner& runner)
{
    const fs::path& path = entry.path();
    const std::string text = path.string();
    // Airport scenery below the SimObjects folder is not entered; the folder's
    // own place ("D:\airport_and_ai\SimObjects") says nothing about it.
    const std::string rootText = root.string();
    const std::string_view below =
        std::string_view(text).starts_with(rootText) ? std::string_view(text).substr(rootText.size()) : text;
    std::error_code error;
    // The kinds come with the folder listing; only a link or a file system
    // that does not tell costs a status query here. Links to folders are not
    // followed, so a link loop ends nothing.
    if (below.find("airport") == std::string_view::npos && text.size() < kMaxDescendPathLength &&
        !entry.is_symlink(error) && entry.is_directory(error))
        lf_openFolder(path, "recursive_directory_iterator::operator++", sub);

    // Only a file named as a configuration file needs its status.
    if (!lf_isConfigurationFile(text))
        return;
    const fs::file_status status = entry.status(error);
    if (error && status.type() != fs::file_type::not_found)
        throw fs::filesystem_error("status", path, error);
    if (!fs::is_regular_file(status))
        return;

    lf_startTask(priority, path, root, futures, runner);
    if (futures.size() > lf_workerLimit())
        lf_collectOldest(futures, "inner");
}

} // namespace

void lf_searchLiveriesInFolder(std::uint32_t priority, const fs::path& folder)
{
    g_walkStats = {};
    TaskRunner runner;
    Futures futures;
    // Every task started is collected before the return, also when the walk
    // ends early: a task still running would write the report lists while
    // the driver writes and clears them.
    try {
        std::vector<fs::directory_iterator> stack(1);
        std::vector<fs::path> listed{folder}; // the folder each listing is of
        if (!lf_openFolder(folder, "recursive_directory_iterator::recursive_directory_iterator", stack.back())) {
            stack.clear();
            listed.clear();
        }
        while (!stack.empty() && !lf_stopRequested()) {
            if (stack.back() == fs::directory_iterator()) {
                stack.pop_back();
                listed.pop_back();
                continue;
            }
            // The entry is examined in place and the listing advanced after,
            // then the entry's own listing walked before its next sibling.
            fs::directory_iterator sub;
            const fs::directory_entry& entry = *stack.back();
            try {
                lf_examineEntry(priority, entry, folder, futures, sub, runner);
            } catch (const std::exception& e) {
                gf_logLineMarked(
                    fmt::format("liveries search in {} aborted, cause: {}", entry.path().string(), e.what()));
            }
            // The entry is gone once the listing moves on.
            fs::path subFolder = sub != fs::directory_iterator() ? entry.path() : fs::path();
            std::error_code error;
            stack.back().increment(error);
            if (error) {
                lf_logIteratorProblem(listed.back(), "recursive_directory_iterator::operator++", error);
                stack.pop_back();
                listed.pop_back();
            }
            if (sub != fs::directory_iterator()) {
                listed.push_back(std::move(subFolder));
                stack.push_back(std::move(sub));
            }
        }
    } catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                                     folder.string(), e.what()));
    }
    while (!futures.empty())
        lf_collectOldest(futures, "outer");
}

LiveryWalkStats gf_lastLiveryWalkStats()
{
    return g_walkStats;
}
