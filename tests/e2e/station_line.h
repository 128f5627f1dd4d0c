// A station under test, driven as a technician drives it, for the tests of the
// station and its soak: its output read as JSON events, the replugs it asks for
// done at once, its record and its processes looked at.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>

#include "burn_output.h"
#include "child_process.h"
#include "fake_usb_sockets.h"
#include "served_pv.h"

namespace norvane::test {

// This station's burn processes still there, by their command lines: the record
// they write names this station alone (other stations may run beside it).
inline std::vector<pid_t> BurnProcesses(const std::string& tool, const std::string& record) {
    std::vector<pid_t> burns;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream cmdline(entry.path() / "cmdline");
        const std::string args((std::istreambuf_iterator<char>(cmdline)), {});
        if (args.rfind(tool + '\0', 0) == 0 && args.find("--await-replug") != std::string::npos &&
            args.find('\0' + record + '\0') != std::string::npos) {
            burns.push_back(std::stoi(entry.path().filename().string()));
        }
    }
    return burns;
}

// The station under test, driven as a technician drives it: each replug it asks
// for is done at once, in the same socket.
class Line {
  public:
    // `tool`: the program the station runs (a copy of the PV build, say).
    explicit Line(FakeUsbSockets& sockets, const std::vector<std::string>& more = {},
                  const std::vector<std::string>& environment = {},
                  const std::string& program = kPvTool)
        : tool(program), sockets_(sockets) {
        mkdir(folder_.c_str(), 0755);
        std::vector<std::string> argv{tool, "--watch", "--json", "--record", Record()};
        if (std::find(more.begin(), more.end(), "--image") == more.end()) {
            argv.push_back("--placeholder");
        }
        argv.insert(argv.end(), more.begin(), more.end());
        ChildProcess::Setup setup;
        setup.output = ChildProcess::Setup::Output::Pipe;
        setup.environment = sockets.Environment();
        setup.environment.insert(setup.environment.end(), environment.begin(), environment.end());
        tool_ = std::make_unique<ChildProcess>(argv, setup);
        // Plugged in from now on, a unit is one that arrives.
        EXPECT_TRUE(tool_->WaitFor(R"("event": "station", "port": "", "state": "watching")", 10000))
            << tool_->Screen();
    }

    void Plug(const std::string& socket, ServedPv& plc, const std::string& serial) {
        plc.ServeUntilStarted();
        plugged_[socket] = {&plc, serial};
        sockets_.Plug(socket, Tty(socket), plc.Port(), serial);
    }
    void Unplug(const std::string& socket) {
        sockets_.Unplug(socket);
        plugged_.erase(socket);
    }

    // Reads the station's lines, doing the replugs it asks for, until a socket
    // event of `socket` says `state` (and, when given, a message holding `says`):
    // the first such after the one the last wait for `socket` found, for a row
    // may move on within one read (a failed unit already pulled out: "take_out",
    // then "empty").
    bool Await(const std::string& socket, const std::string& state, const std::string& says = "",
               int seconds = 60) {
        return AwaitThat([&] { return Said(socket, state, says); }, seconds);
    }
    // The same, until the burn in `socket` has begun `phase` (in an event after
    // the `since`th: a socket sees many burns).
    bool AwaitPhase(const std::string& socket, const std::string& phase, std::size_t since = 0) {
        return AwaitThat(
            [&] {
                return std::any_of(events_.begin() + static_cast<std::ptrdiff_t>(since),
                                   events_.end(), [&](const JsonObject& e) {
                                       return e.Text("event") == "phase" &&
                                              e.Text("port") == "usb-path:" + socket &&
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
    // Stops it, and returns once each of its threads has: a stop reaches them a
    // little after kill() has returned, and a thread that hears a device event
    // meanwhile would take it alone.
    void Pause() {
        tool_->Signal(SIGSTOP);
        ASSERT_TRUE(AwaitThat([this] { return Paused(); }, 10));
    }
    bool Paused() const {
        const std::string tasks = "/proc/" + std::to_string(Pid()) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(tasks)) {
            std::ifstream stat(task.path() / "stat");
            const std::string text((std::istreambuf_iterator<char>(stat)), {});
            const std::size_t state = text.rfind(") ");
            if (state == std::string::npos || text.substr(state + 2, 1) != "T") {
                return false;
            }
        }
        return true;
    }
    // Waits for the station to end, doing the replugs its burns still ask for.
    int Wait() {
        AwaitThat([this] { return !tool_->Running(); }, 120);
        return tool_->WaitExit(1000);
    }
    ~Line() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);  // the record and its outbox
    }
    std::vector<JsonObject> Records() const { return RecordLines(Record()); }
    int BurnsLeft() const { return static_cast<int>(BurnProcesses(tool, Record()).size()); }
    // Every running burn hangs: its process stops where it is.
    void HangBurns() const {
        for (const pid_t burn : BurnProcesses(tool, Record())) {
            kill(burn, SIGSTOP);
        }
    }
    std::size_t EventsSoFar() const { return events_.size(); }
    // The station's open descriptors (the fewest of a few looks: a look at the
    // sockets opens some for a moment).
    std::size_t Descriptors() const {
        std::size_t fewest = SIZE_MAX;
        for (int look = 0; look < 5; ++look) {
            const std::filesystem::directory_iterator fds("/proc/" + std::to_string(Pid()) + "/fd");
            fewest = std::min<std::size_t>(fewest, std::distance(fds, {}));
            usleep(50000);
        }
        return fewest;
    }
    // The record's folder goes away: the record cannot be written.
    void LoseTheRecord() {
        std::remove(Record().c_str());
        rmdir(folder_.c_str());
    }
    pid_t Pid() const { return tool_->Pid(); }
    // Where it serves its page (ADDR:PORT), as its station event says; empty: nowhere.
    std::string Page() const {
        std::smatch found;
        return std::regex_search(Output(), found, std::regex(R"re("page": "http://([^"]+)/")re"))
                   ? found[1].str()
                   : "";
    }
    const std::string& Output() const { return tool_->Screen(); }
    std::size_t Starts() const {
        return static_cast<std::size_t>(
            std::count_if(events_.begin(), events_.end(),
                          [](const JsonObject& e) { return e.Text("event") == "start"; }));
    }

  private:
    static std::string Tty(const std::string& socket) { return "ttyACM" + socket.substr(2); }

    // The replugs the burn asks for (the hand-over's, and the one that starts
    // the new firmware): out of the socket and back into it, once per wait.
    void Answer(const JsonObject& event) {
        const std::string port = event.Text("port");
        if (event.Text("event") == "progress") {
            return;  // the seconds go on while it waits
        }
        const bool replug = event.Text("event") == "wait" && event.Text("for") == "replug";
        const bool waited = std::exchange(waiting_[port], replug);
        if (!replug || waited || port.rfind("usb-path:", 0) != 0) {
            return;
        }
        const std::string socket = port.substr(sizeof "usb-path:" - 1);
        const auto plug = plugged_.find(socket);
        if (plug == plugged_.end()) {
            return;
        }
        sockets_.Unplug(socket);
        usleep(300000);
        sockets_.Plug(socket, Tty(socket), plug->second.first->Port(), plug->second.second);
    }

    // `socket` is a USB socket ("1-2") or, with its '/', a serial port.
    bool Said(const std::string& socket, const std::string& state, const std::string& says) {
        const std::string port = socket[0] == '/' ? socket : "usb-path:" + socket;
        for (std::size_t& e = found_[port]; e < events_.size(); ++e) {
            const JsonObject& event = events_[e];
            if (event.Text("event") == "socket" && event.Text("port") == port &&
                event.Text("state") == state &&
                event.Text("message").find(says) != std::string::npos) {
                ++e;
                return true;
            }
        }
        return false;
    }

  public:
    std::string Record() const { return folder_ + "/record.jsonl"; }
    const std::string tool;

  private:
    FakeUsbSockets& sockets_;
    // One per machine (its sockets): the stations of one share its record, as
    // a restarted station does; a test's second machine has its own.
    const std::string folder_ = ::testing::TempDir() + "station" + std::to_string(getpid()) + "-" +
                                std::to_string(reinterpret_cast<std::uintptr_t>(&sockets_));
    std::unique_ptr<ChildProcess> tool_;
    std::map<std::string, std::pair<ServedPv*, std::string>> plugged_;
    std::map<std::string, bool> waiting_;  // a port's last event was a wait for its replug
    std::vector<JsonObject> events_;
    std::map<std::string, std::size_t> found_;  // per socket: where the next wait looks from
    std::size_t read_ = 0;
};

}  // namespace norvane::test
