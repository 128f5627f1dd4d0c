// A station's day on a line, against simulated PLCs in fake USB sockets: units
// plugged in, burnt, taken out; units that fail, one in RUN mode, one pulled out
// mid-burn, one plugged back in after its success, one there before the station
// started, a socket whose cable comes and goes. Every unit is burnt once at most,
// every burn has its record line, and the station leaves no process behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "burn_output.h"
#include "child_process.h"
#include "fake_usb_sockets.h"
#include "pty_pair.h"
#include "served_pv.h"

namespace norvane::test {
namespace {

using cli::JsonObject;

// This station's burn processes still there, by their command lines: the record
// they write names this station alone (other stations may run beside it).
int BurnProcessesLeft(const std::string& tool, const std::string& record) {
    int left = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream cmdline(entry.path() / "cmdline");
        const std::string args((std::istreambuf_iterator<char>(cmdline)), {});
        left += args.rfind(tool + '\0', 0) == 0 &&
                args.find("--await-replug") != std::string::npos &&
                args.find('\0' + record + '\0') != std::string::npos;
    }
    return left;
}

// The station under test, driven as a technician drives it: each replug it asks
// for is done at once, in the same socket.
class Line {
  public:
    explicit Line(FakeUsbSockets& sockets, const std::vector<std::string>& more = {})
        : sockets_(sockets) {
        mkdir(folder_.c_str(), 0755);
        std::vector<std::string> argv{kPvTool, "--watch", "--json", "--record", Record()};
        if (std::find(more.begin(), more.end(), "--image") == more.end()) {
            argv.push_back("--placeholder");
        }
        argv.insert(argv.end(), more.begin(), more.end());
        ChildProcess::Setup setup;
        setup.output = ChildProcess::Setup::Output::Pipe;
        setup.environment = sockets.Environment();
        tool_ = std::make_unique<ChildProcess>(argv, setup);
        // Plugged in from now on, a unit is one that arrives.
        EXPECT_TRUE(tool_->WaitFor(R"("event": "station", "port": "", "state": "watching")", 10000))
            << tool_->Screen();
    }

    void Plug(const std::string& socket, ServedPv& plc, const std::string& serial) {
        plugged_[socket] = {&plc, serial};
        sockets_.Plug(socket, Tty(socket), plc.Port(), serial);
    }
    void Unplug(const std::string& socket) {
        sockets_.Unplug(socket);
        plugged_.erase(socket);
    }

    // Reads the station's lines, doing the replugs it asks for, until the socket
    // event of `socket` says `state` (and, when given, a message holding `says`).
    bool Await(const std::string& socket, const std::string& state, const std::string& says = "",
               int seconds = 60) {
        return AwaitThat([&] { return Said(socket, state, says); }, seconds);
    }
    // The same, until the burn in `socket` has begun `phase`.
    bool AwaitPhase(const std::string& socket, const std::string& phase) {
        return AwaitThat(
            [&] {
                return std::any_of(events_.begin(), events_.end(), [&](const JsonObject& e) {
                    return e.Text("event") == "phase" && e.Text("port") == "usb-path:" + socket &&
                           e.Text("phase") == phase;
                });
            },
            60);
    }

    template <typename Done>
    bool AwaitThat(Done done, int seconds) {
        const double end = MonotonicSeconds() + seconds;
        while (MonotonicSeconds() < end) {
            tool_->Read(200);
            for (; read_ < tool_->Screen().size();) {
                const std::size_t eol = tool_->Screen().find('\n', read_);
                if (eol == std::string::npos) {
                    break;
                }
                const auto event = JsonObject::Parse(tool_->Screen().substr(read_, eol - read_));
                read_ = eol + 1;
                if (event) {
                    events_.push_back(*event);
                    Answer(*event);
                }
            }
            if (done()) {
                return true;
            }
        }
        return false;
    }

    int Stop() {
        tool_->Signal(SIGINT);
        return Wait();
    }
    void Signal(int signal) { tool_->Signal(signal); }
    int Wait() { return tool_->WaitExit(120000); }
    ~Line() {
        std::remove(Record().c_str());
        rmdir(folder_.c_str());
    }
    std::vector<JsonObject> Records() const { return RecordLines(Record()); }
    int BurnsLeft() const { return BurnProcessesLeft(kPvTool, Record()); }
    // The record's folder goes away: the record cannot be written.
    void LoseTheRecord() {
        std::remove(Record().c_str());
        rmdir(folder_.c_str());
    }
    pid_t Pid() const { return tool_->Pid(); }
    const std::string& Output() const { return tool_->Screen(); }
    std::size_t Starts() const {
        return static_cast<std::size_t>(
            std::count_if(events_.begin(), events_.end(),
                          [](const JsonObject& e) { return e.Text("event") == "start"; }));
    }

  private:
    static std::string Tty(const std::string& socket) { return "ttyACM" + socket.substr(2); }

    // The replug the burn asks for: out of the socket and back into it.
    void Answer(const JsonObject& event) {
        if (event.Text("event") != "wait" || event.Text("for") != "replug") {
            return;
        }
        const std::string socket = event.Text("port").substr(sizeof "usb-path:" - 1);
        const auto plug = plugged_.find(socket);
        if (plug == plugged_.end() || replugged_[event.Text("port")] == Starts()) {
            return;
        }
        replugged_[event.Text("port")] = Starts();
        sockets_.Unplug(socket);
        usleep(300000);
        sockets_.Plug(socket, Tty(socket), plug->second.first->Port(), plug->second.second);
    }

    // `socket` is a USB socket ("1-2") or, with its '/', a serial port.
    bool Said(const std::string& socket, const std::string& state, const std::string& says) const {
        const std::string port = socket[0] == '/' ? socket : "usb-path:" + socket;
        for (auto e = events_.rbegin(); e != events_.rend(); ++e) {
            if (e->Text("event") == "socket" && e->Text("port") == port) {
                return e->Text("state") == state &&
                       e->Text("message").find(says) != std::string::npos;
            }
        }
        return false;
    }

    std::string Record() const { return folder_ + "/record.jsonl"; }

    FakeUsbSockets& sockets_;
    const std::string folder_ = ::testing::TempDir() + "station" + std::to_string(getpid());
    std::unique_ptr<ChildProcess> tool_;
    std::map<std::string, std::pair<ServedPv*, std::string>> plugged_;
    std::map<std::string, std::size_t> replugged_;
    std::vector<JsonObject> events_;
    std::size_t read_ = 0;
};

TEST(Station, ADayOnTheLine) {
    FakeUsbSockets sockets;
    ServedPv before;
    sockets.Plug("1-4", "ttyACM4", before.Port(), "BEFORE");
    Line line(sockets);
    // There before the station started: never burnt, to be taken out.
    ASSERT_TRUE(line.Await("1-4", "take_out", "there when the station started")) << line.Output();
    line.Unplug("1-4");
    ASSERT_TRUE(line.Await("1-4", "empty")) << line.Output();

    ServedPv first;
    line.Plug("1-2", first, "U1");
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();
    EXPECT_TRUE(first.FlashHoldsImage());

    plcsim::PlcConfig running;
    running.runMode = true;
    ServedPv inRunMode(running);
    line.Plug("1-3", inRunMode, "U2");
    ASSERT_TRUE(line.Await("1-3", "take_out", "switch it to STOP")) << line.Output();

    // The first unit back in another socket: known by its serial number.
    line.Unplug("1-2");
    ASSERT_TRUE(line.Await("1-2", "empty"));
    ServedPv again;
    line.Plug("1-4", again, "U1");
    ASSERT_TRUE(line.Await("1-4", "take_out", "already burnt")) << line.Output();
    line.Unplug("1-4");
    line.Unplug("1-3");

    // A unit of another model fails and is told so.
    plcsim::PlcConfig other;
    other.appTypeId = 0x3000;
    ServedPv wrong(other);
    line.Plug("1-2", wrong, "U3");
    ASSERT_TRUE(line.Await("1-2", "take_out", "failed")) << line.Output();
    line.Unplug("1-2");

    // A unit pulled out during its transfer: the burn fails, and says so.
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 50;
    auto pulled = std::make_unique<ServedPv>(slow);
    line.Plug("1-3", *pulled, "U4");
    ASSERT_TRUE(line.AwaitPhase("1-3", "Programming")) << line.Output();
    line.Unplug("1-3");
    pulled.reset();
    ASSERT_TRUE(line.Await("1-3", "take_out", "failed")) << line.Output();
    line.Unplug("1-3");

    // A record that cannot be written: nothing more is burnt, and the row says why.
    const std::vector<JsonObject> records = line.Records();
    line.LoseTheRecord();
    ServedPv unrecorded;
    line.Plug("1-2", unrecorded, "U5");
    ASSERT_TRUE(line.Await("1-2", "take_out", "the record cannot be written")) << line.Output();

    EXPECT_EQ(line.Stop(), 1);  // units failed, one was in RUN mode
    // One record line per burn: the first unit, the one in RUN mode, the wrong
    // one and the pulled one; the first unit only once.
    EXPECT_EQ(records.size(), line.Starts());
    int firstUnit = 0;
    for (const JsonObject& r : records) {
        firstUnit += r.Text("usb_serial") == "U1" ? 1 : 0;
    }
    EXPECT_EQ(firstUnit, 1);
    EXPECT_EQ(line.BurnsLeft(), 0);
}

// A serial port is asked for a PLC at most once a second between burns; one that
// answers is burnt, and once it has gone silent the port takes the next.
TEST(Station, WatchesASerialPort) {
    const ImageFile nt4("NT4_station.bin", 20000);
    // The serial port: a node the PLC is connected behind once the station runs.
    const std::string port = ::testing::TempDir() + "ttyS7-" + std::to_string(getpid());
    std::remove(port.c_str());
    FakeUsbSockets sockets;
    ServedPv plc("NT4", {}, true);
    Line line(sockets, {"--image", nt4.path(), "--port", port});
    ASSERT_EQ(symlink(plc.Port().c_str(), port.c_str()), 0);
    ASSERT_TRUE(line.Await(port, "take_out", "done")) << line.Output();
    plc.Stop();  // taken away: the port is silent
    EXPECT_TRUE(plc.FlashHolds(nt4.bytes()));
    ASSERT_TRUE(line.Await(port, "empty")) << line.Output();
    EXPECT_EQ(line.Stop(), 0);
    EXPECT_EQ(line.Records().size(), 1u);
    std::remove(port.c_str());
}

// Serial ports with nothing behind them are asked beside the station's loop: a
// unit plugged into a USB socket is taken at once, not after their timeouts.
TEST(Station, SilentSerialPortsHoldUpNoOtherSocket) {
    FakeUsbSockets sockets;
    std::vector<std::string> ports{"--port", "usb-path:1-2"};
    std::vector<std::unique_ptr<PtyPair>> silent(4);
    for (auto& cable : silent) {
        cable = std::make_unique<PtyPair>();
        ports.insert(ports.end(), {"--port", cable->slavePath()});
    }
    Line line(sockets, ports);
    ServedPv unit;
    const double plugged = MonotonicSeconds();
    line.Plug("1-2", unit, "Q1");
    ASSERT_TRUE(line.Await("1-2", "working")) << line.Output();
    // Asked one after another, the four would hold every look for seconds each.
    EXPECT_LT(MonotonicSeconds() - plugged, 3.0);
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();
    EXPECT_EQ(line.Stop(), 0);
}

// Stopping: no new burn, the running one finishes; twice, it is interrupted.
TEST(Station, StopsOnlyOnceItsBurnsAreOver) {
    for (const int signals : {1, 2}) {
        SCOPED_TRACE(signals);
        FakeUsbSockets sockets;
        Line line(sockets);
        plcsim::PlcConfig slow;
        slow.flashWriteTimeMs = 40;
        ServedPv unit(slow);
        line.Plug("1-2", unit, "S" + std::to_string(signals));
        ASSERT_TRUE(line.AwaitPhase("1-2", "Programming")) << line.Output();
        EXPECT_EQ(line.BurnsLeft(), 1);
        line.Signal(SIGTERM);
        if (signals == 2) {
            usleep(300000);
            line.Signal(SIGTERM);
        }
        EXPECT_EQ(line.Wait(), signals == 1 ? 0 : 130) << line.Output();
        EXPECT_EQ(line.BurnsLeft(), 0);
        EXPECT_EQ(unit.FlashHoldsImage(), signals == 1);
        ASSERT_EQ(line.Records().size(), 1u);
        EXPECT_EQ(line.Records()[0].Text("caption"), signals == 1 ? "Information" : "Interrupted");
    }
}

}  // namespace
}  // namespace norvane::test
