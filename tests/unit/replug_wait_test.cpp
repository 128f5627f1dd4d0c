// The replug answered by the PLC itself: its device must leave its socket before
// its return counts; a cable never pulled is never taken for a replug.
#include "port/replug_wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace norvane {
namespace {

TEST(ReplugWait, OnlyALeaveAndAReturnAreAReplug) {
    const struct {
        std::vector<bool> there;  // what each look sees; the last one from then on
        bool replugged;
    } cases[] = {
        {{true}, false},                     // never pulled
        {{true, false}, false},              // pulled, never back
        {{true, false, false, true}, true},  // out and back in
        {{false, true}, true},               // out when the wait began
    };
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start{};
    const Clock::time_point deadline = start + std::chrono::seconds(3);
    for (const auto& c : cases) {
        Clock::time_point now = start;
        std::size_t look = 0;
        const bool replugged = AwaitLeaveAndReturn(
            deadline, [&now] { return now; },
            [&] { return c.there[std::min(look++, c.there.size() - 1)]; },
            [&now] { now += std::chrono::milliseconds(100); }, {});
        EXPECT_EQ(replugged, c.replugged);
        EXPECT_EQ(now == deadline, !c.replugged);  // a wait that found none lasted to its end
    }
}

}  // namespace
}  // namespace norvane
