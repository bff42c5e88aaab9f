// Plain implementations of the system services: posix_spawn for starting programs, xdg-open for
// opening documents, sysinfo for the memory status, a pump that does nothing, and the count of
// running long jobs.
#include "platform/system_services.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

extern char** environ;

namespace platform {
namespace {

bool FileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Starts the program without waiting for it; a detached thread reaps it when it ends. Answers
// above 32 when the program could be started.
int SpawnDetached(const std::string& program, const std::vector<std::string>& arguments, bool searchPath)
{
    std::vector<std::string> args;
    args.push_back(program);
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The program gets a session of its own, so that closing us does not close it.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = searchPath ? posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ)
                              : posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return rc == ENOENT ? kStartFileNotFound : kStartFailed;
    // Reap the child when it ends, without waiting for it here.
    std::thread([pid] {
        int status = 0;
        (void)::waitpid(pid, &status, 0);
    }).detach();
    return kStartOk;
}

class PlainLauncher : public IProcessLauncher {
public:
    int Start(const std::string& program, const std::vector<std::string>& arguments, int) override
    {
        if (program.empty())
            return kStartFileNotFound;
        const bool hasFolder = program.find('/') != std::string::npos;
        if (hasFolder && !FileExists(program))
            return kStartFileNotFound;
        return SpawnDetached(program, arguments, !hasFolder);
    }
};

class PlainShellOpen : public IShellOpen {
public:
    int Open(const std::string& name, const std::string& directory, int) override
    {
        const std::string path = ShellOpenPath(name, directory);
        if (!FileExists(path))
            return kStartFileNotFound;
        return SpawnDetached("xdg-open", {path}, true);
    }
};

class PlainMemory : public IMemoryStatus {
public:
    MemoryStatus Query() override { return ReadSystemMemoryStatus(); }
};

class PlainPump : public IEventPump {
public:
    void Pump() override {}
};

PlainLauncher g_plainLauncher;
IProcessLauncher* g_launcher = &g_plainLauncher;
PlainShellOpen g_plainShell;
IShellOpen* g_shell = &g_plainShell;
PlainMemory g_plainMemory;
IMemoryStatus* g_memory = &g_plainMemory;
PlainPump g_plainPump;
IEventPump* g_pump = &g_plainPump;
int g_runningJobs = 0;
int g_jobNumber = 0;

} // namespace

IProcessLauncher& ProcessLauncher() { return *g_launcher; }
void SetProcessLauncher(IProcessLauncher* launcher) { g_launcher = launcher ? launcher : &g_plainLauncher; }

std::string ShellOpenPath(const std::string& name, const std::string& directory)
{
    if (directory.empty() || (!name.empty() && name[0] == '/'))
        return name;
    if (directory.back() == '/' || directory.back() == '\\')
        return directory + name;
    return directory + "/" + name;
}

IShellOpen& ShellOpen() { return *g_shell; }
void SetShellOpen(IShellOpen* shell) { g_shell = shell ? shell : &g_plainShell; }

int FakeShellOpen::Open(const std::string& name, const std::string& directory, int)
{
    const std::string path = ShellOpenPath(name, directory);
    m_opened.push_back(path);
    if (!m_results.empty()) {
        const int r = m_results.front();
        m_results.pop_front();
        return r;
    }
    return FileExists(path) ? kStartOk : kStartFileNotFound;
}

MemoryStatus ReadSystemMemoryStatus()
{
    MemoryStatus m;
    struct sysinfo info {};
    if (::sysinfo(&info) != 0)
        return m;
    const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
    m.totalPhysical = uint64_t(info.totalram) * unit;
    m.availablePhysical = (uint64_t(info.freeram) + uint64_t(info.bufferram)) * unit;
    m.totalPageFile = m.totalPhysical + uint64_t(info.totalswap) * unit;
    m.availablePageFile = m.availablePhysical + uint64_t(info.freeswap) * unit;
    // A limit on the process's address space is all the memory the program can have, however
    // much the system holds: the total is the limit, and what is left of it is available.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const uint64_t cap = limit.rlim_cur;
        uint64_t used = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            unsigned long long pages = 0;
            if (std::fscanf(statm, "%llu", &pages) == 1)
                used = uint64_t(pages) * uint64_t(::sysconf(_SC_PAGESIZE));
            std::fclose(statm);
        }
        const uint64_t left = cap > used ? cap - used : 0;
        m.totalPhysical = std::min(m.totalPhysical, cap);
        m.availablePhysical = std::min(m.availablePhysical, left);
        m.totalPageFile = std::min(m.totalPageFile, cap);
        m.availablePageFile = std::min(m.availablePageFile, left);
    }
    return m;
}

IMemoryStatus& Memory() { return *g_memory; }
void SetMemory(IMemoryStatus* memory) { g_memory = memory ? memory : &g_plainMemory; }

IEventPump& EventPump() { return *g_pump; }
void SetEventPump(IEventPump* pump) { g_pump = pump ? pump : &g_plainPump; }

namespace {
class PlainWaitCursor : public IWaitCursor {
public:
    void Show() override {}
    void Restore() override {}
};
PlainWaitCursor g_plainWaitCursor;
IWaitCursor* g_waitCursor = &g_plainWaitCursor;
int g_waitDepth = 0;
} // namespace

void SetWaitCursor(IWaitCursor* cursor) { g_waitCursor = cursor ? cursor : &g_plainWaitCursor; }
int WaitCursorDepth() { return g_waitDepth; }
WaitCursor::WaitCursor()
{
    ++g_waitDepth;
    g_waitCursor->Show();
}
WaitCursor::~WaitCursor()
{
    g_waitCursor->Restore();
    if (g_waitDepth > 0)
        --g_waitDepth;
}

int RunningJobs() { return g_runningJobs; }
bool IsJobRunning() { return g_runningJobs > 0; }
int CurrentJobNumber() { return g_runningJobs > 0 ? g_jobNumber : 0; }
JobScope::JobScope()
{
    if (g_runningJobs++ == 0)
        ++g_jobNumber;
}
JobScope::~JobScope()
{
    if (g_runningJobs > 0)
        --g_runningJobs;
}
void ResetRunningJobs() { g_runningJobs = 0; }

} // namespace platform
