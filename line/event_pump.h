// Events leave a burn through this queue. Putting one never waits for the
// output: a reader that stops reading (a paused pipe, a stalled parent) holds up
// only the pump's own thread, never an exchange, so the bytes on the wire and
// their timing are those of a burn with no output. The pump's thread is the only
// one that calls the view, which also gets its Tick about ten times a second
// while it asks for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "line/burn_event.h"

namespace norvane::line {

// A face of the line: what shows its events to a person or a program (a status
// line, rows, JSON lines, a web page). Called from the pump's thread only.
class EventView {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~EventView() = default;
    // `at`: when the event happened, which may be a while before it is shown.
    virtual void Show(const BurnEvent& event, Clock::time_point at) = 0;
    // Called about ten times a second while Ticking, for views that redraw at
    // their own pace; a view that does not leaves the pump asleep until the
    // next event.
    virtual void Tick() {}
    virtual bool Ticking() const { return false; }
    // The run is over: a view that sums it up does so now.
    virtual void Close() {}
};

// Where events go: the pump, or a test's list of them.
class EventSink {
  public:
    virtual ~EventSink() = default;
    virtual void Put(BurnEvent event) = 0;
};

class EventPump : public EventSink {
  public:
    explicit EventPump(EventView& view);
    ~EventPump() override;  // shows what was put, then stops
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;

    void Put(BurnEvent event) override;
    // Waits until everything put so far has been shown; false when `limit`
    // passed first (a reader that does not read).
    bool Drain(std::chrono::milliseconds limit = std::chrono::hours(24 * 365));

  private:
    void Run();

    EventView& view_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<BurnEvent, EventView::Clock::time_point>> queue_;
    std::uint64_t put_ = 0;
    std::uint64_t shown_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace norvane::line
