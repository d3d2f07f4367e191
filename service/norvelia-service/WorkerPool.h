// The service's connection workers: a thread per open connection, up to a
// bound, started when needed. The HTTP library keeps a worker for the whole
// life of a connection, so a fixed handful of workers lets a few idle
// clients stall everyone else.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

class CWorkerPool : public httplib::TaskQueue {
public:
    explicit CWorkerPool(std::size_t maxThreads = DefaultMaxThreads());
    ~CWorkerPool() override;
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    // A few hundred connections at once, more on a larger machine.
    static std::size_t DefaultMaxThreads();

    void enqueue(std::function<void()> fn) override;
    // Runs what is queued, then joins every worker.
    void shutdown() override;

    std::size_t Threads() const;

private:
    void Work();

    const std::size_t m_Max;
    mutable std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<std::function<void()>> m_Jobs;
    std::vector<std::thread> m_Threads;
    std::size_t m_Idle = 0;
    bool m_Stopping = false;
};
