#include "terminal_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace norvane::test {

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
    std::vector<char*> args;
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

int StatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

void KillProcessTree(pid_t root) {
    // Below first: a process whose parent is gone is re-parented out of reach.
    for (const pid_t pid : Descendants(root)) {
        kill(pid, SIGKILL);
    }
    kill(root, SIGKILL);
}

double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TerminalProgram::TerminalProgram(const std::vector<std::string>& argv, Setup screen) {
    std::vector<char*> args = ArgvOf(argv);
    if (screen.terminal) {
        winsize size{};
        size.ws_row = 40;
        size.ws_col = static_cast<unsigned short>(screen.columns);
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            execv(args[0], args.data());
            _exit(127);
        }
        return;
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (screen.pipeBytes > 0) {
        (void)fcntl(out[0], F_SETPIPE_SZ, screen.pipeBytes);
    }
    pid_ = fork();
    if (pid_ == 0) {
        setsid();
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(out[1], 1) < 0 || dup2(out[1], 2) < 0) {
            _exit(126);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    master_ = out[0];
}

TerminalProgram::~TerminalProgram() {
    if (Running()) {
        KillProcessTree(pid_);
        WaitExit(5000);
    }
    Close();
}

void TerminalProgram::Close() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

void TerminalProgram::ReadFor(int ms) {
    const std::size_t before = screen_.size();
    ReadSome(master_, screen_, ms);
    if (screen_.size() != before) {
        arrivals_.emplace_back(screen_.size(), MonotonicSeconds());
    }
}

bool TerminalProgram::WaitFor(const std::string& text, int ms) {
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

double TerminalProgram::SeenAt(const std::string& text) const {
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

void TerminalProgram::Type(const std::string& keys) {
    (void)!write(master_, keys.data(), keys.size());
}

void TerminalProgram::Signal(int signal) {
    if (pid_ > 0) {
        kill(pid_, signal);
    }
}

bool TerminalProgram::Running() {
    if (pid_ <= 0 || status_ != -2) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = StatusOf(status);
        return false;
    }
    return true;
}

int TerminalProgram::WaitExit(int ms) {
    const double end = MonotonicSeconds() + ms / 1000.0;
    while (Running()) {
        if (MonotonicSeconds() >= end) {
            KillProcessTree(pid_);
            waitpid(pid_, nullptr, 0);
            status_ = -1;
            break;
        }
        ReadFor(20);
    }
    // What it wrote last, up to the end of its output.
    for (std::size_t before = screen_.size() + 1; screen_.size() != before;) {
        before = screen_.size();
        ReadFor(100);
    }
    return status_ == -2 ? -1 : status_;
}

CapturedRun RunCaptured(const std::vector<std::string>& argv, int ms) {
    CapturedRun run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return run;
    }
    std::vector<char*> args = ArgvOf(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(out[1], 1) < 0 || dup2(out[1], 2) < 0) {
            _exit(126);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    const double end = MonotonicSeconds() + ms / 1000.0;
    while (MonotonicSeconds() < end && ReadSome(out[0], run.output, 50)) {
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (MonotonicSeconds() >= end) {
            KillProcessTree(pid);
            waitpid(pid, &status, 0);
            return run;
        }
        usleep(10000);
    }
    run.exitStatus = StatusOf(status);
    return run;
}

}  // namespace norvane::test
