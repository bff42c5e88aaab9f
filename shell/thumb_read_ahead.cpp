// The finder's read-ahead worker.
#include "shell/thumb_read_ahead.h"

#include <algorithm>

CThumbReadAhead::CThumbReadAhead(CSize canvas) : m_canvas(canvas) {}

CThumbReadAhead::~CThumbReadAhead() { Cancel(); }

bool CThumbReadAhead::IsWanted(const std::string& path) const
{
    return std::find(m_wanted.begin(), m_wanted.end(), path) != m_wanted.end();
}

std::string CThumbReadAhead::NextJob() const
{
    for (const std::string& p : m_wanted)
        if (p != m_reading && m_done.find(p) == m_done.end())
            return p;
    return {};
}

void CThumbReadAhead::Want(const std::vector<std::string>& paths)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted = paths;
        for (auto it = m_done.begin(); it != m_done.end();)
            it = IsWanted(it->first) ? std::next(it) : m_done.erase(it);
        if (!m_reading.empty() && !IsWanted(m_reading))
            m_abandon = true;
        if (!m_thread.joinable() && !NextJob().empty()) {
            m_stop = false;
            m_thread = std::thread(&CThumbReadAhead::Run, this);
        }
    }
    m_workCv.notify_one();
    m_doneCv.notify_all();
}

std::optional<CJpegPicture> CThumbReadAhead::Take(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_done.find(path);
    if (it == m_done.end())
        return std::nullopt;
    std::optional<CJpegPicture> out(std::move(it->second));
    m_done.erase(it);
    // Taken: the worker must not read it again.
    m_wanted.erase(std::remove(m_wanted.begin(), m_wanted.end(), path), m_wanted.end());
    return out;
}

bool CThumbReadAhead::WaitFor(const std::string& path)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_doneCv.wait(lock, [&] { return m_done.count(path) != 0 || !IsWanted(path) || !m_thread.joinable(); });
    return m_done.count(path) != 0;
}

bool CThumbReadAhead::WaitFor(const std::string& path, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_doneCv.wait_for(lock, limit,
                      [&] { return m_done.count(path) != 0 || !IsWanted(path) || !m_thread.joinable(); });
    return m_done.count(path) != 0;
}

void CThumbReadAhead::Cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_abandon = true;
        m_wanted.clear();
        m_done.clear();
    }
    m_workCv.notify_all();
    m_doneCv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = false;
    m_done.clear();
}

void CThumbReadAhead::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_workCv.wait(lock, [&] { return m_stop || !NextJob().empty(); });
        if (m_stop)
            break;
        const std::string path = NextJob();
        m_reading = path;
        m_abandon = false;
        lock.unlock();
        CJpegPicture picture = JpegReadPicture(path, m_canvas, CRect(), [this] { return m_abandon.load(); });
        lock.lock();
        m_reading.clear();
        // A failed read is kept too (the taker reads such a file itself), so it is not
        // tried again and again; an abandoned one is not.
        if (!m_abandon && !m_stop && IsWanted(path)) {
            m_done[path] = std::move(picture);
            ++m_readsDone;
        }
        m_doneCv.notify_all();
    }
}
