// The read and write loops of the Windows links against scripted platform
// calls: full, short, early, empty and failed transfers. Real Windows hands a
// COM read back early when bytes were already buffered, and a pipe request may
// stop half-way, neither of which Wine does, so only a fake shows them.
#include "port/win32/transfer_loop.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "port/win32/com_transfer.h"
#include "port/win32/overlapped_transfer.h"
#include "tests/win32/check.h"

namespace norvane {
namespace {

struct Scripted {
    std::size_t bytes;      // moved by the time the call ends
    bool failed;            // the handle reported an error
    std::uint32_t takesMs;  // how long the platform call kept the caller
};

class FakeClock : public TransferClock {
  public:
    std::uint64_t NowMs() override { return now; }
    void Pause(std::uint32_t milliseconds) override {
        pauses.push_back(milliseconds);
        now += milliseconds;
    }
    static constexpr std::uint64_t kStartMs = 1000;
    std::uint64_t now = kStartMs;
    std::vector<std::uint32_t> pauses;
};

// The platform under both links' loops, playing a script one call after the
// other. A call ends by itself after its takesMs, or when its time-out (the COM
// port's record, the pipe's wait) runs out first, having moved its bytes either
// way; a call that takes no time returns at once (a pipe request done, or
// refused, as it starts). A call beyond the script moves nothing and never ends.
class FakePort {
  public:
    explicit FakePort(std::vector<Scripted> script) : script_(std::move(script)) {}

    // The next call, for `remaining` bytes, kept at most `limitMs`.
    Scripted Take(std::size_t remaining, std::uint32_t limitMs) {
        asked.push_back(remaining);
        call_ = next_ < script_.size() ? script_[next_++] : Scripted{0, false, 0xFFFFFFFFu};
        clock.now += std::min(call_.takesMs, limitMs);
        return call_;
    }

    BOOL Call(bool reads, std::size_t remaining, DWORD* moved, OVERLAPPED* overlapped) {
        CHECK(!running_);  // the buffer is the platform's until the request is collected
        if (overlapped == nullptr) {
            const COMMTIMEOUTS& r = applied.back();
            Take(remaining, reads ? TotalTimeoutMs(r.ReadTotalTimeoutMultiplier,
                                                   r.ReadTotalTimeoutConstant, remaining)
                                  : TotalTimeoutMs(r.WriteTotalTimeoutMultiplier,
                                                   r.WriteTotalTimeoutConstant, remaining));
            *moved = static_cast<DWORD>(call_.bytes);
            return call_.failed ? FALSE : TRUE;
        }
        Take(remaining, 0);
        ended_ = call_.takesMs == 0;
        cancelled_ = false;
        running_ = !(ended_ && call_.failed);
        error_ = ended_ ? ERROR_GEN_FAILURE : ERROR_IO_PENDING;
        return ended_ && !call_.failed ? TRUE : FALSE;
    }

    OVERLAPPED Request() { return OVERLAPPED{}; }
    DWORD LastError() { return error_; }
    bool Wait(std::uint32_t ms) {
        ended_ = call_.takesMs <= ms;
        clock.now += ended_ ? call_.takesMs : ms;
        return ended_;
    }
    void Cancel(OVERLAPPED&) { cancelled_ = true; }
    BOOL Collect(OVERLAPPED&, DWORD* moved) {
        CHECK(ended_ || cancelled_);  // collecting a running request would wait forever
        running_ = false;
        *moved = static_cast<DWORD>(call_.bytes);
        error_ = call_.failed ? ERROR_GEN_FAILURE : ERROR_OPERATION_ABORTED;
        return ended_ && !call_.failed ? TRUE : FALSE;
    }

    FakeClock clock;
    std::vector<std::size_t> asked;     // bytes each call asked for
    std::vector<COMMTIMEOUTS> applied;  // the records the COM port was handed
    bool running_ = false;

  private:
    std::vector<Scripted> script_;
    std::size_t next_ = 0;
    Scripted call_{};
    bool ended_ = false;
    bool cancelled_ = false;
    DWORD error_ = 0;
};

struct Run {
    std::size_t result;
    std::vector<std::size_t> asked;       // bytes each step asked for
    std::vector<std::uint32_t> timeouts;  // time each step was given
    std::vector<std::uint32_t> pauses;
    std::uint64_t tookMs;
};

// Runs the shared loop over `script` with steps that take what they are given.
Run RunScript(std::size_t count, std::uint32_t totalMs, const std::vector<Scripted>& script) {
    FakePort port(script);
    Run run{};
    run.result = TransferUntil(count, totalMs, port.clock,
                               [&](std::size_t, std::size_t remaining, std::uint32_t ms) {
                                   run.timeouts.push_back(ms);
                                   const Scripted s = port.Take(remaining, ms);
                                   return TransferStep{s.bytes, s.failed};
                               });
    run.asked = port.asked;
    run.pauses = port.clock.pauses;
    run.tookMs = port.clock.now - FakeClock::kStartMs;
    return run;
}

// Stands in for a FileTransfer on the fake port.
struct FakeFile {
    FakePort& port;
    bool reads;
    bool Reads() const { return reads; }
    BOOL Call(std::size_t, std::size_t remaining, DWORD* moved, OVERLAPPED* overlapped) const {
        return port.Call(reads, remaining, moved, overlapped);
    }
};

constexpr std::size_t kCount = 19;
constexpr std::uint32_t kTotalMs = 3000;

std::size_t RunCom(FakePort& port, bool reads) {
    // The direction's fields give kTotalMs for kCount bytes, the other's 1 ms.
    const COMMTIMEOUTS record = reads ? COMMTIMEOUTS{MAXDWORD, 2, kTotalMs - 2 * kCount, 0, 1}
                                      : COMMTIMEOUTS{MAXDWORD, 0, 1, 2, kTotalMs - 2 * kCount};
    const std::size_t result =
        ComTransfer(FakeFile{port, reads}, record, kCount, port.clock,
                    [&](const COMMTIMEOUTS& r) { port.applied.push_back(r); });
    // The first call runs on the record itself (a port that has it needs no
    // new one), and the port has it back at the end.
    CHECK(std::memcmp(&port.applied.front(), &record, sizeof record) == 0);
    CHECK(std::memcmp(&port.applied.back(), &record, sizeof record) == 0);
    return result;
}

std::size_t RunPipe(FakePort& port, bool reads) {
    const std::size_t result =
        OverlappedTransfer(port, FakeFile{port, reads}, kCount, kTotalMs, port.clock);
    CHECK(!port.running_);
    return result;
}

// One script comes to the same bytes in the same time on either link, in either
// direction: all bytes, or what came by the deadline, or what came before a failure.
TEST_CASE(BothLinksMoveAllBytesOrStopAtTheDeadline) {
    struct Case {
        const char* what;
        std::vector<Scripted> script;
        std::size_t result;
        std::size_t calls;
        std::uint64_t tookMs;
    };
    const Case cases[] = {
        {"full", {{19, false, 40}}, 19, 1, 40},
        {"early short returns", {{5, false, 0}, {6, false, 100}, {8, false, 400}}, 19, 3, 500},
        {"short, then silence", {{7, false, 1200}}, 7, 2, 3000},
        {"silence", {}, 0, 1, 3000},
        {"short at the deadline", {{7, false, 5000}}, 7, 1, 3000},
        {"empty at once, then the rest", {{0, false, 0}, {19, false, 0}}, 19, 2, kEmptyStepPauseMs},
        {"refused at once", {{0, true, 0}}, 0, 1, 0},
        {"failed after some bytes", {{5, false, 10}, {2, true, 10}}, 7, 2, 20},
    };
    for (const Case& c : cases) {
        for (const bool pipe : {false, true}) {
            for (const bool reads : {true, false}) {
                FakePort port(c.script);
                const std::size_t result = pipe ? RunPipe(port, reads) : RunCom(port, reads);
                const std::uint64_t took = port.clock.now - FakeClock::kStartMs;
                if (result != c.result || port.asked.size() != c.calls || took != c.tookMs) {
                    checks::Fail(__FILE__, __LINE__,
                                 std::string(c.what) + (pipe ? ", pipe " : ", COM port ") +
                                     (reads ? "read: " : "write: ") + std::to_string(result) +
                                     " bytes, " + std::to_string(port.asked.size()) + " calls, " +
                                     std::to_string(took) + " ms");
                }
            }
        }
    }
}

// A pipe wait may run out before the deadline the clock keeps (as a drain's
// wait of 0 does); the request it cancels ended in a time-out, not a failure.
TEST_CASE(ACancelledRequestKeepsItsBytesAndIsNoFailure) {
    FakePort port({{7, false, 5000}});
    OVERLAPPED overlapped = port.Request();
    const BOOL started = port.Call(true, kCount, nullptr, &overlapped);
    const TransferStep step = FinishOverlapped(port, started, overlapped, 100);
    CHECK_EQ(step.bytes, 7u);
    CHECK(!step.failed);
}

TEST_CASE(EmptyReadsBeforeTheDeadlinePauseAndAskAgain) {
    // A handle whose time-outs do nothing comes back empty at once.
    const Run run = RunScript(
        19, 50, {{0, false, 0}, {0, false, 0}, {4, false, 0}, {0, false, 0}, {15, false, 0}});
    CHECK_EQ(run.result, 19u);
    CHECK(run.pauses == (std::vector<std::uint32_t>{10, 10, 10}));
    CHECK(run.timeouts == (std::vector<std::uint32_t>{50, 40, 30, 30, 20}));
}

TEST_CASE(EmptyReadsNeverOutlastTheDeadline) {
    std::vector<Scripted> script(100, Scripted{0, false, 0});
    const Run run = RunScript(19, 100, script);
    CHECK_EQ(run.result, 0u);
    CHECK(run.tookMs >= 100 - kDeadlineSlackMs && run.tookMs <= 100);
    for (std::uint32_t pause : run.pauses) {
        CHECK_EQ(pause, kEmptyStepPauseMs);
    }
}

TEST_CASE(TimeOutFiringATickEarlyEndsTheRead) {
    // Platform timers may fire a little before the deadline the clock keeps;
    // asking again for the last milliseconds could wait far longer.
    const Run run = RunScript(19, 200, {{0, false, 190}});
    CHECK_EQ(run.result, 0u);
    CHECK_EQ(run.asked.size(), 1u);
    CHECK_EQ(run.tookMs, 190u);
}

TEST_CASE(ZeroTimeOutStillHandsOverWhatIsThere) {
    const Run run = RunScript(19, 0, {{4, false, 0}});
    CHECK_EQ(run.result, 4u);
    CHECK_EQ(run.asked.size(), 1u);
}

TEST_CASE(StepReportingMoreThanAskedIsHeldToTheCount) {
    const Run run = RunScript(8, 3000, {{5, false, 0}, {9, false, 0}});
    CHECK_EQ(run.result, 8u);
}

TEST_CASE(TotalTimeOutFollowsTheRecord) {
    CHECK_EQ(TotalTimeoutMs(0, 3000, 19), 3000u);
    CHECK_EQ(TotalTimeoutMs(2, 100, 10), 120u);
    CHECK_EQ(TotalTimeoutMs(0xFFFFFFFFu, 0xFFFFFFFFu, 1000), 0xFFFFFFFEu);
}

}  // namespace
}  // namespace norvane
