// A station's watch of one serial port between burns: asked at most once a
// period (one mode query, changing nothing, beside the station's loop, so that
// a silent port holds up nothing else), called emptied after a number of
// unanswered asks in a row.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "line/station_world.h"

namespace norvane::line {

// How long one ask listens for an answer: a PLC answers a mode query within a
// few tens of milliseconds, so a second of silence is an empty port.
constexpr std::uint32_t kSerialAskMs = 1000;
// Unanswered asks in a row that empty a port, asked one straight after the
// other: two seconds of silence, so that a technician's swap of one unit for the
// next is never taken for the same unit.
constexpr int kSilentAsks = 2;
// How long a port must stay empty between two units: the two asks' requests
// must both meet an empty line.
constexpr std::chrono::milliseconds kLeaveEmpty{kSilentAsks * kSerialAskMs};

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
    // `period`: the pause after an answered ask (an unanswered one is asked
    // again at once).
    std::optional<Outcome> Poll(StationWorld& world, const std::string& port, Clock::time_point now,
                                std::chrono::milliseconds period);

    // A burn has the port: the next ask comes a period after it lets the port go,
    // not the moment it ends, when the PLC may still be closing its session.
    void Rest(Clock::time_point now, std::chrono::milliseconds period) { next_ = now + period; }

    // When Poll next has something to do (an ask under way wakes the station
    // itself with its answer).
    Clock::time_point Due() const { return asking_ ? Clock::time_point::max() : next_; }

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
