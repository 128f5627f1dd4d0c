#include "child_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace norvane::bench {

long long MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

int StartChild(const ChildLaunch& launch) {
    std::vector<char*> args;
    for (const std::string& a : launch.argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // The child: only async-signal-safe calls from here on.
    const int log = open(launch.logPath.empty() ? "/dev/null" : launch.logPath.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = launch.stdinFd >= 0 ? launch.stdinFd : open("/dev/null", O_RDONLY);
    const int out = launch.stdoutFd >= 0 ? launch.stdoutFd : log;
    const int err = launch.stderrFd >= 0 ? launch.stderrFd : log;
    if (log < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
        _exit(126);
    }
    if (!launch.workDir.empty() && chdir(launch.workDir.c_str()) != 0) {
        _exit(126);
    }
    for (int fd = 3; fd < 256; ++fd) {
        close(fd);
    }
    execvp(args[0], args.data());
    _exit(127);
}

ChildRun WaitChild(int pid, long long startNs) {
    ChildRun run;
    int status = 0;
    rusage usage{};
    pid_t got = -1;
    do {
        got = wait4(pid, &status, 0, &usage);
    } while (got < 0 && errno == EINTR);
    run.wallSeconds = static_cast<double>(MonotonicNs() - startNs) / 1e9;
    if (got == pid && WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.contextSwitches = usage.ru_nvcsw + usage.ru_nivcsw;
    return run;
}

}  // namespace norvane::bench
