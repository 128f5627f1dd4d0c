// The terminal program as a production line runs it: several PLCs at once, the JSON
// lines a script reads (held against the schema in docs/json-events.md), the live
// table, Ctrl-C, and the record of every burn. PV PLCs served on pseudo-terminals.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "burn_output.h"
#include "child_process.h"
#include "json_fields.h"
#include "served_pv.h"

namespace norvane::test {
namespace {

using Type = JsonObject::Type;

// Checks every line of a --json run (the schema checks each line's fields, see
// json_lines_log.h); returns the events by port.
std::map<std::string, std::vector<JsonObject>> CheckJsonLines(const std::string& output,
                                                              const std::set<std::string>& ports) {
    std::map<std::string, std::vector<JsonObject>> byPort;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::optional<JsonObject> event = JsonObject::Parse(line);
        EXPECT_TRUE(event.has_value()) << "not one JSON object: " << line;
        if (!event) {
            continue;
        }
        const std::string kind = event->Text("event");
        EXPECT_EQ(ports.count(event->Text("port")), 1u) << "port: " << line;
        if (kind == "progress") {
            EXPECT_GE(event->Number("percent"), 0) << line;
            EXPECT_LE(event->Number("percent"), 100) << line;
        }
        if (kind == "phase" || kind == "progress") {
            const std::string phase = event->Text("phase");
            EXPECT_TRUE(phase == "Idle" || phase == "Erasing" || phase == "Programming") << line;
        }
        byPort[event->Text("port")].push_back(*event);
    }
    for (const auto& [port, events] : byPort) {
        // A progress line at least every second while the burn's seconds count.
        std::int64_t lastSeconds = 0;
        for (const JsonObject& e : events) {
            if (e.Text("event") == "progress") {
                EXPECT_LE(e.Number("seconds") - lastSeconds, 1) << port << ": " << e.ToString();
                lastSeconds = e.Number("seconds");
            }
        }
        EXPECT_EQ(events.front().Text("event"), "start") << port;
        EXPECT_EQ(events.back().Text("event"), "end") << port;
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [](const JsonObject& e) { return e.Text("event") == "end"; }),
                  1)
            << port;
    }
    return byPort;
}

plcsim::PlcConfig InRunMode() {
    plcsim::PlcConfig config;
    config.runMode = true;
    return config;
}

// Programming that lasts a few of the status panel's 100 ms ticks: the 79 blocks
// of the PV image would otherwise be written between two ticks, and the
// Programming phase could pass unseen.
plcsim::PlcConfig WithSlowFlash() {
    plcsim::PlcConfig config;
    config.flashWriteTimeMs = 4;
    return config;
}

// The end event of every port among the JSON lines on a terminal's screen.
std::map<std::string, JsonObject> EndsOnScreen(const std::string& screen) {
    std::map<std::string, JsonObject> ends;
    std::istringstream lines(screen);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto event = JsonObject::Parse(line);
        if (event && event->Text("event") == "end") {
            ends[event->Text("port")] = *event;
        }
    }
    return ends;
}

// The process that `parent` started to burn the PLC on `port`; 0 when none is found.
pid_t BurnProcess(pid_t parent, const std::string& port) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, name, state;
        pid_t ppid = 0;
        if (!(stat >> pid >> name >> state >> ppid) || ppid != parent) {
            continue;
        }
        std::ifstream cmdline(entry.path() / "cmdline");
        const std::string args((std::istreambuf_iterator<char>(cmdline)), {});
        if (args.find(std::string(1, '\0') + port + '\0') != std::string::npos) {
            return static_cast<pid_t>(std::stol(pid));
        }
    }
    return 0;
}

// A row of `port` saying `text` after its padding, from `from` on in `output`:
// the padding follows the longest port name, which pseudo-terminals' numbers vary.
bool RowSays(const std::string& output, std::size_t from, const std::string& port,
             const std::string& text) {
    for (std::size_t at = output.find(port, from); at != std::string::npos;
         at = output.find(port, at + 1)) {
        const std::size_t words = output.find_first_not_of(' ', at + port.size());
        if (words > at + port.size() + 1 && output.compare(words, text.size(), text) == 0) {
            return true;
        }
    }
    return false;
}

// The phase event of `port` as the JSON lines write it.
std::string PhaseOf(const std::string& port, const char* phase) {
    return "\"event\": \"phase\", \"port\": \"" + port + "\", \"phase\": \"" + phase + "\"";
}

TEST(SeveralPlcs, JsonLinesOfRealBurnsFollowTheSchema) {
    // One PLC that succeeds, one that fails, then three at once with one failing.
    {
        ServedPv plc;
        const CapturedRun run =
            RunCaptured({kPvTool, "--placeholder", "--port", plc.Port(), "--yes", "--json"}, 60000);
        EXPECT_EQ(run.exitStatus, 0) << run.output;
        const auto events = CheckJsonLines(run.output, {plc.Port()});
        const JsonObject& end = events.at(plc.Port()).back();
        EXPECT_EQ(end.Text("message"),
                  "Firmware update is SUCCESSFUL!, please REPLUG the USB cable");
        EXPECT_TRUE(end.Flag("erase_begun"));
        EXPECT_TRUE(plc.FlashHoldsImage());
    }
    {
        ServedPv plc(InRunMode());
        const CapturedRun run =
            RunCaptured({kPvTool, "--placeholder", "--port", plc.Port(), "--yes", "--json"}, 60000);
        EXPECT_EQ(run.exitStatus, 1) << run.output;
        const auto events = CheckJsonLines(run.output, {plc.Port()});
        const JsonObject& end = events.at(plc.Port()).back();
        EXPECT_EQ(end.Text("caption"), "ERROR");
        EXPECT_EQ(end.Text("message"), "PLC in RUN MODE");
        EXPECT_EQ(end.Number("errors_total"), 6);
        EXPECT_FALSE(end.Flag("erase_begun"));
    }
    ServedPv a;
    ServedPv b(InRunMode());
    ServedPv c;
    const CapturedRun run = RunCaptured({kPvTool, "--placeholder", "--port", a.Port(), "--port",
                                         b.Port(), "--port", c.Port(), "--yes", "--json"},
                                        60000);
    EXPECT_EQ(run.exitStatus, 1) << run.output;
    const auto events = CheckJsonLines(run.output, {a.Port(), b.Port(), c.Port()});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events.at(a.Port()).back().Number("exit_status"), 0);
    EXPECT_EQ(events.at(b.Port()).back().Number("exit_status"), 1);
    EXPECT_EQ(events.at(c.Port()).back().Number("exit_status"), 0);
    EXPECT_TRUE(a.FlashHoldsImage());
    EXPECT_TRUE(c.FlashHoldsImage());
}

TEST(SeveralPlcs, APersonSeesALinePerEventAndASummary) {
    ServedPv a(WithSlowFlash());
    ServedPv b(InRunMode());
    const CapturedRun run = RunCaptured(
        {kPvTool, "--placeholder", "--port", a.Port(), "--port", b.Port(), "--yes"}, 60000);
    EXPECT_EQ(run.exitStatus, 1) << run.output;
    // The transfer's progress, not only its start.
    EXPECT_NE(run.output.find(a.Port() + ": Programming  50 %"), std::string::npos) << run.output;
    const std::size_t summary = run.output.find("Summary:");
    ASSERT_NE(summary, std::string::npos) << run.output;
    EXPECT_TRUE(RowSays(run.output, summary, a.Port(), kSuccess)) << run.output;
    EXPECT_TRUE(RowSays(run.output, summary, b.Port(), "ERROR: PLC in RUN MODE")) << run.output;
    EXPECT_NE(run.output.find("2 PLCs: 1 succeeded, 1 failed", summary), std::string::npos);
}

TEST(SeveralPlcs, OnATerminalALiveTableWithARowPerPlc) {
    ServedPv a;
    ServedPv b;
    ChildProcess tool({kPvTool, "--placeholder", "--port", a.Port(), "--port", b.Port(), "--yes"});
    ASSERT_TRUE(tool.Started());
    EXPECT_EQ(tool.WaitExit(60000), 0) << tool.Screen();
    // Both rows end with their final message, drawn in place over the rows' progress.
    EXPECT_TRUE(RowSays(tool.Screen(), 0, "\r" + a.Port(), kSuccess)) << tool.Screen();
    EXPECT_TRUE(RowSays(tool.Screen(), 0, "\r" + b.Port(), kSuccess)) << tool.Screen();
    EXPECT_NE(tool.Screen().find("\x1b[3A"), std::string::npos);  // back over two rows, the count
    EXPECT_TRUE(a.FlashHoldsImage());
    EXPECT_TRUE(b.FlashHoldsImage());
}

TEST(SeveralPlcs, SeveralPlcsNeedYes) {
    const CapturedRun run = RunCaptured(
        {kPvTool, "--placeholder", "--port", "/dev/null", "--port", "/dev/zero"}, 10000);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.output.find("pass --yes"), std::string::npos) << run.output;
}

// Ctrl-C ends every burn; each says whether its erase had begun.
TEST(SeveralPlcs, CtrlCEndsEveryBurn) {
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 100;  // the transfer takes several seconds
    ServedPv programming(slow);
    plcsim::PlcConfig silent;
    silent.attached = false;
    ServedPv unanswered(silent);
    ChildProcess tool({kPvTool, "--placeholder", "--port", programming.Port(), "--port",
                       unanswered.Port(), "--yes", "--json"});
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(tool.WaitFor("\"phase\": \"Programming\"", 60000)) << tool.Screen();
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.WaitExit(20000), 130) << tool.Screen();
    std::map<std::string, JsonObject> ends = EndsOnScreen(tool.Screen());
    ASSERT_EQ(ends.size(), 2u) << tool.Screen();
    EXPECT_EQ(ends[programming.Port()].Number("exit_status"), 130);
    EXPECT_TRUE(ends[programming.Port()].Flag("erase_begun"));
    EXPECT_NE(ends[programming.Port()].Text("message").find("burned again"), std::string::npos);
    EXPECT_EQ(ends[unanswered.Port()].Text("message"), "nothing was erased");
}

// A burn whose process dies without a word still ends with an end event; once
// the erase had begun, that event says the PLC must be burnt again.
TEST(SeveralPlcs, ABurnProcessThatDiesMidBurnLeavesNoPlcErasedUntold) {
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 100;
    ServedPv programming(slow);
    ServedPv other;
    const TempFile record("died");
    ChildProcess tool({kPvTool, "--placeholder", "--port", programming.Port(), "--port",
                       other.Port(), "--yes", "--json", "--record", record.path()});
    ASSERT_TRUE(tool.Started());
    // That PLC's own transfer: the other one may well be further on.
    ASSERT_TRUE(tool.WaitFor(PhaseOf(programming.Port(), "Programming"), 60000)) << tool.Screen();
    const pid_t burning = BurnProcess(tool.Pid(), programming.Port());
    ASSERT_GT(burning, 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(burning, SIGKILL);
    EXPECT_EQ(tool.WaitExit(60000), 1) << tool.Screen();
    // One record line per burn: the dead one's written by the parent, with its
    // own count of the seconds, the burn's identifier and what it did to the PLC.
    std::map<std::string, JsonObject> lines;
    for (const JsonObject& line : RecordLines(record.path())) {
        EXPECT_EQ(lines.count(line.Text("port")), 0u) << line.ToString();
        lines[line.Text("port")] = line;
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[programming.Port()].Text("written_by"), "parent");
    EXPECT_GE(lines[programming.Port()].Number("seconds"), 3);
    EXPECT_TRUE(lines[programming.Port()].Flag("erase_begun"));
    EXPECT_TRUE(lines[programming.Port()].Flag("handed_over"));
    EXPECT_EQ(lines[other.Port()].Text("written_by"), "burn");
    std::map<std::string, JsonObject> ends = EndsOnScreen(tool.Screen());
    ASSERT_EQ(ends.size(), 2u) << tool.Screen();
    const JsonObject& killed = ends[programming.Port()];
    EXPECT_EQ(killed.Text("burn_id"), lines[programming.Port()].Text("burn_id"));
    EXPECT_EQ(killed.Number("exit_status"), 1);
    EXPECT_TRUE(killed.Flag("erase_begun"));
    EXPECT_NE(killed.Text("message").find("ended by a signal"), std::string::npos);
    EXPECT_NE(killed.Text("message").find("burned again"), std::string::npos);
    EXPECT_EQ(ends[other.Port()].Number("exit_status"), 0);
}

// An interrupted burn is no success: the run's exit status says so.
TEST(SeveralPlcs, AnInterruptedBurnMakesTheRunFail) {
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 100;
    ServedPv programming(slow);
    ServedPv other;
    ChildProcess tool({kPvTool, "--placeholder", "--port", programming.Port(), "--port",
                       other.Port(), "--yes", "--json"});
    ASSERT_TRUE(tool.WaitFor(PhaseOf(programming.Port(), "Programming"), 60000)) << tool.Screen();
    const pid_t burning = BurnProcess(tool.Pid(), programming.Port());
    ASSERT_GT(burning, 0);
    kill(burning, SIGINT);
    EXPECT_EQ(tool.WaitExit(60000), 1) << tool.Screen();
    std::map<std::string, JsonObject> ends = EndsOnScreen(tool.Screen());
    EXPECT_EQ(ends[programming.Port()].Text("caption"), "Interrupted");
    EXPECT_EQ(ends[other.Port()].Number("exit_status"), 0);
}

TEST(Record, EveryBurnAppendsOneLineWithWhatThePlcSaid) {
    const TempFile recordFile("record");
    const std::string& record = recordFile.path();
    ServedPv a;
    ServedPv b(InRunMode());
    const CapturedRun run = RunCaptured({kPvTool, "--placeholder", "--port", a.Port(), "--port",
                                         b.Port(), "--yes", "--record", record},
                                        60000);
    EXPECT_EQ(run.exitStatus, 1) << run.output;
    std::map<std::string, JsonObject> lines;
    for (const JsonObject& line : RecordLines(record)) {
        lines[line.Text("port")] = line;
    }
    ASSERT_EQ(lines.size(), 2u);
    const JsonObject& ok = lines[a.Port()];
    EXPECT_EQ(ok.Text("model"), "PV");
    EXPECT_EQ(ok.Text("plc_type"), "0x0015");
    EXPECT_EQ(ok.Text("caption"), "Information");
    EXPECT_EQ(ok.Number("exit_status"), 0);
    EXPECT_EQ(ok.Text("device"), a.Port());
    EXPECT_EQ(ok.TypeOf("usb_path"), Type::Null);  // a pseudo-terminal has no USB identity
    EXPECT_EQ(ok.Text("time").size(), 20u);
    const JsonObject& failed = lines[b.Port()];
    EXPECT_EQ(failed.Text("message"), "PLC in RUN MODE");
    EXPECT_EQ(failed.TypeOf("plc_type"), Type::Null);  // it never answered "ID"
    EXPECT_EQ(failed.Number("failed_attempts"), 6);
}

TEST(Record, ARecordThatCannotBeWrittenIsSaidAndChangesNoOutcome) {
    // Cannot be opened: said before anything is burnt.
    const CapturedRun refused = RunCaptured({kPvTool, "--placeholder", "--port", "/dev/null",
                                             "--yes", "--record", "/nonexistent/dir/r"},
                                            10000);
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_NE(refused.output.find("cannot open the record /nonexistent/dir/r"), std::string::npos)
        << refused.output;
    // No file: refused before anything is burnt, never read or written.
    const CapturedRun device = RunCaptured(
        {kPvTool, "--placeholder", "--port", "/dev/null", "--yes", "--record", "/dev/full"}, 10000);
    EXPECT_EQ(device.exitStatus, 2);
    EXPECT_NE(device.output.find("the record /dev/full is a device"), std::string::npos);
    // Opens, but may grow by only part of a line, or not at all (a full disk, a
    // file size limit of 512 bytes): a warning after the burn, whose outcome
    // stands, and the record as it was.
    const std::string path = ::testing::TempDir() + "full-" + std::to_string(getpid());
    for (const std::size_t room : {112, 0}) {
        const std::string before = std::string(511 - room, 'x') + "\n";
        std::ofstream(path) << before;
        ServedPv plc;
        const CapturedRun full =
            RunCaptured({"sh", "-c", "ulimit -f 1 && exec \"$0\" \"$@\"", kPvTool, "--placeholder",
                         "--port", plc.Port(), "--yes", "--record", path},
                        60000);
        EXPECT_EQ(full.exitStatus, 0) << full.output;
        EXPECT_NE(full.output.find("warning: this burn is not recorded"), std::string::npos)
            << full.output;
        EXPECT_NE(full.output.find(kSuccess), std::string::npos);
        std::ifstream in(path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);  // cut back
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace norvane::test
