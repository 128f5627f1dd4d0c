// Events leave a burn through this queue. Putting one never waits for the
// output: a reader that stops reading (a paused pipe, a stalled parent) holds up
// only the pump's own thread, never an exchange, so the bytes on the wire and
// their timing are those of a burn with no output. The pump's thread is the only
// one that calls the view, which also gets its Tick about ten times a second.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "ui/cli/event_views.h"
#include "ui/cli/json_object.h"

namespace norvane::cli {

class EventPump {
  public:
    explicit EventPump(EventView& view);
    ~EventPump();  // shows what was put, then stops
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;

    void Put(JsonObject event);
    // Waits until everything put so far has been shown; false when `limit`
    // passed first (a reader that does not read).
    bool Drain(std::chrono::milliseconds limit = std::chrono::hours(24 * 365));

  private:
    void Run();

    EventView& view_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<JsonObject, EventView::Clock::time_point>> queue_;
    std::uint64_t put_ = 0;
    std::uint64_t shown_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace norvane::cli
