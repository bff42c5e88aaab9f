// The process-wide starter of the engine's worker threads.
#include "engine/worker_thread.h"

#include <utility>

namespace {

WorkerThreadStarter g_Starter = nullptr;

} // namespace

void SetWorkerThreadStarter(WorkerThreadStarter starter) { g_Starter = starter; }

std::thread StartWorkerThread(std::function<void()> body)
{
    if (g_Starter)
        return g_Starter(std::move(body));
    return std::thread(std::move(body));
}
