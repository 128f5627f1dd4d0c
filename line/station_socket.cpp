#include "line/station_socket.h"

#include <utility>

#include "line/serial_watch.h"

namespace norvane::line {

void StationSocket::Move(State state, std::string note) {
    // A serial port cannot tell one unit from the next: only a silence between
    // them does, and the technician must know how long it must last.
    if (serial_ && state == State::TakeOut) {
        note +=
            "; leave the port empty " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kLeaveEmpty).count()) +
            " s before the next";
    }
    if (state != State::TakeOut) {
        pulled_.clear();
    }
    if (state != state_ || note != note_) {
        ++changes_;
    }
    state_ = state;
    note_ = std::move(note);
}

bool StationSocket::Seen(bool present, Clock::time_point now) {
    const bool arrived = present && !present_;
    if (arrived) {
        presentSince_ = now;
        if (state_ != State::Working) {  // the burn's own replug is no arrival
            arrivals_.push_back(now);
        }
    }
    present_ = present;
    while (!arrivals_.empty() && now - arrivals_.front() > std::chrono::minutes(1)) {
        arrivals_.pop_front();
    }
    switch (state_) {
        // The burn's own replug comes and goes; a missing port or one another
        // station watches is moved on by the station alone.
        case State::Working:
        case State::Missing:
        case State::OtherStation:
            return false;
        case State::TakeOut:
        case State::Busy:
            if (!present) {
                Move(State::Empty, std::exchange(pulled_, ""));
            }
            return false;
        case State::Unsteady:
            if (!present && static_cast<int>(arrivals_.size()) < kUnsteadyArrivals) {
                Move(State::Empty, "");
            } else if (present && now - presentSince_ >= kSteadyAfter) {
                return true;
            }
            return false;
        case State::Empty:
            break;
    }
    if (!arrived) {
        return false;
    }
    if (static_cast<int>(arrivals_.size()) >= kUnsteadyArrivals) {
        Move(State::Unsteady, "it comes and goes: check the cable and the socket");
        return false;
    }
    return true;
}

}  // namespace norvane::line
