// A few threads kept for the life of the movie, each of which does its share of one job at a
// time (the rows of a frame), so that no thread is started per frame.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace movie {

class CRowWorkers {
public:
    // `parts` shares in all: the calling thread does share 0, the workers the rest.
    explicit CRowWorkers(int parts);
    ~CRowWorkers();
    CRowWorkers(const CRowWorkers&) = delete;
    CRowWorkers& operator=(const CRowWorkers&) = delete;

    int Parts() const { return m_parts; }
    // Runs job(part) for every part and returns when all are done.
    void Run(const std::function<void(int part)>& job);

private:
    void Work(int part);

    int m_parts = 1;
    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int)>* m_job = nullptr;
    unsigned m_generation = 0;
    int m_pending = 0;
    bool m_stop = false;
};

} // namespace movie
