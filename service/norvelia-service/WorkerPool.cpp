#include "WorkerPool.h"

#include <algorithm>
#include <system_error>

CWorkerPool::CWorkerPool(std::size_t maxThreads) : m_Max(std::max<std::size_t>(1, maxThreads)) {}

CWorkerPool::~CWorkerPool()
{
    shutdown();
}

std::size_t CWorkerPool::DefaultMaxThreads()
{
    return std::max<std::size_t>(256, std::size_t(32) * std::thread::hardware_concurrency());
}

void CWorkerPool::enqueue(std::function<void()> fn)
{
    std::function<void()> here;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Stopping) return;
        m_Jobs.push_back(std::move(fn));
        if (m_Jobs.size() > m_Idle && m_Threads.size() < m_Max) {
            try {
                m_Threads.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                // Out of threads: the job waits for a busy worker, if any.
                if (m_Threads.empty()) {
                    here = std::move(m_Jobs.back());
                    m_Jobs.pop_back();
                }
            }
        }
    }
    if (here) {
        here(); // no worker could start at all: serve it here rather than never
        return;
    }
    m_Wake.notify_one();
}

void CWorkerPool::shutdown()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stopping = true;
        threads.swap(m_Threads);
    }
    m_Wake.notify_all();
    for (std::thread& t : threads) t.join();
}

std::size_t CWorkerPool::Threads() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Threads.size();
}

void CWorkerPool::Work()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        ++m_Idle;
        m_Wake.wait(lock, [this] { return m_Stopping || !m_Jobs.empty(); });
        --m_Idle;
        if (m_Jobs.empty()) return; // stopping, nothing left
        std::function<void()> job = std::move(m_Jobs.front());
        m_Jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}
