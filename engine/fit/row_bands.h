// Splitting a loop over rows into bands for the spare cores, for work whose rows depend on
// nothing but their own inputs (the output is the same for any split).
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/worker_thread.h"

// Below this many cells a loop runs on the calling thread alone.
inline constexpr int64_t kParallelCells = 200000;
inline constexpr unsigned kMaxLevelThreads = 4;

// Runs body(first, last) over rows 0..rows-1 on `threads` threads (0: as many as the cells
// warrant). What a band throws (an allocation that fails, say) is thrown again on the calling
// thread once every band has ended, as if the loop had run there: an exception must not leave
// a worker thread, where it would end the program.
template <typename Body>
void ForRowBands(int rows, int64_t cells, const Body& body, unsigned threads = 0)
{
    if (threads == 0)
        threads = cells >= kParallelCells ? std::clamp(std::thread::hardware_concurrency(), 1u, kMaxLevelThreads) : 1u;
    threads = std::min<unsigned>(threads, static_cast<unsigned>(std::max(rows, 1)));
    if (threads <= 1) {
        body(0, rows);
        return;
    }
    std::vector<std::thread> pool;
    pool.reserve(threads);
    std::vector<std::exception_ptr> failures(threads);
    int next = 0;
    try {
        for (unsigned t = 0; t + 1 < threads; ++t) {
            const int first = static_cast<int>(int64_t(rows) * t / threads);
            const int last = static_cast<int>(int64_t(rows) * (t + 1) / threads);
            std::exception_ptr* failure = &failures[t];
            pool.push_back(StartWorkerThread([&body, first, last, failure] {
                try {
                    body(first, last);
                } catch (...) {
                    *failure = std::current_exception();
                }
            }));
            next = last;
        }
    } catch (const std::system_error&) {
        // No thread to spare: the calling thread does what is left.
    } catch (const std::bad_alloc&) {
    }
    try {
        body(next, rows);
    } catch (...) {
        failures[threads - 1] = std::current_exception();
    }
    for (std::thread& t : pool)
        t.join();
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}
