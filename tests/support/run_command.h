// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a shell command for a test (FFmpeg's tools as the judge of a file, our own
// programs) and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct RunResult {
    int status = -1;     // the exit status; -1 when it did not exit normally
    std::string output;  // stdout and stderr together
};

// Standard input is /dev/null, so nothing run here waits for the terminal.
inline RunResult RunCommand(const std::string& command)
{
    RunResult r;
    FILE* p = popen((command + " 2>&1 </dev/null").c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.output.append(buf, n);
    }
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
