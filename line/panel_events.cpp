#include "line/panel_events.h"

namespace norvane::line {

namespace {

bool operator==(const PanelValues& a, const PanelValues& b) {
    return a.elapsedTime == b.elapsedTime && a.progress == b.progress &&
           a.flashStatus == b.flashStatus && a.errCounter == b.errCounter &&
           a.totalErrCounter == b.totalErrCounter;
}

}  // namespace

void PanelEvents::ProgressLocked(const PanelValues& v) {
    if (!last_ || !(*last_ == v)) {
        last_ = v;
        sink_(BurnEvent{port_, ProgressFields{v.flashStatus, v.progress, v.errCounter,
                                              v.totalErrCounter, v.elapsedTime}});
    }
}

void PanelEvents::Changed(PanelChange change) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return;
    }
    const PanelValues v = read_();
    if (change == PanelChange::Phase) {
        sink_(BurnEvent{port_, PhaseFields{v.flashStatus, v.elapsedTime}});
    } else if (change == PanelChange::FailedAttempt) {
        sink_(BurnEvent{port_, RetryFields{v.errCounter, v.totalErrCounter, v.elapsedTime}});
    }
    ProgressLocked(v);
}

void PanelEvents::Tick() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) {
        ProgressLocked(read_());
    }
}

void PanelEvents::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

}  // namespace norvane::line
