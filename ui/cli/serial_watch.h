// A station's watch of one serial port between burns: one mode query in the
// served model's frame at 9600 7E1, at most once a period, changing nothing; the
// port is closed again at once, so that the burn can open it. The asking runs
// beside the station's loop: a silent port holds its own watch for the query's
// timeout, never the other sockets, a stop or the next look.
#pragma once

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <string>

namespace norvane::cli {

class SerialWatch {
  public:
    using Clock = std::chrono::steady_clock;
    struct Outcome {
        bool answered;  // a PLC answered; else `silentAsks` asks in a row went unanswered
        bool first;     // the first ask of this watch: the PLC was there before the station
    };

    SerialWatch() = default;
    SerialWatch(const SerialWatch&) = delete;
    SerialWatch& operator=(const SerialWatch&) = delete;
    // An ask under way is waited for: it holds the port.
    ~SerialWatch() = default;

    // Starts an ask when a period has passed since the last one ended and none
    // is under way; gives the outcome of an ask that has ended, when it says the
    // port holds a PLC or is empty, nothing when it is not yet known. The port is
    // closed whenever this returns an outcome.
    std::optional<Outcome> Poll(const std::string& port, Clock::time_point now,
                                std::chrono::seconds period, int silentAsks);

    // A burn has the port: the next ask comes a period after it lets the port go,
    // not the moment it ends, when the PLC may still be closing its session.
    void Rest(Clock::time_point now, std::chrono::seconds period) { next_ = now + period; }

    // The first ask has ended: what was on the port when the station began is known.
    bool Asked() const { return asked_ > 0; }
    // The port was not there: a PLC that answers once it is has arrived, never
    // been there before the station.
    void Missing() { asked_ = std::max(asked_, 1); }

  private:
    std::future<bool> asking_;
    Clock::time_point next_{};
    int asked_ = 0;
    int silent_ = 0;
};

}  // namespace norvane::cli
