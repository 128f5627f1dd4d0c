#include "isolated_burn.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace norvane::soak {

namespace {

std::string Serialize(const BurnReport& r) {
    std::ostringstream out;
    out << r.success << ' ' << r.flashHoldsImage << ' ' << r.finalMessages << ' ' << r.lastIsFinal
        << ' ' << r.successMessage << ' ' << r.linkClosed << ' ' << r.virtualMs << ' '
        << r.survivable << '\n'
        << r.finalMessage << '\n'
        << r.notSurvivable << '\n';
    return out.str();
}

bool Deserialize(const std::string& text, BurnReport& r) {
    std::istringstream in(text);
    if (!(in >> r.success >> r.flashHoldsImage >> r.finalMessages >> r.lastIsFinal >>
          r.successMessage >> r.linkClosed >> r.virtualMs >> r.survivable)) {
        return false;
    }
    in.ignore(1);
    std::getline(in, r.finalMessage);
    std::getline(in, r.notSurvivable);
    return true;
}

void WriteAll(int fd, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n <= 0) {
            return;
        }
        at += static_cast<std::size_t>(n);
    }
}

}  // namespace

IsolatedBurn RunIsolated(const SoakPlan& plan, int wallLimitSeconds) {
    IsolatedBurn result;
    int fds[2];
    if (pipe(fds) != 0) {
        result.how = "no pipe";
        return result;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        WriteAll(fds[1], Serialize(RunBurn(plan)));
        close(fds[1]);
        std::exit(0);  // through the sanitizers' exit checks
    }
    close(fds[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wallLimitSeconds);
    bool hung = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) == 0) {
            hung = true;
            break;
        }
        char buf[512];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (hung) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (hung) {
        result.ending = Ending::Hung;
        result.how = "no end within " + std::to_string(wallLimitSeconds) + " s";
    } else if (WIFSIGNALED(status)) {
        result.how = std::string("signal ") + strsignal(WTERMSIG(status));
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.how = "exit status " + std::to_string(WEXITSTATUS(status));
    } else if (!Deserialize(text, result.report)) {
        result.how = "no report";
    } else {
        result.ending = Ending::Finished;
    }
    return result;
}

}  // namespace norvane::soak
