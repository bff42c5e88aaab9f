// System services the program asks for besides windows: starting another program, opening a
// document with the desktop's default program, the memory status, the long-job event pump and
// the count of running long jobs. Each is a small interface with a plain implementation that
// needs no window layer, a process-wide selection that tests replace, and a test fake.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// ---- Starting a program -------------------------------------------------------------------

// Show codes of a started program's window.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3 };

// Results of a start or a shell open: above 32 success, 32 or below a failure code.
enum : int { kStartFileNotFound = 2, kStartPathNotFound = 3, kStartFailed = 31, kStartOk = 42 };

class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;
    // Starts the program with its arguments (each passed as it stands, never through a shell)
    // and does not wait for it; above 32 when it was started.
    virtual int Start(const std::string& program, const std::vector<std::string>& arguments, int showCode) = 0;
};

IProcessLauncher& ProcessLauncher();
// Installs a launcher (not owned); nullptr restores the plain one (posix_spawn).
void SetProcessLauncher(IProcessLauncher* launcher);

struct StartRecord {
    std::string program;
    std::vector<std::string> arguments;
    int showCode = 0;
};

class FakeProcessLauncher : public IProcessLauncher {
public:
    int Start(const std::string& program, const std::vector<std::string>& arguments, int showCode) override
    {
        m_starts.push_back({program, arguments, showCode});
        if (m_results.empty())
            return kStartOk;
        const int r = m_results.front();
        m_results.pop_front();
        return r;
    }
    void QueueResult(int result) { m_results.push_back(result); }
    const std::vector<StartRecord>& Starts() const { return m_starts; }

private:
    std::deque<int> m_results;
    std::vector<StartRecord> m_starts;
};

// ---- Opening a document with its default program --------------------------------------------

class IShellOpen {
public:
    virtual ~IShellOpen() = default;
    // Opens the file `name` of the folder `directory` (a full path when the folder is empty)
    // with the desktop's default program; above 32 on success. A file that does not exist fails
    // with kStartFileNotFound without asking the desktop.
    virtual int Open(const std::string& name, const std::string& directory, int showCode) = 0;
};

IShellOpen& ShellOpen();
// Installs a shell (not owned); nullptr restores the plain one (xdg-open, started directly).
void SetShellOpen(IShellOpen* shell);

// The path a shell open of `name` in `directory` refers to.
std::string ShellOpenPath(const std::string& name, const std::string& directory);

class FakeShellOpen : public IShellOpen {
public:
    // Answers kStartOk for files that exist, kStartFileNotFound for the others, unless a result
    // was queued.
    int Open(const std::string& name, const std::string& directory, int showCode) override;
    void QueueResult(int result) { m_results.push_back(result); }
    // The full paths asked for, in order.
    const std::vector<std::string>& Opened() const { return m_opened; }

private:
    std::deque<int> m_results;
    std::vector<std::string> m_opened;
};

// ---- Memory status --------------------------------------------------------------------------

// Bytes of physical memory and of the page file; the page file is physical memory plus swap,
// as the program's memory budget counts it.
struct MemoryStatus {
    uint64_t totalPhysical = 0;
    uint64_t availablePhysical = 0;
    uint64_t totalPageFile = 0;
    uint64_t availablePageFile = 0;
};

class IMemoryStatus {
public:
    virtual ~IMemoryStatus() = default;
    virtual MemoryStatus Query() = 0;
};

IMemoryStatus& Memory();
// Installs a memory status (not owned); nullptr restores the plain one (sysinfo).
void SetMemory(IMemoryStatus* memory);
// The system's status read through sysinfo (RAM and swap).
MemoryStatus ReadSystemMemoryStatus();

// A memory status that answers what the test set; the optional hook runs on every query.
class FakeMemoryStatus : public IMemoryStatus {
public:
    MemoryStatus Query() override
    {
        ++m_queries;
        if (m_onQuery)
            m_onQuery(m_status);
        return m_status;
    }
    MemoryStatus& Status() { return m_status; }
    void OnQuery(std::function<void(MemoryStatus&)> hook) { m_onQuery = std::move(hook); }
    int Queries() const { return m_queries; }

private:
    MemoryStatus m_status{uint64_t(8) << 30, uint64_t(4) << 30, uint64_t(16) << 30, uint64_t(12) << 30};
    std::function<void(MemoryStatus&)> m_onQuery;
    int m_queries = 0;
};

// ---- Long jobs ------------------------------------------------------------------------------

class IEventPump {
public:
    virtual ~IEventPump() = default;
    // Called by every break poll and wait of a long job: lets the window layer repaint and
    // record the break gestures. It gives no user input to the windows.
    virtual void Pump() = 0;
};

IEventPump& EventPump();
// Installs a pump (not owned); nullptr restores the plain one, which does nothing.
void SetEventPump(IEventPump* pump);

class CountingEventPump : public IEventPump {
public:
    void Pump() override { ++m_pumps; }
    int Pumps() const { return m_pumps; }

private:
    int m_pumps = 0;
};

// ---- The wait cursor ----------------------------------------------------------------------------

// Shows the wait cursor over the program's windows; the window layer installs one. Shows and
// restores nest.
class IWaitCursor {
public:
    virtual ~IWaitCursor() = default;
    virtual void Show() = 0;
    virtual void Restore() = 0;
};
// Installs a wait cursor (not owned); nullptr restores the plain one, which shows nothing.
void SetWaitCursor(IWaitCursor* cursor);
// How many wait cursors are shown now.
int WaitCursorDepth();
// The wait cursor for its lifetime.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Long jobs in progress (Fit, Render and Save, ...). While one runs, the window layer refuses
// to close and the document frees no picture image the engine may be using.
int RunningJobs();
bool IsJobRunning();
// The number of the outermost job running now (each outermost job gets the next number); 0
// while none runs. Lets a report be given once per job however often the job meets it.
int CurrentJobNumber();
// Marks one long job for its lifetime.
class JobScope {
public:
    JobScope();
    ~JobScope();
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;
};
// Forgets every running job (a test's fresh start).
void ResetRunningJobs();

} // namespace platform
