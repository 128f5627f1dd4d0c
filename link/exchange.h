// One exchange with the PLC: write a request, read a reply of a fixed length, judge
// it; repeat under the retry discipline until the reply is accepted or the sixth
// failure of either kind (a write that did not go out whole, a reply that did not
// come or was not accepted). Every failure shows at once on the status panel.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

#include "burn/catalogue.h"
#include "burn/flash_phase.h"
#include "link/link.h"

namespace norvane {

// The control bytes of the bootloader and the block transfer: STX begins every
// block, EOT closes the erase and the transfer, 0x16 answers a block the PLC could
// not write, 0x1A fills the last block's data field. The application's service
// replies use ACK and NAK as their status bytes too.
// clang-format off
enum ControlByte : std::uint8_t { kStx = 2, kEot = 4, kAck = 6, kNak = 0x15, kFlashError = 0x16, kFill = 0x1A };
// clang-format on

// What an exchange changed on the status panel, for those who follow a burn more
// closely than a panel's repaint does.
enum class PanelChange : std::uint8_t {
    Phase,          // a phase began (flashStatus and progress)
    Percent,        // progress
    Failures,       // errCounter shown again
    FailedAttempt,  // an attempt failed: errCounter and totalErrCounter as it set them
};

// The status panel's values that exchanges write; the burn hands in the ones the
// panel reads.
struct PanelCounters {
    std::atomic<std::int32_t>& flashStatus;  // kFlashIdle, kFlashErasing, kFlashProgramming
    std::atomic<std::int32_t>& progress;     // percent of the phase
    std::atomic<std::int32_t>& errCounter;   // failed attempts of the exchange in progress
    std::atomic<std::int32_t>& totalErrCounter;
    // Told at once of every change, on the burn's own thread; it must not wait.
    std::function<void(PanelChange change)> changed;

    void ShowFailures(std::int32_t n) const {
        errCounter.store(n, std::memory_order_relaxed);
        Tell(PanelChange::Failures);
    }
    void CountFailedAttempt(std::int32_t n) const {
        errCounter.store(n, std::memory_order_relaxed);
        totalErrCounter.fetch_add(1, std::memory_order_relaxed);
        Tell(PanelChange::FailedAttempt);
    }
    void ShowProgress(std::int32_t phase, std::int32_t percent) const {
        flashStatus.store(phase, std::memory_order_relaxed);
        progress.store(percent, std::memory_order_relaxed);
        Tell(PanelChange::Phase);
    }
    void ShowPercent(std::int32_t percent) const {
        progress.store(percent, std::memory_order_relaxed);
        Tell(PanelChange::Percent);
    }

  private:
    void Tell(PanelChange change) const {
        if (changed) {
            changed(change);
        }
    }
};

// What every exchange works on: the open link, the selected model and the panel.
struct ExchangeContext {
    Link& link;
    const PlcModel& model;
    const PanelCounters& panel;
};

// How each exchange ends, by layer.
enum class AppResult : std::uint8_t {
    Ok,
    InApplication,     // the mode query: the PLC runs its application firmware
    InBootloader,      // the mode query: the PLC runs its bootloader
    RefusedCode1,      // a NAK of class 2 with a code the exchange maps
    RefusedCode2,      //
    RefusedCode3,      //
    RefusedCode4,      //
    RefusedOtherCode,  // a NAK of class 2 with a code the exchange does not map
    RunMode,           // a NAK of class 1 to the mode query
    UnknownNakClass,
    NoResponse,  // the last reply read was no NAK (or none came)
};

enum class BootResult : std::uint8_t {
    Ok,
    NotAcknowledged,  // attempts exhausted, or an image shorter than the reserved tail
    FlashWriteError,  // a block refused with 0x16
};

// What a judge says of one attempt's reply.
enum class Judgement {
    Accept,
    Retry,            // a reply failure: the request goes again
    RetryAfterWrite,  // the reply was good but a write that follows it failed
    Stop,             // end now, with no failure counted
};

enum class AttemptsEnd { Accepted, Exhausted, Stopped };

constexpr int kFailureLimit = 6;

// Runs the attempts of one exchange. Each attempt drops what waits on the line
// (bytes ahead of the reply would shift it), writes the request, shows the reply
// failures so far, clears `reply` and reads `replyLength` bytes into it, and asks
// `judge(received)`. It ends at the `limit`-th failure of either kind.
template <typename Judge>
AttemptsEnd RunAttempts(const ExchangeContext& x, const void* request, std::size_t length,
                        std::uint8_t* reply, std::size_t replyLength, Judge&& judge,
                        int limit = kFailureLimit) {
    int writeFailures = 0;
    int replyFailures = 0;
    auto failed = [&x](int& count) { x.panel.CountFailedAttempt(++count); };
    while (writeFailures < limit && replyFailures < limit) {
        x.link.DiscardInput();
        if (x.link.Write(static_cast<const std::uint8_t*>(request), length) != length) {
            failed(writeFailures);
            continue;
        }
        x.panel.ShowFailures(replyFailures);
        std::memset(reply, 0, replyLength);
        switch (judge(x.link.Read(reply, replyLength))) {
            case Judgement::Accept:
                return AttemptsEnd::Accepted;
            case Judgement::Stop:
                return AttemptsEnd::Stopped;
            case Judgement::RetryAfterWrite:
                failed(writeFailures);
                break;
            case Judgement::Retry:
                failed(replyFailures);
                break;
        }
    }
    return AttemptsEnd::Exhausted;
}

}  // namespace norvane
