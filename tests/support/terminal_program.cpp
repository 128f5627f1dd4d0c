#include "terminal_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TerminalProgram::TerminalProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args = ArgvOf(argv);
    winsize size{};
    size.ws_row = 40;
    size.ws_col = 160;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
        execv(args[0], args.data());
        _exit(127);
    }
}

TerminalProgram::~TerminalProgram() {
    if (Running()) {
        kill(pid_, SIGKILL);
        WaitExit(5000);
    }
    if (master_ >= 0) {
        close(master_);
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
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            status_ = -1;
            break;
        }
        ReadFor(20);
    }
    ReadFor(0);  // what it wrote last
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
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return run;
        }
        usleep(10000);
    }
    run.exitStatus = StatusOf(status);
    return run;
}

}  // namespace norvane::test
