// The replug as a technician does it, on every platform: the PLC's device leaves
// its socket, then comes back, before a deadline. What "there" means, the clock
// and the pause between two looks are each platform's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace norvane {

// True once `there()` has been false and then true again before `deadline`;
// `told` (when set) hears the whole seconds left each time they change;
// `pause()` waits between two looks.
template <typename TimePoint, typename Now, typename There, typename Pause>
bool AwaitLeaveAndReturn(TimePoint deadline, Now now, There there, Pause pause,
                         const std::function<void(std::int64_t)>& told) {
    bool left = false;
    std::int64_t toldLeft = -1;
    for (TimePoint at = now(); at < deadline; at = now()) {
        const bool present = there();
        if (left && present) {
            return true;
        }
        left = left || !present;
        const auto secondsLeft =
            std::chrono::duration_cast<std::chrono::seconds>(deadline - at).count() + 1;
        if (told && secondsLeft != toldLeft) {
            toldLeft = secondsLeft;
            told(secondsLeft);
        }
        pause();
    }
    return false;
}

}  // namespace norvane
