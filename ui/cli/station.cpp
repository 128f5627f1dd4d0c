#include "ui/cli/station.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "burn/shared_values.h"
#include "ui/cli/burn_events.h"
#include "ui/cli/burn_processes.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/event_pump.h"
#include "ui/cli/platform.h"
#include "ui/cli/serial_watch.h"
#include "ui/cli/station_socket.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {

namespace {

using Clock = StationSocket::Clock;

constexpr std::chrono::milliseconds kLook{200};  // USB sockets looked at this often
constexpr std::chrono::seconds kSerialLook{1};   // a serial port asked at most this often
constexpr int kSilentAsks = 3;                   // unanswered asks that empty a serial port

// A burn that says nothing this long is ended. A test setting shortens it
// (NORVANE_FWUPDATE_SILENCE_LIMIT, in seconds), for the tests that hang a burn
// on purpose; an installation never sets it.
std::chrono::seconds SilenceLimit() {
    constexpr std::chrono::seconds kSilenceLimit{60};
    const char* value = std::getenv("NORVANE_FWUPDATE_SILENCE_LIMIT");
    char* end = nullptr;
    const long seconds = value != nullptr ? std::strtol(value, &end, 10) : 0;
    return end != value && end != nullptr && *end == '\0' && seconds > 0 && seconds <= 3600
               ? std::chrono::seconds(seconds)
               : kSilenceLimit;
}

constexpr const char* kUsbPathPrefix = "usb-path:";

// The USB serial numbers of units the record holds as burnt.
std::set<std::string> BurntInRecord(const std::string& path) {
    std::set<std::string> burnt;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const auto record = JsonObject::Parse(line);
        if (record && record->Number("exit_status") == 0 && !record->Text("usb_serial").empty()) {
            burnt.insert(record->Text("usb_serial"));
        }
    }
    return burnt;
}

JsonObject SocketEvent(const StationSocket& socket, const std::string& usbSerial) {
    JsonObject event = NewEvent(kEventSocket, socket.id());
    event.Set("state", StateWord(socket.state()))
        .SetTextOrNull("message", socket.note())
        .SetTextOrNull("usb_serial", usbSerial);
    return event;
}

class Station {
  public:
    Station(const Options& options, EventView& view) : options_(options), pump_(view) {
        if (!options.record.empty()) {
            burnt_ = BurntInRecord(options.record);
        }
        for (const std::string& port : options.ports) {
            const bool usb = port.rfind(kUsbPathPrefix, 0) == 0 || platform::CheckPort(port).plcUsb;
            sockets_.emplace(port, StationSocket(port, !usb));
        }
    }

    int Run();

  private:
    struct Unit {
        std::string usbSerial;
        std::string device;
    };

    void Look(Clock::time_point now, bool first);
    void LookAtSerial(StationSocket& socket, Clock::time_point now);
    bool SerialPortsAsked() const;
    void Arrived(StationSocket& socket, const Unit& unit);
    void Start(StationSocket& socket, const Unit& unit);
    void Heard(const Said& said);
    void Ended(std::size_t index, const std::string& why);
    void Tell(const StationSocket& socket);
    void EndSilentBurns(Clock::time_point now);
    void Say(const char* state);

    const Options& options_;
    EventPump pump_;
    Inbox inbox_;
    std::map<std::string, StationSocket> sockets_;
    std::map<std::string, Unit> units_;  // what is in each socket now
    std::map<std::string, std::uint64_t> told_;
    std::set<std::string> burnt_;
    // The running burns, by the index their output comes under: a burn is let go
    // of (its process, its pipe) as soon as it has ended, for a station burns
    // for days.
    std::map<std::size_t, std::unique_ptr<BurnProcess>> burns_;
    std::size_t nextBurn_ = 0;
    // Burn index -> the unit it burns; its socket is the burn's port.
    std::map<std::size_t, Unit> burnUnit_;
    std::map<std::string, SerialWatch> serial_;
    std::size_t running_ = 0;
    bool stopping_ = false;
    bool interrupting_ = false;
    int failed_ = 0;
    int interrupted_ = 0;
    bool recordWritable_ = true;
    const std::chrono::seconds silenceLimit_ = SilenceLimit();
};

void Station::Tell(const StationSocket& socket) {
    auto told = told_.find(socket.id());
    if (told == told_.end() || told->second != socket.changes()) {
        told_[socket.id()] = socket.changes();
        pump_.Put(SocketEvent(socket, units_[socket.id()].usbSerial));
    }
}

void Station::Start(StationSocket& socket, const Unit& unit) {
    if (stopping_) {
        socket.TakeOut("the station is stopping: nothing more is burnt");
        return;
    }
    std::string error;
    if (!options_.record.empty() && !platform::CanAppend(options_.record, error)) {
        recordWritable_ = false;
        socket.TakeOut("the record cannot be written, so nothing is burnt: " + error);
        return;
    }
    recordWritable_ = true;
    if (const std::string holder = platform::PlcHolder(socket.id()); !holder.empty()) {
        socket.HeldBy("another program burns this PLC: " + holder);
        return;
    }
    auto burn = std::make_unique<BurnProcess>();
    burn->port = socket.id();
    burn->check = platform::CheckPort(socket.id());
    const std::vector<std::string> more =
        socket.serial() ? std::vector<std::string>{} : std::vector<std::string>{"--await-replug"};
    const std::size_t index = nextBurn_++;
    if (!burn->Start(ChildArgs(options_, socket.id(), more), index, inbox_, error)) {
        pump_.Put(EndWithoutBurn(options_, *burn, error));
        socket.Ended("the burn could not be started: " + error);
        ++failed_;
        return;
    }
    burnUnit_[index] = unit;
    burns_[index] = std::move(burn);
    units_[socket.id()] = unit;
    ++running_;
    socket.Burning();
}

void Station::Arrived(StationSocket& socket, const Unit& unit) {
    units_[socket.id()] = unit;
    if (!unit.usbSerial.empty() && burnt_.count(unit.usbSerial) != 0) {
        socket.TakeOut("already burnt (USB serial number " + unit.usbSerial + "): take it out");
        return;
    }
    Start(socket, unit);
}

void Station::LookAtSerial(StationSocket& socket, Clock::time_point now) {
    SerialWatch& watch = serial_[socket.id()];
    if (socket.state() == StationSocket::State::Working) {
        watch.Rest(now, kSerialLook);  // the burn has the port
        return;
    }
    const std::optional<SerialWatch::Outcome> outcome =
        watch.Poll(socket.id(), now, kSerialLook, kSilentAsks);
    if (!outcome) {
        return;
    }
    if (outcome->first && outcome->answered) {
        socket.Seen(true, now);
        socket.TakeOut("it was there when the station started: take it out and plug it in again");
        return;
    }
    if (socket.Seen(outcome->answered, now)) {
        Arrived(socket, Unit{});
    }
}

bool Station::SerialPortsAsked() const {
    return std::all_of(sockets_.begin(), sockets_.end(), [&](const auto& entry) {
        const auto watch = serial_.find(entry.first);
        return !entry.second.serial() || (watch != serial_.end() && watch->second.Asked());
    });
}

void Station::Look(Clock::time_point now, bool first) {
    // The PLCs on USB, by the name --port gives their socket (on Windows, where a
    // socket has no name, the interface).
    std::map<std::string, Unit> usb;
    for (const platform::PortRow& row : platform::ListPorts()) {
        if (row.kind == "plc-usb") {
            usb[row.name] = Unit{row.usbSerial, row.device};
        }
    }
    const bool everySocket = options_.ports.empty();
    for (const auto& [id, unit] : usb) {
        if (everySocket && sockets_.count(id) == 0) {
            sockets_.emplace(id, StationSocket(id));
        }
    }
    for (auto& [id, socket] : sockets_) {
        if (socket.serial()) {
            LookAtSerial(socket, now);
        } else {
            const auto there = usb.find(id);
            const bool present = there != usb.end();
            if (first && present) {
                socket.Seen(true, now);
                units_[id] = there->second;
                socket.TakeOut(
                    "it was there when the station started: take it out and plug it in again");
                if (const std::string holder = platform::PlcHolder(id); !holder.empty()) {
                    socket.HeldBy("another program burns this PLC: " + holder);
                }
            } else if (socket.Seen(present, now)) {
                Arrived(socket, there->second);
            } else if (!present && socket.state() != StationSocket::State::Working) {
                units_.erase(id);
            }
        }
        Tell(socket);
    }
}

void Station::Ended(std::size_t index, const std::string& why) {
    BurnProcess& burn = *burns_.at(index);
    StationSocket& socket = sockets_.at(burn.port);
    --running_;
    const Unit& unit = burnUnit_[index];
    if (burn.exitStatus == kExitSuccess) {
        if (!unit.usbSerial.empty()) {
            burnt_.insert(unit.usbSerial);
        }
        socket.Ended(options_.check ? "checked: take it out" : "done: take it out");
    } else if (burn.message == "PLC in RUN MODE") {
        ++failed_;
        socket.Ended("in RUN mode: switch it to STOP, then take it out and plug it in again");
    } else if (burn.exitStatus == kExitInterrupted) {
        ++interrupted_;
        socket.Ended("interrupted: take it out");
    } else {
        ++failed_;
        socket.Ended("failed (" + why + "): take it out");
    }
    Tell(socket);
}

void Station::Heard(const Said& said) {
    BurnProcess& burn = *burns_.at(said.child);
    if (said.line) {
        std::optional<JsonObject> event = JsonObject::Parse(*said.line);
        if (event && event->Text("port") == burn.port) {
            burn.Follow(*event);
            pump_.Put(std::move(*event));
        }
        return;
    }
    if (std::optional<JsonObject> end = burn.Finish(options_)) {
        pump_.Put(std::move(*end));
    }
    Ended(said.child, burn.message);
    burns_.erase(said.child);
    burnUnit_.erase(said.child);
}

// A burn that says nothing for a minute outside a bounded wait (its waits tell
// the seconds left every second) has hung: it is ended, and told so.
void Station::EndSilentBurns(Clock::time_point now) {
    for (auto& [index, burn] : burns_) {
        if (!burn->ended && burn->child && burn->endedBy.empty() &&
            now - burn->lastHeard > silenceLimit_) {
            burn->endedBy =
                "said nothing for " + std::to_string(silenceLimit_.count()) + " s and was ended";
            burn->child->Kill();  // its output ending finishes it
        }
    }
}

void Station::Say(const char* state) {
    JsonObject event = NewEvent(kEventStation, "");
    const ImageFacts image = CurrentImageFacts();
    event.Set("state", state)
        .Set("model", image.model)
        .Set("image", image.image)
        .Set("sha256", image.sha256)
        .Set("check", options_.check);
    pump_.Put(std::move(event));
}

int Station::Run() {
    // Watching begins once what was there before is known: the USB sockets at
    // once, the serial ports by their first asks, all asked at the same time.
    Look(Clock::now(), true);
    while (!SerialPortsAsked()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (auto& [id, socket] : sockets_) {
            if (socket.serial()) {
                LookAtSerial(socket, Clock::now());
            }
        }
    }
    Say("watching");
    Clock::time_point nextLook = Clock::now() + kLook;
    for (;;) {
        if (platform::Interrupted() && !stopping_) {
            stopping_ = true;  // no new burn; the running ones go on
            platform::ClearInterrupt();
            Say("stopping");
        } else if (platform::Interrupted() && !interrupting_) {
            interrupting_ = true;  // a second time: the running burns end as interrupted
            for (const auto& [index, burn] : burns_) {
                if (burn->child && !burn->ended) {
                    burn->child->Interrupt();
                }
            }
        }
        if (stopping_ && running_ == 0) {
            break;
        }
        if (const std::optional<Said> said = inbox_.Take(std::chrono::milliseconds(50))) {
            Heard(*said);
        }
        const Clock::time_point now = Clock::now();
        if (now >= nextLook) {
            Look(now, false);
            EndSilentBurns(now);
            nextLook = now + kLook;
        }
    }
    Say("stopped");
    pump_.Drain();
    if (interrupted_ > 0) {
        return kExitInterrupted;
    }
    return failed_ > 0 ? kExitBurnFailed : kExitSuccess;
}

}  // namespace

int RunStation(const Options& options, EventView& view) {
    Station station(options, view);
    return station.Run();
}

}  // namespace norvane::cli
