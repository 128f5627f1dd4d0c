#include "isolated_burn.h"

#include <unistd.h>

#include <cstring>
#include <sstream>

#include "child_process.h"

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
    test::ChildProcess burn([&plan] {
        WriteAll(STDOUT_FILENO, Serialize(RunBurn(plan)));
        return 0;
    });
    if (!burn.Started()) {
        result.how = "no child process";
        return result;
    }
    const int status = burn.WaitExit(wallLimitSeconds * 1000);
    if (burn.TimedOut()) {
        result.ending = Ending::Hung;
        result.how = "no end within " + std::to_string(wallLimitSeconds) + " s";
    } else if (burn.EndingSignal() != 0) {
        result.how = std::string("signal ") + strsignal(burn.EndingSignal());
    } else if (status != 0) {
        result.how = "exit status " + std::to_string(status);
    } else if (!Deserialize(burn.Screen(), result.report)) {
        result.how = "no report";
    } else {
        result.ending = Ending::Finished;
    }
    return result;
}

}  // namespace norvane::soak
