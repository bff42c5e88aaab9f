// A small pool of worker threads that scores the independent trials of the fit's scans. The
// calling thread takes part as worker 0; a job is given the worker's number so that each
// worker can keep scratch state of its own. The pool only runs the calls: the order in which
// results are used is the caller's, so a scan that replays them in its own order gives the same
// result with any number of threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/worker_thread.h"

// The most threads the fit's scans use, the calling thread included.
inline constexpr int MaxTrialThreads = 8;

// The number of threads for a requested count: 1..MaxTrialThreads as asked, and for 0 or less
// the processors this process may run on, at most MaxTrialThreads.
int ResolveTrialThreads(int requested);

class CTrialPool {
public:
    // A pool of `threads` threads, the caller included (1..MaxTrialThreads; 1 starts none).
    // Threads that cannot be started are done without: Threads() tells how many there are.
    explicit CTrialPool(int threads);
    ~CTrialPool();
    CTrialPool(const CTrialPool&) = delete;
    CTrialPool& operator=(const CTrialPool&) = delete;

    int Threads() const { return static_cast<int>(m_Workers.size()) + 1; }

    // Calls job(worker, index) once for every index below count, spread over the threads, and
    // returns when every call has returned. An exception thrown by a call is thrown again here
    // (the first one) after the others have finished.
    void Run(std::size_t count, const std::function<void(int, std::size_t)>& job);

private:
    void WorkerLoop(int worker);
    void Work(int worker);

    std::vector<std::thread> m_Workers;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::condition_variable m_Idle;
    const std::function<void(int, std::size_t)>* m_Job = nullptr;
    std::size_t m_Count = 0;
    std::size_t m_Next = 0;       // next index to hand out (under m_Mutex)
    std::size_t m_Done = 0;       // calls of the current job that have returned
    unsigned m_Generation = 0;    // counts the jobs, so that a sleeping worker wakes for each
    bool m_Stop = false;
    std::exception_ptr m_Error;
};
