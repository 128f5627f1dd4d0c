// The events a burn's panel makes for a script: one retry for every failed
// attempt, with the counters as that attempt set them, and one progress for every
// change, whatever the PLC does wrong.
#include "line/panel_events.h"

#include <gtest/gtest.h>

#include "burn/burn_context.h"
#include "burn_rig.h"

namespace norvane::test {
namespace {

using line::BurnEvent;
using line::EventKind;
using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;
using plcsim::PlcConfig;

struct Case {
    const char* what;
    const char* model;
    std::uint32_t imageSize;
    std::function<void(PlcConfig&)> tweak;
    int failedAttempts;  // -1: whatever the noise makes
};

line::PanelValues Panel() {
    return {elapsedTime.load(), progress.load(), flashStatus.load(), errCounter.load(),
            totalErrCounter.load()};
}

TEST(PanelEvents, OneRetryPerFailedAttemptAndOneProgressPerChange) {
    const Case cases[] = {
        {"a clean burn", "NT4", 20000, {}, 0},
        {"a PLC of another type", "NT4", 20000, [](PlcConfig& c) { c.appTypeId = 0x1234; }, 6},
        {"a PLC in run mode", "NT4", 20000, [](PlcConfig& c) { c.runMode = true; }, 6},
        {"lost acknowledgements", "NT4", 20000,
         [](PlcConfig& c) {
             c.faults.Add(Fault::At(Exchange::Block, 3, FaultKind::LostAck).Times(2));
         },
         2},
        {"refused blocks", "NT4", 20000,
         [](PlcConfig& c) { c.faults.Add(Fault::At(Exchange::Block, 5, FaultKind::Nak).Times(3)); },
         3},
        {"a block the flash could not take", "NT4", 20000,
         [](PlcConfig& c) {
             c.faults.Add(Fault::At(Exchange::Block, 4, FaultKind::FlashWriteError));
         },
         0},
        {"a sector model's refused erase", "QB7", 8192,
         [](PlcConfig& c) { c.faults.Add(Fault::At(Exchange::BootErase, 1, FaultKind::Nak)); }, 1},
        {"a noisy line", "NT4", 20000, [](PlcConfig& c) { c.noiseSeed = 7; }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BurnRig rig(c.model, c.imageSize, c.tweak);
        std::vector<BurnEvent> events;
        line::PanelEvents panel(
            "COM3", [&events](BurnEvent e) { events.push_back(std::move(e)); }, Panel);
        ListenToPanel([&panel](PanelChange change) { panel.Changed(change); });
        rig.Run();
        ListenToPanel({});

        std::int64_t retries = 0;
        std::optional<line::ProgressFields> last;
        std::vector<std::int64_t> programming;
        for (const BurnEvent& e : events) {
            if (e.kind() == EventKind::Retry) {
                EXPECT_EQ(e.Get<line::RetryFields>().errorsTotal, ++retries);
                EXPECT_GE(e.Get<line::RetryFields>().errors, 1);
            } else if (e.kind() == EventKind::Progress) {
                const auto& p = e.Get<line::ProgressFields>();
                EXPECT_FALSE(last && last->phase == p.phase && last->percent == p.percent &&
                             last->errors == p.errors && last->errorsTotal == p.errorsTotal &&
                             last->seconds == p.seconds)
                    << "no change";
                last = p;
                if (p.phase == kFlashProgramming &&
                    (programming.empty() || programming.back() != p.percent)) {
                    programming.push_back(p.percent);
                }
            }
        }
        EXPECT_EQ(retries, rig.Final().failedAttempts);
        if (c.failedAttempts >= 0) {
            EXPECT_EQ(retries, c.failedAttempts);
        }
        if (rig.outcome == BurnOutcome::Success) {
            // Every percent the transfer passes: NT4 sends 157 blocks of 128 bytes.
            std::vector<std::int64_t> expected{0};
            for (std::int64_t block = 1; block <= 157; ++block) {
                if (block * 100 / 158 != expected.back()) {
                    expected.push_back(block * 100 / 158);
                }
            }
            expected.push_back(100);
            EXPECT_EQ(programming, expected);
        }
    }
}

}  // namespace
}  // namespace norvane::test
