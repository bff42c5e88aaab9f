// Starting the worker threads of the engine's parallel loops (the fit's scans and image
// levels, the render's bands). A process at its limits (address space, threads) may refuse a
// thread: the starter then throws std::system_error (or std::bad_alloc), and every loop goes on
// with the threads it has, down to the calling thread alone, with the same result.
#pragma once

#include <functional>
#include <thread>

// Starts one worker thread running body. Replaceable so that a test can refuse threads;
// nullptr restores the plain std::thread.
using WorkerThreadStarter = std::thread (*)(std::function<void()> body);
void SetWorkerThreadStarter(WorkerThreadStarter starter);
std::thread StartWorkerThread(std::function<void()> body);
