// The read loop of the Windows links against scripted platform calls: full,
// short, empty and failed reads. Real Windows hands a COM read back early when
// bytes were already buffered, which Wine never does, so only a fake shows it.
#include "port/win32/transfer_loop.h"

#include <cstdint>
#include <vector>

#include "tests/win32/check.h"

namespace norvane {
namespace {

struct Scripted {
    std::size_t bytes;
    bool failed;
    std::uint32_t takesMs;  // how long the platform call kept the caller
};

class FakeClock : public TransferClock {
  public:
    std::uint64_t NowMs() override { return now; }
    void Pause(std::uint32_t milliseconds) override {
        pauses.push_back(milliseconds);
        now += milliseconds;
    }
    std::uint64_t now = 1000;
    std::vector<std::uint32_t> pauses;
};

struct Run {
    std::size_t result;
    std::vector<std::size_t> asked;       // bytes each step asked for
    std::vector<std::uint32_t> timeouts;  // time each step was given
    std::vector<std::uint32_t> pauses;
    std::uint64_t tookMs;
};

// Runs the loop over `script`; a step beyond the script moves nothing and
// takes the whole time it was given, as a silent line does.
Run RunScript(std::size_t count, std::uint32_t totalMs, const std::vector<Scripted>& script) {
    FakeClock clock;
    Run run{};
    const std::uint64_t start = clock.now;
    std::size_t next = 0;
    run.result = TransferUntil(count, totalMs, clock,
                               [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
                                   (void)offset;
                                   run.asked.push_back(remaining);
                                   run.timeouts.push_back(ms);
                                   if (next < script.size()) {
                                       const Scripted& s = script[next++];
                                       clock.now += s.takesMs;
                                       return TransferStep{s.bytes, s.failed};
                                   }
                                   clock.now += ms;
                                   return TransferStep{0, false};
                               });
    run.pauses = clock.pauses;
    run.tookMs = clock.now - start;
    return run;
}

TEST_CASE(FullReadReturnsAtOnce) {
    const Run run = RunScript(19, 3000, {{19, false, 40}});
    CHECK_EQ(run.result, 19u);
    CHECK_EQ(run.asked.size(), 1u);
    CHECK_EQ(run.timeouts[0], 3000u);
}

TEST_CASE(ShortReadsAreCompletedWithinTheDeadline) {
    // 5 bytes were buffered, then 6, then the last 8.
    const Run run = RunScript(19, 3000, {{5, false, 0}, {6, false, 100}, {8, false, 400}});
    CHECK_EQ(run.result, 19u);
    CHECK(run.asked == (std::vector<std::size_t>{19, 14, 8}));
    // Each further request may only wait for what is left of the 3 s.
    CHECK(run.timeouts == (std::vector<std::uint32_t>{3000, 3000, 2900}));
    CHECK(run.pauses.empty());
}

TEST_CASE(ShortReadThenSilenceEndsAtTheDeadline) {
    const Run run = RunScript(19, 3000, {{7, false, 1200}});
    CHECK_EQ(run.result, 7u);
    CHECK_EQ(run.tookMs, 3000u);
    CHECK_EQ(run.timeouts.size(), 2u);
    CHECK_EQ(run.timeouts[1], 1800u);
}

TEST_CASE(SilentLineTakesTheWholeTimeOutOnce) {
    const Run run = RunScript(19, 200, {});
    CHECK_EQ(run.result, 0u);
    CHECK_EQ(run.asked.size(), 1u);
    CHECK_EQ(run.tookMs, 200u);
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

TEST_CASE(FailedReadStopsAndKeepsWhatCame) {
    struct Case {
        std::vector<Scripted> script;
        std::size_t result;
        std::size_t steps;
    };
    const Case cases[] = {
        {{{0, true, 0}}, 0, 1},
        {{{3, true, 0}}, 3, 1},
        {{{5, false, 10}, {2, true, 10}}, 7, 2},
    };
    for (const Case& c : cases) {
        const Run run = RunScript(19, 3000, c.script);
        CHECK_EQ(run.result, c.result);
        CHECK_EQ(run.asked.size(), c.steps);
    }
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
