// Runs one of our programs as a user would, through the shell, and collects its output and
// exit code. Arguments are passed as written (quote paths yourself).
#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace testsupport {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

// With keepErrors the standard error is collected too, else it is thrown away.
inline ProgramRun RunProgram(const std::string& program, const std::string& args, bool keepErrors = true)
{
    ProgramRun run;
    const std::string command = "'" + program + "' " + args + (keepErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace testsupport
