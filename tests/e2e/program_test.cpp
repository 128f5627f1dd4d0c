// The terminal program as its users meet it: its exit status, and the prompts that
// wait for Enter on a terminal unless --yes answers them. A PV build (a USB model
// that asks for a replug and waits 2 s after it) burns a PLC served on a
// pseudo-terminal by this process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "burn_output.h"
#include "child_process.h"
#include "fake_sysfs.h"
#include "fake_usb_sockets.h"
#include "served_pv.h"

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
    ChildProcess tool({kTool, "--placeholder", "--yes", "--port", plc.Port()});
    ASSERT_TRUE(tool.Started());
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    EXPECT_NE(tool.Screen().find(kReplugPrompt + " [--yes]"), std::string::npos) << tool.Screen();
    EXPECT_NE(tool.Screen().find(kSuccess), std::string::npos) << tool.Screen();
    EXPECT_TRUE(plc.FlashHoldsImage());
}

TEST(Program, OnATerminalThePromptWaitsForEnter) {
    ServedPv plc;
    ChildProcess tool({kTool, "--placeholder", "--port", plc.Port()});
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(tool.WaitFor(kReplugPrompt, 30000)) << tool.Screen();
    // Longer than the model's wait after the prompt and the next pass together.
    EXPECT_FALSE(tool.WaitFor(kSuccess, 5000)) << tool.Screen();
    EXPECT_TRUE(tool.Running());
    // Nothing was drawn over the prompt while it waited.
    EXPECT_EQ(tool.Screen().find('\r', tool.Screen().find(kReplugPrompt)), std::string::npos)
        << tool.Screen();
    const double enter = MonotonicSeconds();
    tool.Type("\n");
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    // The model's 2 s wait comes after the answer, not before it.
    EXPECT_GE(tool.SeenAt(kSuccess) - enter, 2.0) << tool.Screen();
    EXPECT_TRUE(plc.FlashHoldsImage());
}

// A burn that fails in the bootloader before its erase: the PLC was handed over
// (burn it again before it runs), and its flash is whole.
TEST(Program, AFailureInTheBootloaderBeforeTheErase) {
    const std::function<void(plcsim::PlcConfig&)> faults[] = {
        [](plcsim::PlcConfig& c) { c.bootTypeId = 0x1234; },
        [](plcsim::PlcConfig& c) {
            c.faults.Add(plcsim::Fault::Every(plcsim::Exchange::BootId, plcsim::FaultKind::Nak));
        },
    };
    for (const auto& fault : faults) {
        plcsim::PlcConfig config;
        fault(config);
        ServedPv plc(config);
        const CapturedRun run =
            RunCaptured({kTool, "--placeholder", "--yes", "--json", "--port", plc.Port()}, 60000);
        ASSERT_FALSE(JsonLines(run.output).empty()) << run.output;
        const JsonObject end = JsonLines(run.output).back();
        EXPECT_EQ(end.Number("exit_status"), 1) << run.output;
        EXPECT_TRUE(end.Flag("handed_over")) << run.output;
        EXPECT_FALSE(end.Flag("erase_begun")) << run.output;
        plc.Stop();
        EXPECT_EQ(plc.Requests(plcsim::Exchange::BootErase), 0u);
    }
}

// A hang-up while a prompt waits for a person ends the burn as interrupted, the
// PLC waiting in its bootloader: never as if Enter was pressed.
TEST(Program, AHangUpAtAPromptIsNoAnswer) {
    const ImageFile mr7("MR7-K-V2_v1.bin", 20000);
    const struct {
        const char* model;
        std::vector<std::string> image;
        const char* prompt;
        std::uint16_t d1386;  // the register that tells an MR7-K
    } cases[] = {
        {"PV", {"--placeholder"}, "REPLUG", 0},
        {"MR7-K-V2", {"--image", mr7.path()}, "POWER OFF=>ON", 0x4138},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        plcsim::PlcConfig config;
        config.d1386 = c.d1386;
        ServedPv plc(c.model, config);
        const std::string record = ::testing::TempDir() + "hangup-" + std::to_string(getpid());
        std::vector<std::string> argv{kTool, "--port", plc.Port(), "--record", record};
        argv.insert(argv.end(), c.image.begin(), c.image.end());
        ChildProcess tool(argv);
        ASSERT_TRUE(tool.WaitFor(c.prompt, 30000)) << tool.Screen();
        tool.Close();
        EXPECT_EQ(tool.WaitExit(30000), 130);
        const std::vector<JsonObject> lines = RecordLines(record);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].Text("caption"), "Interrupted");
        EXPECT_NE(lines[0].Text("message").find("waits in its bootloader"), std::string::npos);
        plc.Stop();
        EXPECT_EQ(plc.Requests(plcsim::Exchange::BootId), 0u);  // not asked on as if answered
        std::remove(record.c_str());
    }
}

// The terminal the program runs on is no PLC's port, whatever it is called: it is
// refused before anything is written to it.
TEST(Program, ItsOwnTerminalIsNoPort) {
    ChildProcess tool({kTool, "--placeholder", "--yes", "--port", "/dev/tty"});
    EXPECT_EQ(tool.WaitExit(10000), 2) << tool.Screen();
    EXPECT_NE(tool.Screen().find("is the terminal this program runs on"), std::string::npos)
        << tool.Screen();
}

// Ctrl-C ends the burn at once and says what it left: a PLC whose erase had begun,
// or one that waits in its bootloader though nothing was erased. The record has
// the burn's line, with the burn's own seconds.
TEST(Program, CtrlCSaysWhatTheBurnLeft) {
    const struct {
        const char* when;
        std::vector<std::string> args;
        const std::string waitFor;
        const char* says;
        bool handedOver;
        bool eraseBegun;
    } cases[] = {
        {"at the replug prompt",
         {},
         kReplugPrompt,
         "waits in its bootloader and must be burned",
         true,
         false},
        {"during the erase", {"--yes"}, "Erasing", "the erase had begun", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        plcsim::PlcConfig slow;
        slow.eraseTimeMs = 2000;
        ServedPv plc(slow);
        const TempFile record("interrupted");
        std::vector<std::string> argv{kTool,      "--placeholder", "--port",
                                      plc.Port(), "--record",      record.path()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildProcess tool(argv);
        ASSERT_TRUE(tool.WaitFor(c.waitFor, 30000)) << tool.Screen();
        tool.Signal(SIGINT);
        EXPECT_EQ(tool.WaitExit(10000), 130) << tool.Screen();
        EXPECT_NE(tool.Screen().find(c.says), std::string::npos) << tool.Screen();
        const std::vector<JsonObject> lines = RecordLines(record.path());
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].Text("caption"), "Interrupted");
        EXPECT_EQ(lines[0].Flag("handed_over"), c.handedOver);
        EXPECT_EQ(lines[0].Flag("erase_begun"), c.eraseBegun);
        EXPECT_GE(lines[0].Number("seconds"), 2);  // the wake burst alone takes 2 s
    }
}

// After the replug the PLC is waited for no longer than --replug-timeout, in a
// single burn and in every burn of several: PLCs in USB sockets that are pulled
// out during the hand-over and never come back.
TEST(Program, TheReplugTimeoutBoundsTheWaitForThePlc) {
    for (const int plcs : {1, 2}) {
        SCOPED_TRACE(plcs);
        FakeUsbSockets sockets;
        std::vector<std::unique_ptr<ServedPv>> served;
        std::vector<std::string> argv{kTool,    "--placeholder",    "--yes",
                                      "--json", "--replug-timeout", "1"};
        for (int i = 0; i < plcs; ++i) {
            served.push_back(std::make_unique<ServedPv>());
            const std::string socket = "1-" + std::to_string(i + 2);
            sockets.Plug(socket, "ttyACM" + std::to_string(i), served.back()->Port());
            argv.insert(argv.end(), {"--port", "usb-path:" + socket});
        }
        ChildProcess::Setup piped;
        piped.output = ChildProcess::Setup::Output::Pipe;
        piped.environment = sockets.Environment();
        ChildProcess tool(argv, piped);
        for (int i = 0; i < plcs; ++i) {
            const std::string socket = "1-" + std::to_string(i + 2);
            ASSERT_TRUE(
                tool.WaitFor("\"port\": \"usb-path:" + socket + "\", \"for\": \"restart\"", 30000))
                << tool.Screen();
            sockets.Unplug(socket);  // it never comes back
        }
        const double gone = MonotonicSeconds();
        EXPECT_EQ(tool.WaitExit(60000), 1) << tool.Screen();
        // The model's 2 s and the 1 s asked for, not the 30 s of the default.
        EXPECT_LT(MonotonicSeconds() - gone, 15.0) << tool.Screen();
        EXPECT_NE(tool.Screen().find("did not come back at usb-path:1-2"), std::string::npos)
            << tool.Screen();
    }
}

// --list --json: a PLC on USB that reports no serial number has null, not "".
TEST(Program, ListShowsAnUnknownSerialNumberAsNull) {
    FakeSysfs tree;
    tree.AddUsbDevice("pci0/usb1/1-2", "6c2e", "0001");
    tree.AddTty("ttyACM0", "pci0/usb1/1-2/1-2:1.0");
    const CapturedRun run =
        RunCaptured({kTool, "--list", "--json"}, 10000, {"NORVANE_FWUPDATE_SYSFS=" + tree.root()});
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find(R"("kind": "plc-usb", "usb_serial": null, "usb_path": "1-2")"),
              std::string::npos)
        << run.output;
}

// What burns nothing writes its lines as every burn does (the schema holds them,
// with the rest of what the tests read): a check's outcome, what a port is, the
// ports there are.
TEST(Program, WhatBurnsNothingWritesItsLinesToo) {
    FakeSysfs tree;
    tree.AddUsbDevice("pci0/usb1/1-2", "6c2e", "0001");
    tree.AddTty("ttyACM0", "pci0/usb1/1-2/1-2:1.0");
    const struct {
        std::vector<std::string> args;
        const char* event;
        const char* field;
        const char* value;
    } cases[] = {
        {{"--check", "--placeholder"}, "check", "outcome", "ready"},
        {{"--identify"}, "identify", "mode", "application"},
        // A USB model on a pseudo-terminal is named, as --check would find it.
        {{"--identify"}, "identify", "model", "PV"},
        {{"--list"}, "port", "kind", "plc-usb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        ServedPv plc;
        std::vector<std::string> argv{kTool, "--json"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        if (std::string(c.event) != "port") {
            argv.insert(argv.end(), {"--port", plc.Port()});
        }
        const CapturedRun run = RunCaptured(argv, 60000, {"NORVANE_FWUPDATE_SYSFS=" + tree.root()});
        const std::vector<JsonObject> lines = JsonLines(run.output);
        ASSERT_FALSE(lines.empty()) << run.output;
        EXPECT_EQ(lines.back().Text("event"), c.event) << run.output;
        EXPECT_EQ(lines.back().Text(c.field), c.value) << run.output;
        plc.Stop();
    }
}

// A PLC is burnt by one program at a time, from the first open to the end of the
// burn: a second program that comes while the first waits for the replug (its
// port closed) is refused at once, told who holds the PLC.
TEST(Program, ASecondProgramIsRefusedWhileTheFirstBurns) {
    ServedPv plc;
    ChildProcess first({kTool, "--placeholder", "--yes", "--json", "--port", plc.Port()});
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
        ChildProcess::Setup setup;
        setup.columns = columns;
        ChildProcess several(
            {kTool, "--placeholder", "--yes", "--port", a.Port(), "--port", b.Port()}, setup);
        ServedPv c(slow);
        ChildProcess one({kTool, "--placeholder", "--yes", "--port", c.Port()}, setup);
        EXPECT_EQ(several.WaitExit(60000), 0) << several.Screen();
        EXPECT_EQ(one.WaitExit(60000), 0) << one.Screen();
        for (const ChildProcess* tool : {&several, &one}) {
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
