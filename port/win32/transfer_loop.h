// The read and write contract of the Windows links, kept free of the platform.
//
// One platform read may come back early and short: a COM read returns what was
// already buffered, and the PLC's USB pipe hands over what one transfer carried.
// The link therefore keeps asking for the rest until the count is reached, the
// deadline of the time-out record has passed or the platform reports a failure,
// and gives each further request only the time that is left.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace norvane {

// What one platform read or write did.
struct TransferStep {
    std::size_t bytes;  // bytes that moved, also when the call failed
    bool failed;        // the handle reported an error: the line is gone
};

// Monotonic time in milliseconds and a pause, so that tests can run the loop
// on a clock of their own.
class TransferClock {
  public:
    virtual ~TransferClock() = default;
    virtual std::uint64_t NowMs() = 0;
    virtual void Pause(std::uint32_t milliseconds) = 0;
};

// After a platform call that moved nothing and came back well before the
// deadline, wait this long before asking again, so that a handle whose
// time-outs do nothing cannot spin the processor.
constexpr std::uint32_t kEmptyStepPauseMs = 10;
// A call that moved nothing and came back this close to the deadline has
// waited out its time-out; platform timers fire up to a tick early, and a
// further request for the last few milliseconds could wait much longer.
constexpr std::uint32_t kDeadlineSlackMs = 20;

// Moves `count` bytes with `step(offset, remaining, timeoutMs)` within
// `totalMs`; returns the number moved. The first step is always made, so a
// time-out of 0 still hands over what is already there.
template <typename Step>
std::size_t TransferUntil(std::size_t count, std::uint32_t totalMs, TransferClock& clock,
                          Step&& step) {
    const std::uint64_t deadline = clock.NowMs() + totalMs;
    std::size_t done = 0;
    std::uint32_t timeout = totalMs;
    while (done < count) {
        const TransferStep result = step(done, count - done, timeout);
        done += std::min(result.bytes, count - done);
        if (result.failed || done == count) {
            break;
        }
        std::uint64_t now = clock.NowMs();
        if (now >= deadline) {
            break;
        }
        if (result.bytes == 0) {
            if (deadline - now <= kDeadlineSlackMs) {
                break;
            }
            clock.Pause(static_cast<std::uint32_t>(
                std::min<std::uint64_t>(kEmptyStepPauseMs, deadline - now)));
            now = clock.NowMs();
            if (now >= deadline) {
                break;
            }
        }
        timeout = static_cast<std::uint32_t>(deadline - now);
    }
    return done;
}

// The total time a read or write of `count` bytes may take under a time-out
// record's multiplier and constant, held to what a 32-bit time-out can say.
inline std::uint32_t TotalTimeoutMs(std::uint32_t multiplier, std::uint32_t constant,
                                    std::size_t count) {
    const std::uint64_t total =
        static_cast<std::uint64_t>(multiplier) * count + static_cast<std::uint64_t>(constant);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFEu));
}

}  // namespace norvane
