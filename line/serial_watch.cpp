#include "line/serial_watch.h"

namespace norvane::line {

std::optional<SerialWatch::Outcome> SerialWatch::Poll(StationWorld& world, const std::string& port,
                                                      Clock::time_point now,
                                                      std::chrono::milliseconds period) {
    if (!asking_) {
        if (now >= next_) {
            world.Ask(port);
            asking_ = true;
        }
        return std::nullopt;
    }
    const std::optional<bool> answered = world.Answer(port);
    if (!answered) {
        return std::nullopt;
    }
    asking_ = false;
    // The asking itself took a while: the next one comes a period after it.
    next_ = world.Now() + period;
    const bool first = ++asked_ == 1;
    if (*answered) {
        silent_ = 0;
        return Outcome{true, first};
    }
    if (++silent_ >= kSilentAsks) {
        return Outcome{false, first};
    }
    // Silence is asked about again at once, so that an emptied port is told
    // after kSilentAsks listening times, not periods.
    world.Ask(port);
    asking_ = true;
    return std::nullopt;
}

}  // namespace norvane::line
