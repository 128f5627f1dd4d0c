// One socket (or serial port) of a station and what is in it: the state its row
// shows and the rules that move it, kept apart from processes and ports so that
// they can be told and tested on their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "line/burn_event.h"

namespace norvane::line {

// Arrivals in a minute that make a socket unsteady, and how long its device must
// then stay before its unit is taken.
constexpr int kUnsteadyArrivals = 5;
constexpr std::chrono::seconds kSteadyAfter{10};

class StationSocket {
  public:
    using Clock = std::chrono::steady_clock;

    using State = SocketState;

    explicit StationSocket(std::string id, bool serial = false)
        : id_(std::move(id)), serial_(serial) {}

    const std::string& id() const { return id_; }
    bool serial() const { return serial_; }
    State state() const { return state_; }
    // Why it must be emptied, or who holds it.
    const std::string& note() const { return note_; }

    // What is in the socket now. True when a unit has just arrived to be burnt:
    // the socket was empty (and the device stays, when it comes and goes).
    bool Seen(bool present, Clock::time_point now);

    // `before`: what the unit had, where the record knows it.
    void Burning(const std::string& before = "") { Move(State::Working, before); }
    // The burn is over: its unit must be taken out before the next is taken.
    void Ended(const std::string& why) { Move(State::TakeOut, why); }
    // The unit left while its burn ran: what its row says stays when the socket
    // is seen empty, until the next unit arrives, or the failure is never seen.
    void Pulled(const std::string& why) {
        Move(State::TakeOut, why);
        pulled_ = why;
    }
    void TakeOut(const std::string& why) { Move(State::TakeOut, why); }
    void HeldBy(const std::string& holder) { Move(State::Busy, holder); }
    // Neither is ever taken until the station moves it on: a port that has
    // appeared is empty, a socket given up by the other station is looked at
    // as at the station's start.
    void Missing(const std::string& why) { Move(State::Missing, why); }
    void WatchedElsewhere(const std::string& station) { Move(State::OtherStation, station); }
    void Emptied(const std::string& note = "") { Move(State::Empty, note); }

    // Counts up on every change of state, for those who tell the changes.
    std::uint64_t changes() const { return changes_; }

  private:
    void Move(State state, std::string note);

    std::string id_;
    bool serial_;
    State state_ = State::Empty;
    std::string note_;
    bool present_ = false;
    std::string pulled_;
    Clock::time_point presentSince_{};
    std::deque<Clock::time_point> arrivals_;
    std::uint64_t changes_ = 0;
};

}  // namespace norvane::line
