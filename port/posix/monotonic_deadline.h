// A point in time on the monotonic clock by which a read or write must be over.
// Wall-clock changes (NTP steps, the user setting the date) never stretch or cut
// a time-out.
#pragma once

#include <chrono>
#include <climits>
#include <cstdint>

namespace norvane::posix {

class MonotonicDeadline {
  public:
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC on Linux

    explicit MonotonicDeadline(std::uint32_t milliseconds)
        : end_(Clock::now() + std::chrono::milliseconds(milliseconds)) {}

    bool Passed() const { return Clock::now() >= end_; }

    // The time left as a poll() time-out: rounded up, so that a poll never wakes
    // just before the deadline and turns into a busy loop; 0 once it has passed.
    int RemainingPollMs() const {
        const auto left = end_ - Clock::now();
        if (left <= Clock::duration::zero()) {
            return 0;
        }
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    }

  private:
    Clock::time_point end_;
};

}  // namespace norvane::posix
