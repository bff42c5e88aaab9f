// The movie's row workers.
#include "movie/row_workers.h"

#include <algorithm>

namespace movie {

CRowWorkers::CRowWorkers(int parts) : m_parts(std::max(1, parts))
{
    for (int part = 0; part < m_parts; ++part)
        m_threads.emplace_back([this, part] { Work(part); });
}

CRowWorkers::~CRowWorkers()
{
    Wait();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void CRowWorkers::Start(std::function<void(int part)> job)
{
    Wait();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_job = std::move(job);
        m_pending = m_parts;
        ++m_generation;
    }
    m_wake.notify_all();
}

void CRowWorkers::Wait()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_done.wait(hold, [this] { return m_pending == 0; });
}

void CRowWorkers::Work(int part)
{
    unsigned seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
        }
        // The job stays put until every part has reported back.
        m_job(part);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            --m_pending;
        }
        m_done.notify_all();
    }
}

} // namespace movie
