#include "port/win32/port_release.h"

namespace norvane {

void PortRelease::Opened(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!original_) {
        DCB state{};
        state.DCBlength = sizeof state;
        if (GetCommState(handle, &state)) {
            original_ = state;
        }
    }
    open_ = handle;
}

void PortRelease::Closing(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle != open_) {
        return;
    }
    if (letGo_ && original_) {
        SetCommState(handle, &*original_);
    }
    open_ = nullptr;
}

void PortRelease::LetGo() {
    std::lock_guard<std::mutex> lock(mutex_);
    letGo_ = true;
    if (open_ != nullptr && original_) {
        SetCommState(open_, &*original_);
    }
}

}  // namespace norvane
