#pragma once
// Threads kept for jobs handed over one by one (the add-on airport walk's
// file readers, the putting in place of generated files, the livery walk's
// per-file tasks). A thread per job cost more
// than the job itself when the job is reading a small file: its stack was
// mapped and unmapped each time, with a flush of every processor's address
// cache. Threads start as jobs wait for one, up to the limit given with the
// job, and end after a second without work. How many jobs run at once is
// the caller's to limit (runningWorkers for the walks' files).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace tzo {

class ThreadJob {
public:
    virtual ~ThreadJob() = default;
    // Must not throw.
    virtual void run() noexcept = 0;
};

class TaskThreads {
public:
    TaskThreads() = default;
    TaskThreads(const TaskThreads&) = delete;
    TaskThreads& operator=(const TaskThreads&) = delete;

    // Queues the job, starting a thread for it when none is idle and fewer
    // than `limit` run. Throws std::system_error when no thread can run it.
    void post(std::unique_ptr<ThreadJob> job, std::int32_t limit);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<ThreadJob>> m_jobs;
    std::int64_t m_idle = 0;
    std::int32_t m_threads = 0;
};

// A set that is never destroyed: idle threads may still wait on it while the
// program ends. One for each use, so that one kind of job never waits behind
// the other.
TaskThreads& gf_walkTaskThreads();
TaskThreads& gf_fileSyncThreads();
TaskThreads& gf_liveryTaskThreads();

} // namespace tzo
