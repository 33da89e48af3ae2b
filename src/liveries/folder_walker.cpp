#include "liveries/folder_walker.hpp"

#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/workers.hpp"
#include "liveries/scan_task.hpp"
#include "liveries/scanned_liveries.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <future>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TaskResult = std::vector<tzo::LiveryData>;
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

// Waits until fewer than the limit of tasks run; false when the program ends
// meanwhile (the running tasks may be stuck on a slow disk).
bool lf_waitForSlot()
{
    while (runningWorkers.load() >= static_cast<std::int32_t>(lf_workerLimit())) {
        if (lf_stopRequested())
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(10));
    }
    return true;
}

std::string lf_upperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool lf_isConfigurationFile(const fs::path& path)
{
    if (lf_upperAscii(path.extension().string()) != ".CFG")
        return false;
    const std::string stem = lf_upperAscii(path.stem().string());
    return stem == "AIRCRAFT" || stem == "SIM";
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
        TaskResult found = future.get();
        tzo::scannedLiveries.insert(tzo::scannedLiveries.end(), std::make_move_iterator(found.begin()),
                                    std::make_move_iterator(found.end()));
    } catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("liveries search aborted, futs {}, {}", where, e.what()));
    }
}

void lf_startTask(std::uint32_t priority, const fs::path& path, Futures& futures)
{
    const std::string text = path.string();
    const bool ivao = text.find("ivao_x-csl") != std::string::npos || text.find("IVAO_MTL") != std::string::npos;
    std::packaged_task<TaskResult()> task([priority, path, ivao] {
        return ivao ? lf_searchIvaoLiveriesinFile(priority, path) : lf_searchLiveriesinFile(priority, path);
    });
    std::future<TaskResult> future = task.get_future();
    // Raised before the start: the task lowers it when it ends, which may be
    // before this thread runs again.
    const std::int32_t running = runningWorkers.fetch_add(1) + 1;
    try {
        std::thread(std::move(task)).detach();
    } catch (...) {
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
bool lf_openFolder(const fs::path& folder, const char* operation, std::vector<fs::directory_iterator>& stack)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        lf_logIteratorProblem(folder, operation, error);
        return false;
    }
    stack.push_back(std::move(it));
    return true;
}

void lf_examineEntry(std::uint32_t priority, const fs::directory_entry& entry, Futures& futures,
                     std::vector<fs::directory_iterator>& stack)
{
    const fs::path& path = entry.path();
    const std::string text = path.string();
    std::error_code error;
    // Symbolic links to folders are not followed, so a link loop ends nothing.
    if (text.find("airport") == std::string::npos && text.size() < kMaxDescendPathLength &&
        entry.symlink_status(error).type() == fs::file_type::directory)
        lf_openFolder(path, "recursive_directory_iterator::operator++", stack);

    const fs::file_status status = entry.status(error);
    if (error && status.type() != fs::file_type::not_found)
        throw fs::filesystem_error("status", path, error);
    if (!fs::is_regular_file(status) || !lf_isConfigurationFile(path))
        return;

    if (!lf_waitForSlot())
        return;
    lf_startTask(priority, path, futures);
    if (futures.size() > lf_workerLimit())
        lf_collectOldest(futures, "inner");
}

} // namespace

void lf_searchLiveriesInFolder(std::uint32_t priority, const fs::path& folder)
{
    g_walkStats = {};
    Futures futures;
    // Every task started is collected before the return, also when the walk
    // ends early: a task still running would write the report lists while
    // the driver writes and clears them.
    try {
        std::vector<fs::directory_iterator> stack;
        lf_openFolder(folder, "recursive_directory_iterator::recursive_directory_iterator", stack);
        while (!stack.empty() && !lf_stopRequested()) {
            fs::directory_iterator& it = stack.back();
            if (it == fs::directory_iterator()) {
                stack.pop_back();
                continue;
            }
            const fs::directory_entry entry = *it;
            std::error_code error;
            it.increment(error);
            if (error) {
                lf_logIteratorProblem(entry.path().parent_path(), "recursive_directory_iterator::operator++", error);
                stack.pop_back();
            }
            try {
                lf_examineEntry(priority, entry, futures, stack);
            } catch (const std::exception& e) {
                gf_logLineMarked(
                    fmt::format("liveries search in {} aborted, cause: {}", entry.path().string(), e.what()));
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
