// One PLC as a person follows it: a row of the several-PLC table, the detail of
// the single-PLC status line, and a station's socket. It takes the burn's events
// and says in a few words what the PLC is doing, what it waits for and, once the
// burn is over, how it ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "line/burn_event.h"
#include "ui/cli/status_line.h"

namespace norvane::cli {

class PlcRow {
  public:
    using Clock = std::chrono::steady_clock;

    enum class State : std::uint8_t {
        Empty,        // no PLC (a station's socket)
        Working,      // a phase, its percent and the counters
        Waiting,      // for a person, the PLC's restart or its return after the replug
        Done,         // the burn succeeded
        Failed,       // the burn ended with an ERROR: take the PLC out
        Interrupted,  // the burn was interrupted
        Attention,    // a station's socket: take the unit out, it comes and goes, or is busy
    };

    // Follows one event of the burn, which arrived at `now`.
    void Apply(const line::BurnEvent& event, Clock::time_point now);

    State state() const { return state_; }
    const StatusValues& values() const { return values_; }
    // The final message after its caption, once the burn is over.
    const std::string& ended() const { return ended_; }
    bool Over() const {
        return state_ == State::Done || state_ == State::Failed || state_ == State::Interrupted;
    }

    // What the PLC does: the phase, percent, counters, seconds and the time left
    // in the transfer; what it waits for; or how the burn ended. In `columns`
    // (0: any), the seconds give way first, then the counters.
    std::string Text(Clock::time_point now, std::size_t columns) const;
    // Only what the status line does not show itself: the wait, or the time left.
    std::string Detail(Clock::time_point now) const;

  private:
    void Values(std::int32_t phase, std::int32_t percent, std::int32_t errors,
                std::int32_t errorsTotal, std::int64_t seconds, Clock::time_point now);
    void Ended(std::string text, int exitStatus);
    std::optional<std::int64_t> SecondsLeft(Clock::time_point now) const;
    std::string WaitText(Clock::time_point now) const;

    State state_ = State::Working;
    StatusValues values_{};
    std::string ended_;
    std::string note_;    // a station's word on its socket
    std::string before_;  // what a station's unit had before this burn, where known
    line::WaitFor waitFor_ = line::WaitFor::Restart;
    std::optional<std::int64_t> waitLeft_;  // seconds left when the wait was told
    Clock::time_point waitSince_{};
    // The transfer's start and its last percent, for the time it has left.
    std::optional<Clock::time_point> programmingSince_;
    Clock::time_point lastPercentAt_{};
};

// "1:05 left" for 65 seconds.
std::string TimeLeft(std::int64_t seconds);

}  // namespace norvane::cli
