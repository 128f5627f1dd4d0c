// The status panel's changes as events, as they happen: a phase as it starts, a
// retry for every failed attempt, a progress at every change of the panel's
// values. The burn's thread tells the changes, the session's timer the seconds;
// once closed (the burn's final message is out), neither makes more.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "line/burn_event.h"
#include "link/exchange.h"

namespace norvane::line {

// What the window's status panel shows.
struct PanelValues {
    std::int32_t elapsedTime;
    std::int32_t progress;
    std::int32_t flashStatus;
    std::int32_t errCounter;
    std::int32_t totalErrCounter;
};

class PanelEvents {
  public:
    using Sink = std::function<void(BurnEvent event)>;
    using Read = std::function<PanelValues()>;

    PanelEvents(std::string port, Sink sink, Read read)
        : port_(std::move(port)), sink_(std::move(sink)), read_(std::move(read)) {}

    void Changed(PanelChange change);
    void Tick();
    void Close();

  private:
    void ProgressLocked(const PanelValues& values);

    std::string port_;
    Sink sink_;
    Read read_;
    std::mutex mutex_;
    bool closed_ = false;
    std::optional<PanelValues> last_;
};

}  // namespace norvane::line
