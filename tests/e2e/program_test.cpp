// The terminal program as its users meet it: its exit status, and the prompts that
// wait for Enter on a terminal unless --yes answers them. A PV build (a USB model
// that asks for a replug and waits 2 s after it) burns a PLC served on a
// pseudo-terminal by this process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "burn_output.h"
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
    const std::string link = ::testing::TempDir() + "plc-link" + std::to_string(getpid());
    std::remove(link.c_str());
    ASSERT_EQ(symlink(plc.Port().c_str(), link.c_str()), 0);
    const Case cases[] = {
        {"usage error", {"--no-such-option"}, 2, "Try 'norvane-fwupdate --help'."},
        {"an option for a value", {"--port", "--yes"}, 2, "--port needs a port name"},
        {"prompting model without a terminal", {}, 2, "pass --yes"},
        {"one PLC under two names",
         {"--yes", "--port", plc.Port(), "--port", link},
         2,
         "are the same PLC"},
        {"the window's name of the PLC's USB port",
         {"--yes", "--port", "USB"},
         1,
         "no PLC found on USB"},
        {"ERROR message",
         {"--yes", "--port", "/nonexistent/ttyPLC"},
         1,
         "ERROR: CANNOT open USB Port!!!"},
        {"success", {"--yes", "--port", plc.Port()}, 0, kSuccess.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> argv{kTool, "--placeholder"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CapturedRun run = RunCaptured(argv, 60000);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    EXPECT_TRUE(plc.FlashHoldsImage());
    std::remove(link.c_str());
}

TEST(Program, YesAnswersThePromptAtOnce) {
    ServedPv plc;
    TerminalProgram tool({kTool, "--placeholder", "--yes", "--port", plc.Port()});
    ASSERT_TRUE(tool.Started());
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    EXPECT_NE(tool.Screen().find(kReplugPrompt + " [--yes]"), std::string::npos) << tool.Screen();
    EXPECT_NE(tool.Screen().find(kSuccess), std::string::npos) << tool.Screen();
    EXPECT_TRUE(plc.FlashHoldsImage());
}

TEST(Program, OnATerminalThePromptWaitsForEnter) {
    ServedPv plc;
    TerminalProgram tool({kTool, "--placeholder", "--port", plc.Port()});
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

// The terminal the program runs on is no PLC's port, whatever it is called: it is
// refused before anything is written to it.
TEST(Program, ItsOwnTerminalIsNoPort) {
    TerminalProgram tool({kTool, "--placeholder", "--yes", "--port", "/dev/tty"});
    EXPECT_EQ(tool.WaitExit(10000), 2) << tool.Screen();
    EXPECT_NE(tool.Screen().find("is the terminal this program runs on"), std::string::npos)
        << tool.Screen();
}

// Once the PLC acknowledged the hand-over it waits in its bootloader, and an
// interrupted burn says so, though nothing was erased.
TEST(Program, CtrlCAtTheReplugPromptSaysThePlcWaitsInItsBootloader) {
    ServedPv plc;
    const TempFile record("prompt");
    TerminalProgram tool({kTool, "--placeholder", "--port", plc.Port(), "--record", record.path()});
    ASSERT_TRUE(tool.WaitFor(kReplugPrompt, 30000)) << tool.Screen();
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.WaitExit(10000), 130) << tool.Screen();
    EXPECT_NE(tool.Screen().find("waits in its bootloader and must be burned"), std::string::npos)
        << tool.Screen();
    const std::vector<cli::JsonObject> lines = RecordLines(record.path());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].Flag("handed_over"));
    EXPECT_FALSE(lines[0].Flag("erase_begun"));
}

// A PLC is burnt by one program at a time, from the first open to the end of the
// burn: a second program that comes while the first waits for the replug (its
// port closed) is refused at once, told who holds the PLC.
TEST(Program, ASecondProgramIsRefusedWhileTheFirstBurns) {
    ServedPv plc;
    TerminalProgram first({kTool, "--placeholder", "--yes", "--json", "--port", plc.Port()});
    ASSERT_TRUE(first.WaitFor("\"event\": \"wait\"", 30000)) << first.Screen();
    const double start = MonotonicSeconds();
    const CapturedRun second =
        RunCaptured({kTool, "--placeholder", "--yes", "--port", plc.Port()}, 30000);
    EXPECT_LT(MonotonicSeconds() - start, 5.0);
    EXPECT_EQ(second.exitStatus, 1) << second.output;
    EXPECT_NE(second.output.find("another program is burning this PLC (held by " + kTool +
                                 " --placeholder --yes --json --port " + plc.Port() + ", pid " +
                                 std::to_string(first.Pid()) + ")"),
              std::string::npos)
        << second.output;
    EXPECT_EQ(first.WaitExit(60000), 0) << first.Screen();
    EXPECT_TRUE(plc.FlashHoldsImage());
}

// Rows and the status line fit the terminal, say what the PLC waits for and,
// during the transfer, the time it has left; the table ends with a count.
TEST(Program, TheLiveOutputFitsTheTerminal) {
    for (const int columns : {80, 60}) {
        SCOPED_TRACE(columns);
        plcsim::PlcConfig slow;
        slow.flashWriteTimeMs = 60;
        ServedPv a(slow);
        ServedPv b(slow);
        TerminalProgram::Setup setup;
        setup.columns = columns;
        TerminalProgram several(
            {kTool, "--placeholder", "--yes", "--port", a.Port(), "--port", b.Port()}, setup);
        ServedPv c(slow);
        TerminalProgram one({kTool, "--placeholder", "--yes", "--port", c.Port()}, setup);
        EXPECT_EQ(several.WaitExit(60000), 0) << several.Screen();
        EXPECT_EQ(one.WaitExit(60000), 0) << one.Screen();
        for (const TerminalProgram* tool : {&several, &one}) {
            const std::string& screen = tool->Screen();
            SCOPED_TRACE(tool == &one ? "one PLC" : "several");
            for (std::size_t at = screen.find('\r'); at != std::string::npos;
                 at = screen.find('\r', at + 1)) {
                const std::size_t end =
                    std::min(screen.find_first_of("\r\n\x1b", at + 1), screen.size());
                EXPECT_LT(end - at - 1, static_cast<std::size_t>(columns))
                    << screen.substr(at + 1, end - at - 1);
            }
            EXPECT_NE(screen.find("PLC restarting: "), std::string::npos) << screen;
            EXPECT_NE(screen.find(" left"), std::string::npos)
                << screen.substr(screen.size() > 3000 ? screen.size() - 3000 : 0);
        }
        EXPECT_NE(several.Screen().find("2 PLCs: 2 succeeded, 0 failed"), std::string::npos);
    }
}

}  // namespace
}  // namespace norvane::test
