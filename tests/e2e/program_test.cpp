// The terminal program as its users meet it: its exit status, and the prompts that
// wait for Enter on a terminal unless --yes answers them. A PV build (a USB model
// that asks for a replug and waits 2 s after it) burns a PLC served on a
// pseudo-terminal by this process.
#include <gtest/gtest.h>

#include "served_pv.h"
#include "terminal_program.h"

namespace norvane::test {
namespace {

const std::string kTool = kPvTool;

TEST(Program, ExitStatusSaysHowTheRunEnded) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    ServedPv plc;
    const Case cases[] = {
        {"usage error", {"--no-such-option"}, 2, "Try 'norvane-fwupdate --help'."},
        {"prompting model without a terminal", {}, 2, "pass --yes"},
        {"ERROR message",
         {"--yes", "--port", "/nonexistent/ttyPLC"},
         1,
         "ERROR: CANNOT open USB Port!!!"},
        {"success", {"--yes", "--port", plc.Port()}, 0, kSuccess.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> argv{kTool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CapturedRun run = RunCaptured(argv, 60000);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    EXPECT_TRUE(plc.FlashHoldsImage());
}

TEST(Program, YesAnswersThePromptAtOnce) {
    ServedPv plc;
    TerminalProgram tool({kTool, "--yes", "--port", plc.Port()});
    ASSERT_TRUE(tool.Started());
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    EXPECT_NE(tool.Screen().find(kReplugPrompt + " [--yes]"), std::string::npos) << tool.Screen();
    EXPECT_NE(tool.Screen().find(kSuccess), std::string::npos) << tool.Screen();
    EXPECT_TRUE(plc.FlashHoldsImage());
}

TEST(Program, OnATerminalThePromptWaitsForEnter) {
    ServedPv plc;
    TerminalProgram tool({kTool, "--port", plc.Port()});
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(tool.WaitFor(kReplugPrompt, 30000)) << tool.Screen();
    // Longer than the model's wait after the prompt and the next pass together.
    EXPECT_FALSE(tool.WaitFor(kSuccess, 5000)) << tool.Screen();
    EXPECT_TRUE(tool.Running());
    const double enter = MonotonicSeconds();
    tool.Type("\n");
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    // The model's 2 s wait comes after the answer, not before it.
    EXPECT_GE(tool.SeenAt(kSuccess) - enter, 2.0) << tool.Screen();
    EXPECT_TRUE(plc.FlashHoldsImage());
}

}  // namespace
}  // namespace norvane::test
