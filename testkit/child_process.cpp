#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

extern char** environ;
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace norvane::test {

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    return args;
}

// Appends what `fd` has to `out` until it has nothing more for `ms`; false at its end.
bool ReadSome(int fd, std::string& out, int ms) {
    if (fd < 0) {
        usleep(static_cast<useconds_t>(ms) * 1000);
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) {
        return true;
    }
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) {
        return n < 0 && errno == EINTR;
    }
    out.append(buf, static_cast<std::size_t>(n));
    return true;
}

// This process's environment with `added` (NAME=value) after it, made before the
// fork: between fork and exec only calls that are safe there are made.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& added) {
    std::vector<std::string> all;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        all.emplace_back(*variable);
    }
    all.insert(all.end(), added.begin(), added.end());
    return all;
}

[[noreturn]] void Exec(char* const* args, char* const* env, const std::string& workDir) {
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) {
        _exit(126);
    }
    execvpe(args[0], args, env);
    _exit(127);
}

// Standard input, output and error from these descriptors, the others closed.
void Wire(int in, int out, int err) {
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
        _exit(126);
    }
    for (int fd = 3; fd < 256; ++fd) {
        close(fd);
    }
}

// Every process below `root`, as the process table has it now.
std::vector<pid_t> Descendants(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> parents;  // pid, parent
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
        const std::size_t close = line.rfind(')');
        std::istringstream rest(close == std::string::npos ? "" : line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        if (rest >> state >> parent) {
            parents.emplace_back(static_cast<pid_t>(std::atoi(line.c_str())), parent);
        }
    }
    std::vector<pid_t> found{root};
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (const auto& [pid, parent] : parents) {
            if (parent == found[i]) {
                found.push_back(pid);
            }
        }
    }
    found.erase(found.begin());
    return found;
}

}  // namespace

double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void KillProcessTree(pid_t root) {
    // Below first: a process whose parent is gone is re-parented out of reach.
    for (const pid_t pid : Descendants(root)) {
        kill(pid, SIGKILL);
    }
    kill(root, SIGKILL);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Setup setup)
    : startedAt_(MonotonicSeconds()) {
    using Output = Setup::Output;
    const std::vector<char*> args = ArgvOf(argv);
    const std::vector<std::string> environment = EnvironmentWith(setup.environment);
    const std::vector<char*> env = ArgvOf(environment);
    std::fflush(nullptr);
    if (setup.output == Output::Terminal) {
        winsize size{};
        size.ws_row = 40;
        size.ws_col = static_cast<unsigned short>(setup.columns);
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            Exec(args.data(), env.data(), setup.workDir);
        }
        return;
    }
    int out[2] = {-1, -1};
    if (setup.output == Output::Pipe && pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (setup.pipeBytes > 0) {
        (void)fcntl(out[0], F_SETPIPE_SZ, setup.pipeBytes);
    }
    pid_ = fork();
    if (pid_ == 0) {
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (setup.output == Output::Pipe) {
            Wire(null, out[1], out[1]);
        } else {
            const int log = setup.logPath.empty()
                                ? null
                                : open(setup.logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            Wire(setup.stdinFd >= 0 ? setup.stdinFd : null,
                 setup.stdoutFd >= 0 ? setup.stdoutFd : log,
                 setup.stderrFd >= 0 ? setup.stderrFd : log);
        }
        Exec(args.data(), env.data(), setup.workDir);
    }
    if (out[1] >= 0) {
        close(out[1]);
    }
    master_ = out[0];
}

ChildProcess::ChildProcess(const std::function<int()>& body) : startedAt_(MonotonicSeconds()) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        close(out[0]);
        dup2(out[1], 1);
        // Through exit(), not _exit(): the sanitizers' checks at exit run in it too.
        std::exit(body());
    }
    close(out[1]);
    master_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        KillProcessTree(pid_);
        WaitExit(5000);
    }
    Close();
}

void ChildProcess::Close() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

void ChildProcess::ReadFor(int ms) {
    const std::size_t before = screen_.size();
    ReadSome(master_, screen_, ms);
    if (screen_.size() != before) {
        arrivals_.emplace_back(screen_.size(), MonotonicSeconds());
    }
}

bool ChildProcess::WaitFor(const std::string& text, int ms) {
    const double end = MonotonicSeconds() + ms / 1000.0;
    while (screen_.find(text) == std::string::npos) {
        const double left = end - MonotonicSeconds();
        if (left <= 0) {
            return false;
        }
        ReadFor(static_cast<int>(left * 1000) + 1);
    }
    return true;
}

double ChildProcess::SeenAt(const std::string& text) const {
    const std::size_t at = screen_.find(text);
    if (at == std::string::npos) {
        return -1;
    }
    for (const auto& [size, when] : arrivals_) {
        if (size >= at + text.size()) {
            return when;
        }
    }
    return -1;
}

void ChildProcess::Type(const std::string& keys) {
    (void)!write(master_, keys.data(), keys.size());
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && !ended_) {
        kill(pid_, signal);
    }
}

void ChildProcess::Collect(int status, const ::rusage& usage) {
    ended_ = true;
    result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result_.wallSeconds = MonotonicSeconds() - startedAt_;
    result_.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result_.contextSwitches = usage.ru_nvcsw + usage.ru_nivcsw;
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || ended_) {
        return false;
    }
    int status = 0;
    ::rusage usage{};
    if (wait4(pid_, &status, WNOHANG, &usage) == pid_) {
        Collect(status, usage);
        return false;
    }
    return true;
}

int ChildProcess::WaitExit(int ms) {
    const double end = MonotonicSeconds() + ms / 1000.0;
    while (Running()) {
        if (MonotonicSeconds() >= end) {
            KillProcessTree(pid_);
            int status = 0;
            ::rusage usage{};
            wait4(pid_, &status, 0, &usage);
            Collect(status, usage);
            result_.exitStatus = -1;
            timedOut_ = true;
            break;
        }
        ReadFor(20);
    }
    // What it wrote last, up to the end of its output.
    for (std::size_t before = screen_.size() + 1; screen_.size() != before;) {
        before = screen_.size();
        ReadFor(100);
    }
    return result_.exitStatus;
}

CapturedRun RunCaptured(const std::vector<std::string>& argv, int ms,
                        const std::vector<std::string>& environment) {
    ChildProcess::Setup setup;
    setup.output = ChildProcess::Setup::Output::Pipe;
    setup.environment = environment;
    ChildProcess child(argv, setup);
    CapturedRun run;
    run.exitStatus = child.WaitExit(ms);
    run.output = child.Screen();
    return run;
}

}  // namespace norvane::test
