// A few threads kept for the life of the movie that share one job at a time (the rows of a
// frame), so that no thread is started per frame, and so that the job can run while the
// calling thread does something else (encoding the frame before).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace movie {

class CRowWorkers {
public:
    // `parts` threads, each of which takes one share of every job.
    explicit CRowWorkers(int parts);
    ~CRowWorkers();
    CRowWorkers(const CRowWorkers&) = delete;
    CRowWorkers& operator=(const CRowWorkers&) = delete;

    int Parts() const { return m_parts; }
    // Starts job(part) for every part and returns at once; the job is kept until Wait.
    void Start(std::function<void(int part)> job);
    // Returns when every part of the job started last is done.
    void Wait();
    void Run(std::function<void(int part)> job)
    {
        Start(std::move(job));
        Wait();
    }

private:
    void Work(int part);

    int m_parts = 1;
    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::function<void(int)> m_job;
    unsigned m_generation = 0;
    int m_pending = 0;
    bool m_stop = false;
};

} // namespace movie
