#include "ui/cli/output.h"

#include <cerrno>
#include <cstring>

#include "ui/cli/platform.h"

namespace norvane::cli {

bool Output::Write(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (gone_.load()) {
        return false;
    }
    errno = 0;
    const bool ok = std::fwrite(text.data(), 1, text.size(), stream_) == text.size() &&
                    std::fflush(stream_) == 0;
    if (ok) {
        return true;
    }
    const int error = errno;
    gone_.store(true);
    std::clearerr(stream_);
    if (this != &StandardError()) {
        StandardError().Write(std::string(platform::CommandName()) + ": " + name_ + " is gone (" +
                              (error != 0 ? std::strerror(error) : "write failed") +
                              "): the burn goes on; its outcome is in the exit status and the "
                              "record\n");
    }
    return false;
}

Output& StandardOutput() {
    static Output out(stdout, "standard output");
    return out;
}

Output& StandardError() {
    static Output err(stderr, "standard error");
    return err;
}

}  // namespace norvane::cli
