#include "ui/cli/output.h"

#include "ui/cli/platform.h"

namespace norvane::cli {

bool Output::Write(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (gone_.load()) {
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), stream_) == text.size() &&
                    std::fflush(stream_) == 0;
    if (ok) {
        return true;
    }
    // Why is not worth saying: the reader went away or the terminal hung up (the
    // system's words for it differ, and on Windows mislead).
    gone_.store(true);
    std::clearerr(stream_);
    if (this != &StandardError()) {
        StandardError().Write(std::string(platform::CommandName()) + ": " + name_ +
                              " is gone: the burn goes on; its outcome is in the exit status "
                              "and the record\n");
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
