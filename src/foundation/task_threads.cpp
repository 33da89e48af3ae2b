#include "foundation/task_threads.hpp"

#include <chrono>
#include <system_error>
#include <thread>

namespace tzo {

void TaskThreads::post(std::unique_ptr<ThreadJob> job, std::int32_t limit)
{
    std::unique_lock lock(m_mutex);
    m_jobs.push_back(std::move(job));
    if (static_cast<std::int64_t>(m_jobs.size()) > m_idle && m_threads < limit) {
        try {
            std::thread([this] { run(); }).detach();
            ++m_threads;
        } catch (const std::system_error&) {
            if (m_threads == 0) {
                m_jobs.pop_back();
                throw;
            }
            // The threads there are serve as well, only slower.
        }
    }
    lock.unlock();
    m_wake.notify_one();
}

void TaskThreads::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        const bool work = m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return !m_jobs.empty(); });
        --m_idle;
        if (!work) {
            --m_threads;
            return;
        }
        std::unique_ptr<ThreadJob> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job->run();
        job.reset();
        lock.lock();
    }
}

TaskThreads& gf_walkTaskThreads()
{
    static TaskThreads* const threads = new TaskThreads;
    return *threads;
}

TaskThreads& gf_fileSyncThreads()
{
    static TaskThreads* const threads = new TaskThreads;
    return *threads;
}

TaskThreads& gf_liveryTaskThreads()
{
    static TaskThreads* const threads = new TaskThreads;
    return *threads;
}

} // namespace tzo
