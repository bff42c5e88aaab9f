// The movie's row workers.
#include "movie/row_workers.h"

#include <algorithm>

namespace movie {

CRowWorkers::CRowWorkers(int parts) : m_parts(std::max(1, parts))
{
    for (int part = 1; part < m_parts; ++part)
        m_threads.emplace_back([this, part] { Work(part); });
}

CRowWorkers::~CRowWorkers()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void CRowWorkers::Run(const std::function<void(int part)>& job)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_job = &job;
        m_pending = m_parts - 1;
        ++m_generation;
    }
    m_wake.notify_all();
    job(0);
    std::unique_lock<std::mutex> hold(m_lock);
    m_done.wait(hold, [this] { return m_pending == 0; });
    m_job = nullptr;
}

void CRowWorkers::Work(int part)
{
    unsigned seen = 0;
    for (;;) {
        const std::function<void(int)>* job = nullptr;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
            job = m_job;
        }
        (*job)(part);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            --m_pending;
        }
        m_done.notify_one();
    }
}

} // namespace movie
