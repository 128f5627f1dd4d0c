// One socket (or serial port) of a station and what is in it: the state its row
// shows and the rules that move it, kept apart from processes and ports so that
// they can be told and tested on their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace norvane::cli {

// Arrivals in a minute that make a socket unsteady, and how long its device must
// then stay before its unit is taken.
constexpr int kUnsteadyArrivals = 5;
constexpr std::chrono::seconds kSteadyAfter{10};

class StationSocket {
  public:
    using Clock = std::chrono::steady_clock;

    enum class State : std::uint8_t {
        Empty,     // nothing in it
        Working,   // a burn runs for its unit
        TakeOut,   // its unit is done, failed, or was there before: take it out
        Unsteady,  // its device comes and goes
        Busy,      // another program burns the PLC in it
    };

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

    void Burning() { Move(State::Working, ""); }
    // The burn is over: its unit must be taken out before the next is taken.
    void Ended(const std::string& why) { Move(State::TakeOut, why); }
    void TakeOut(const std::string& why) { Move(State::TakeOut, why); }
    void HeldBy(const std::string& holder) { Move(State::Busy, holder); }

    // Counts up on every change of state, for those who tell the changes.
    std::uint64_t changes() const { return changes_; }

  private:
    void Move(State state, std::string note);

    std::string id_;
    bool serial_;
    State state_ = State::Empty;
    std::string note_;
    bool present_ = false;
    Clock::time_point presentSince_{};
    std::deque<Clock::time_point> arrivals_;
    std::uint64_t changes_ = 0;
};

// "empty", "working", "take_out", "unsteady", "busy": as the socket event says it.
const char* StateWord(StationSocket::State state);

}  // namespace norvane::cli
