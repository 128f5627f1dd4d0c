// Runs programs for the line benchmarks and measures their wall and CPU time.
#pragma once

#include <string>
#include <vector>

namespace norvane::bench {

struct ChildRun {
    int exitStatus = -1;  // -1: did not exit normally
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user and system time of the child
    long contextSwitches =
        0;  // voluntary and involuntary: how often it went to sleep or was put aside
};

struct ChildLaunch {
    std::vector<std::string> argv;  // argv[0] is looked up on PATH when it has no '/'
    int stdinFd = -1;               // -1: /dev/null
    int stdoutFd = -1;              // -1: the log file
    int stderrFd = -1;              // -1: the log file
    std::string logPath;            // standard error, and standard output unless redirected
    std::string workDir;            // empty: unchanged
};

// Starts the child; returns its process id or -1.
int StartChild(const ChildLaunch& launch);

// Waits for `pid`, started at `startNs` on the monotonic clock.
ChildRun WaitChild(int pid, long long startNs);

long long MonotonicNs();

}  // namespace norvane::bench
