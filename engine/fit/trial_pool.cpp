// The worker threads of the fit's scans: one job at a time, its indices handed out one by one
// to whichever thread is free.
#include "engine/fit/trial_pool.h"

#include <algorithm>
#include <new>
#include <system_error>

#if defined(__linux__)
#include <sched.h>
#endif

int ResolveTrialThreads(int requested)
{
    if (requested > 0)
        return std::min(requested, MaxTrialThreads);
    int available = 0;
#if defined(__linux__)
    // A process confined to some processors (taskset, a container's CPU set) has no use for
    // threads beyond them.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
        available = CPU_COUNT(&set);
#endif
    if (available <= 0)
        available = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(available, 1, MaxTrialThreads);
}

CTrialPool::CTrialPool(int threads)
{
    const int n = std::clamp(threads, 1, MaxTrialThreads);
    m_Workers.reserve(static_cast<std::size_t>(n - 1));
    for (int w = 1; w < n; ++w) {
        try {
            m_Workers.push_back(StartWorkerThread([this, w] { WorkerLoop(w); }));
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
}

CTrialPool::~CTrialPool()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    m_Wake.notify_all();
    for (std::thread& t : m_Workers)
        t.join();
}

void CTrialPool::Work(int worker)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    while (m_Job && m_Next < m_Count) {
        const std::size_t index = m_Next++;
        const auto* job = m_Job;
        lock.unlock();
        std::exception_ptr error;
        try {
            (*job)(worker, index);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        ++m_Done;
        if (error && !m_Error) {
            // The calls not yet handed out are dropped.
            m_Error = error;
            m_Done += m_Count - m_Next;
            m_Next = m_Count;
        }
        if (m_Done == m_Count)
            m_Idle.notify_all();
    }
}

void CTrialPool::WorkerLoop(int worker)
{
    unsigned seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Wake.wait(lock, [&] { return m_Stop || m_Generation != seen; });
            if (m_Stop)
                return;
            seen = m_Generation;
        }
        // A worker that wakes late finds the job done (or the next one) and takes what is left.
        Work(worker);
    }
}

void CTrialPool::Run(std::size_t count, const std::function<void(int, std::size_t)>& job)
{
    if (count == 0)
        return;
    if (m_Workers.empty() || count == 1) {
        for (std::size_t i = 0; i < count; ++i)
            job(0, i);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Job = &job;
        m_Count = count;
        m_Next = 0;
        m_Done = 0;
        m_Error = nullptr;
        ++m_Generation;
    }
    m_Wake.notify_all();
    Work(0);
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Idle.wait(lock, [&] { return m_Done == m_Count; });
        m_Job = nullptr;
        m_Count = 0;
        m_Next = 0;
        error = m_Error;
        m_Error = nullptr;
    }
    if (error)
        std::rethrow_exception(error);
}
