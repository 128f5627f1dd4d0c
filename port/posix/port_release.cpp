#include "port/posix/port_release.h"

namespace norvane::posix {

void PortRelease::Opened(int fd, const termios& before) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!original_) {
        original_ = before;
    }
    open_ = fd;
}

void PortRelease::Closing(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd != open_) {
        return;
    }
    if (letGo_ && original_) {
        (void)::tcsetattr(fd, TCSANOW, &*original_);
    }
    open_ = -1;
}

void PortRelease::LetGo() {
    std::lock_guard<std::mutex> lock(mutex_);
    letGo_ = true;
    if (open_ >= 0 && original_) {
        (void)::tcsetattr(open_, TCSANOW, &*original_);
    }
}

}  // namespace norvane::posix
