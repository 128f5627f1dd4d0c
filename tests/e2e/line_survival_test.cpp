// A burn is never stopped by what happens to its output: a reader that went away,
// a reader that stops reading, a terminal that hangs up. Each during the erase and
// during the transfer, for one PLC and for several: every PLC ends holding the
// image and every burn has its record line. A hang-up before anything changed
// the PLC ends the burn as interrupted instead, and changes nothing.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "burn_output.h"
#include "child_process.h"
#include "served_pv.h"

namespace norvane::test {
namespace {

enum class Trouble { ReaderGone, ReaderStalls, HangUp };

struct Case {
    const char* name;
    Trouble trouble;
    const char* phase;  // what the output shows when the trouble comes
    int plcs;
};

// The erase and the transfer last a second or two each, so that the trouble
// comes in the middle of them.
plcsim::PlcConfig Slow() {
    plcsim::PlcConfig config;
    config.eraseTimeMs = 800;
    config.flashWriteTimeMs = 25;
    return config;
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class LineSurvival : public ::testing::TestWithParam<Case> {};

TEST_P(LineSurvival, EveryBurnEndsWithTheImageAndItsRecordLine) {
    const Case& c = GetParam();
    std::vector<std::unique_ptr<ServedPv>> plcs;
    std::vector<std::string> argv{kPvTool, "--placeholder", "--yes"};
    for (int i = 0; i < c.plcs; ++i) {
        plcs.push_back(std::make_unique<ServedPv>(Slow()));
        argv.insert(argv.end(), {"--port", plcs.back()->Port()});
    }
    const TempFile record("survival");
    argv.insert(argv.end(), {"--record", record.path()});
    const bool hangUp = c.trouble == Trouble::HangUp;
    if (!hangUp) {
        argv.push_back("--json");
    }
    ChildProcess::Setup screen;
    screen.output =
        hangUp ? ChildProcess::Setup::Output::Terminal : ChildProcess::Setup::Output::Pipe;
    screen.pipeBytes = c.trouble == Trouble::ReaderStalls ? 4096 : 0;
    ChildProcess tool(argv, screen);
    ASSERT_TRUE(tool.WaitFor(c.phase, 60000)) << tool.Screen();
    if (hangUp) {
        // One PLC can be seconds behind another: the hang-up comes once every
        // row shows the phase, or a burn still before its hand-over ends as
        // interrupted, as it should.
        for (const auto& plc : plcs) {
            const std::regex row(plc->Port() + " +" + c.phase);
            for (int wait = 0; !std::regex_search(tool.Screen(), row) && wait < 600; ++wait) {
                tool.Read(100);
            }
        }
    }
    if (c.trouble != Trouble::ReaderStalls) {
        tool.Close();
    }
    // The burns end while nobody reads: their record lines say so.
    const std::vector<JsonObject> lines =
        AwaitRecord(record.path(), plcs.size(), 60, [&tool] { return tool.Running(); });
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    ASSERT_EQ(lines.size(), plcs.size());
    for (const JsonObject& line : lines) {
        EXPECT_EQ(line.Number("exit_status"), 0) << line.ToString();
        EXPECT_EQ(line.Text("written_by"), "burn");
    }
    for (auto& plc : plcs) {
        EXPECT_TRUE(plc->FlashHoldsImage());
    }
    if (c.trouble == Trouble::ReaderStalls) {
        // Once read again, nothing of what the burns said is missing.
        std::size_t ends = 0;
        for (const JsonObject& event : JsonLines(tool.Screen())) {
            ends += event.Text("event") == "end" ? 1 : 0;
        }
        EXPECT_EQ(ends, plcs.size()) << tool.Screen();
    }
}

constexpr const char* kErasing = "Erasing";
constexpr const char* kProgramming = "Programming";

INSTANTIATE_TEST_SUITE_P(
    Output, LineSurvival,
    ::testing::Values(Case{"ReaderGoneErasing", Trouble::ReaderGone, kErasing, 1},
                      Case{"ReaderGoneProgramming", Trouble::ReaderGone, kProgramming, 1},
                      Case{"ReaderGoneSeveral", Trouble::ReaderGone, kErasing, 2},
                      Case{"ReaderGoneSeveralProgramming", Trouble::ReaderGone, kProgramming, 2},
                      Case{"ReaderStallsErasing", Trouble::ReaderStalls, kErasing, 1},
                      Case{"ReaderStallsProgramming", Trouble::ReaderStalls, kProgramming, 1},
                      Case{"ReaderStallsSeveral", Trouble::ReaderStalls, kErasing, 2},
                      Case{"ReaderStallsSeveralProgramming", Trouble::ReaderStalls, kProgramming,
                           2},
                      Case{"HangUpErasing", Trouble::HangUp, kErasing, 1},
                      Case{"HangUpProgramming", Trouble::HangUp, kProgramming, 1},
                      Case{"HangUpSeveral", Trouble::HangUp, kErasing, 2},
                      Case{"HangUpSeveralProgramming", Trouble::HangUp, kProgramming, 2}),
    [](const ::testing::TestParamInfo<Case>& test) { return test.param.name; });

// Before the hand-over nothing has changed the PLC: a hang-up then ends the burn
// as interrupted, recorded, and the PLC is left as it was.
TEST(HangUp, BeforeAnythingChangedEndsTheBurnAsInterrupted) {
    plcsim::PlcConfig slow;
    slow.replyLatencyMs = 1000;  // seconds of reading before the hand-over, whatever the load
    ServedPv plc(slow);
    const TempFile record("hangup");
    ChildProcess tool(
        {kPvTool, "--placeholder", "--yes", "--port", plc.Port(), "--record", record.path()});
    ASSERT_TRUE(tool.WaitFor("Idle", 20000)) << tool.Screen();
    tool.Close();
    EXPECT_EQ(tool.WaitExit(20000), 130);
    const std::vector<JsonObject> lines = RecordLines(record.path());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Text("caption"), "Interrupted");
    EXPECT_EQ(lines[0].Text("message"), "nothing was erased");
    EXPECT_FALSE(lines[0].Flag("handed_over"));
    plc.Stop();
    EXPECT_EQ(plc.Requests(plcsim::Exchange::EraseRequest), 0u);
}

}  // namespace
}  // namespace norvane::test
