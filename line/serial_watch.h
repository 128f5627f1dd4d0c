// A station's watch of one serial port between burns: asked at most once a
// period (one mode query, changing nothing, beside the station's loop, so that
// a silent port holds up nothing else), called emptied after a number of
// unanswered asks in a row.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "line/station_world.h"

namespace norvane::line {

class SerialWatch {
  public:
    using Clock = StationWorld::Clock;
    struct Outcome {
        bool answered;  // a PLC answered; else `silentAsks` asks in a row went unanswered
        bool first;     // the first ask of this watch: the PLC was there before the station
    };

    // Starts an ask when a period has passed since the last one ended and none
    // is under way; gives the outcome of an ask that has ended, when it says the
    // port holds a PLC or is empty, nothing when it is not yet known.
    std::optional<Outcome> Poll(StationWorld& world, const std::string& port, Clock::time_point now,
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
    bool asking_ = false;
    Clock::time_point next_{};
    int asked_ = 0;
    int silent_ = 0;
};

}  // namespace norvane::line
