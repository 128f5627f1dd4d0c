#include "ui/cli/station.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "burn/shared_values.h"
#include "burn/untrusted_text.h"
#include "port/test_settings.h"
#include "ui/cli/burn_events.h"
#include "ui/cli/burn_processes.h"
#include "ui/cli/burn_record.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/event_pump.h"
#include "ui/cli/output.h"
#include "ui/cli/platform.h"
#include "ui/cli/record_follower.h"
#include "ui/cli/serial_watch.h"
#include "ui/cli/station_socket.h"
#include "ui/cli/unit_history.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {

namespace {

using Clock = StationSocket::Clock;

constexpr std::chrono::milliseconds kLook{200};   // USB sockets looked at this often
constexpr std::chrono::seconds kSerialLook{1};    // a serial port asked at most this often
constexpr int kSilentAsks = 3;                    // unanswered asks that empty a serial port
constexpr std::chrono::seconds kWatchdogPace{1};  // systemd's watchdog fed this often

constexpr const char* kThereBefore =
    "it was there when the station started: take it out and plug it in again";
constexpr const char* kThereBeforeTakeOver =
    "it was there when this station took the socket over: take it out and plug it in again";

// A burn that says nothing this long is ended. A test setting shortens it (in
// seconds), for the tests that hang a burn on purpose.
std::chrono::seconds SilenceLimit() {
    constexpr std::chrono::seconds kSilenceLimit{60};
    const char* value = TestSettingValue(TestSetting::SilenceLimit);
    char* end = nullptr;
    const long seconds = value != nullptr ? std::strtol(value, &end, 10) : 0;
    return end != value && end != nullptr && *end == '\0' && seconds > 0 && seconds <= 3600
               ? std::chrono::seconds(seconds)
               : kSilenceLimit;
}

constexpr const char* kUsbPathPrefix = "usb-path:";

JsonObject SocketEvent(const StationSocket& socket, const std::string& usbSerial) {
    JsonObject event = NewEvent(kEventSocket, socket.id());
    event.Set("state", StateWord(socket.state()))
        .SetTextOrNull("message", socket.note())
        .SetTextOrNull("usb_serial", usbSerial);
    return event;
}

// "QB7_v1.09.bin, 2026-12-08T10:42:00Z": a burn the record holds, as a row names it.
std::string Burnt(const UnitBurn& burn) {
    return (burn.image.empty() ? burn.model : burn.image) +
           (burn.time.empty() ? "" : ", " + burn.time);
}

// The terminal the station was started from, if any: its going away stops the
// station as SIGTERM does. A service has none, and a hang-up never stops it.
std::FILE* StartingTerminal() {
    for (std::FILE* stream : {stdin, stdout, stderr}) {
        if (platform::IsTerminal(stream)) {
            return stream;
        }
    }
    return nullptr;
}

class Station {
  public:
    Station(const Options& options, EventView& view) : options_(options), pump_(view) {
        if (!options.record.empty()) {
            record_.emplace(options.record);
            LearnRecord();
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
    using Units = std::map<std::string, Unit>;

    void Look(Clock::time_point now, bool first);
    void LookAtUsb(StationSocket& socket, const Units& usb, Clock::time_point now, bool first);
    void LookAtSerial(StationSocket& socket, Clock::time_point now);
    bool Claimed(StationSocket& socket, bool present);
    bool StillHeld(StationSocket& socket);
    bool SerialPortsAsked() const;
    std::string Twin(const std::string& id, const std::string& usbSerial, const Units& usb) const;
    void Arrived(StationSocket& socket, const Unit& unit, const Units& usb);
    void Start(StationSocket& socket, const Unit& unit);
    void Heard(const Said& said);
    void Ended(std::size_t index, const std::string& why);
    void Tell(const StationSocket& socket);
    void EndSilentBurns(Clock::time_point now);
    void LearnRecord();
    void Stop();
    void Say(const char* state);

    const Options& options_;
    const ImageFacts image_ = CurrentImageFacts();
    EventPump pump_;
    Inbox inbox_;
    std::map<std::string, StationSocket> sockets_;
    std::map<std::string, std::unique_ptr<platform::SocketClaim>> claims_;
    Units units_;  // what is in each socket now
    std::map<std::string, std::uint64_t> told_;
    std::optional<RecordFollower> record_;
    std::string recordTrouble_;  // the last warning about reading the record
    UnitHistory history_;
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
    const std::chrono::seconds silenceLimit_ = SilenceLimit();
    std::FILE* const terminal_ = StartingTerminal();
};

void Station::Tell(const StationSocket& socket) {
    auto told = told_.find(socket.id());
    if (told == told_.end() || told->second != socket.changes()) {
        told_[socket.id()] = socket.changes();
        pump_.Put(SocketEvent(socket, units_[socket.id()].usbSerial));
    }
}

// Whatever was written to the record since the last look: this station's own
// burns, the burns of a station that died before it, another station's.
void Station::LearnRecord() {
    if (!record_) {
        return;
    }
    std::vector<JsonObject> records;
    std::vector<std::string> warnings;
    std::string error;
    if (!record_->Follow(records, warnings, error) && error != recordTrouble_) {
        warnings.push_back(error);
    }
    recordTrouble_ = error;
    for (const JsonObject& record : records) {
        history_.Learn(record);
    }
    for (const std::string& warning : warnings) {
        StandardError().Write(std::string(platform::CommandName()) +
                              ": warning: " + ForPerson(warning) + "\n");
    }
}

void Station::Start(StationSocket& socket, const Unit& unit) {
    if (stopping_) {
        socket.TakeOut("the station is stopping: nothing more is burnt");
        return;
    }
    std::string error;
    if (!options_.record.empty() && !platform::CanAppend(options_.record, error)) {
        socket.TakeOut("the record cannot be written, so nothing is burnt: " + error);
        return;
    }
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
    const UnitBurn* before = history_.Last(unit.usbSerial);
    socket.Burning(before == nullptr
                       ? ""
                       : std::string(before->succeeded ? "it had " : "its last burn failed: ") +
                             Burnt(*before) + "; now " + image_.image);
}

// Another unit with the same USB serial number in another socket now, if any.
std::string Station::Twin(const std::string& id, const std::string& usbSerial,
                          const Units& usb) const {
    for (const auto& [other, unit] : usb) {
        if (other != id && !usbSerial.empty() && unit.usbSerial == usbSerial) {
            return other;
        }
    }
    return "";
}

void Station::Arrived(StationSocket& socket, const Unit& unit, const Units& usb) {
    units_[socket.id()] = unit;
    LearnRecord();  // what any burn recorded until now
    if (const std::string twin = Twin(socket.id(), unit.usbSerial, usb); !twin.empty()) {
        const std::string note = "two units with the USB serial number " + unit.usbSerial +
                                 " (here and in " + twin + "): take both out";
        socket.TakeOut(note);
        StationSocket& other = sockets_.at(twin);
        if (other.state() != StationSocket::State::Working) {
            other.TakeOut(note);
        }
        return;
    }
    if (history_.Done(unit.usbSerial, image_.model, image_.sha256)) {
        socket.TakeOut("already burnt (USB serial number " + unit.usbSerial + ", " +
                       Burnt(*history_.Last(unit.usbSerial)) + "): take it out");
        return;
    }
    Start(socket, unit);
}

// The station holds the socket, or another station does and this one leaves it
// alone. A socket it takes over is looked at as at the start.
bool Station::Claimed(StationSocket& socket, bool present) {
    if (claims_.count(socket.id()) != 0) {
        return true;
    }
    std::string holder;
    if (std::unique_ptr<platform::SocketClaim> claim = platform::ClaimSocket(socket.id(), holder)) {
        claims_[socket.id()] = std::move(claim);
        if (socket.state() == StationSocket::State::Elsewhere) {
            socket.Emptied();
            if (present) {
                socket.TakeOut(kThereBeforeTakeOver);
            }
        }
        return true;
    }
    socket.WatchedElsewhere("another station watches it: " + holder);
    return false;
}

// A socket whose PLC another program burnt: once it lets go, the unit is done
// there if the record says so, else it must be plugged in again.
bool Station::StillHeld(StationSocket& socket) {
    if (!platform::PlcHolder(socket.id()).empty()) {
        return true;
    }
    LearnRecord();
    const std::string serial = units_[socket.id()].usbSerial;
    socket.TakeOut(history_.Done(serial, image_.model, image_.sha256)
                       ? "burnt by another program: take it out"
                       : "another program had it: take it out and plug it in again");
    return false;
}

void Station::LookAtSerial(StationSocket& socket, Clock::time_point now) {
    SerialWatch& watch = serial_[socket.id()];
    if (socket.state() == StationSocket::State::Working) {
        watch.Rest(now, kSerialLook);  // the burn has the port
        return;
    }
    const bool there = platform::PortExists(socket.id());
    if (!there || socket.state() == StationSocket::State::Missing) {
        if (!there) {
            socket.Missing("no such port: waiting for it to appear");
            watch.Missing();
            return;
        }
        socket.Emptied("the port is there now");
    }
    if (!Claimed(socket, false)) {
        return;
    }
    // Another program burns the PLC on it: the port is not asked meanwhile, and
    // once it lets go, the unit must be taken out.
    if (const std::string holder = platform::PlcHolder(socket.id()); !holder.empty()) {
        socket.HeldBy("another program burns this PLC: " + holder);
        watch.Rest(now, kSerialLook);
        return;
    }
    if (socket.state() == StationSocket::State::Busy) {
        StillHeld(socket);
    }
    const std::optional<SerialWatch::Outcome> outcome =
        watch.Poll(socket.id(), now, kSerialLook, kSilentAsks);
    if (!outcome) {
        return;
    }
    if (outcome->first && outcome->answered) {
        socket.Seen(true, now);
        socket.TakeOut(kThereBefore);
        return;
    }
    if (socket.Seen(outcome->answered, now)) {
        Arrived(socket, Unit{}, {});
    }
}

bool Station::SerialPortsAsked() const {
    return std::all_of(sockets_.begin(), sockets_.end(), [&](const auto& entry) {
        const StationSocket& socket = entry.second;
        const auto watch = serial_.find(entry.first);
        return !socket.serial() || socket.state() == StationSocket::State::Missing ||
               socket.state() == StationSocket::State::Elsewhere ||
               (watch != serial_.end() && watch->second.Asked());
    });
}

void Station::LookAtUsb(StationSocket& socket, const Units& usb, Clock::time_point now,
                        bool first) {
    const std::string& id = socket.id();
    const auto there = usb.find(id);
    const bool present = there != usb.end();
    // A socket --port names is claimed all along; watching every socket, one is
    // claimed while a unit is in it (see Look).
    const bool claim = present || !options_.ports.empty() || claims_.count(id) != 0;
    if (!claim && socket.state() == StationSocket::State::Elsewhere) {
        socket.Emptied();
    }
    if (claim && !Claimed(socket, present)) {
        return;
    }
    if (socket.state() == StationSocket::State::Busy && present && StillHeld(socket)) {
        return;
    }
    if (first && present) {
        socket.Seen(true, now);
        units_[id] = there->second;
        socket.TakeOut(kThereBefore);
        if (const std::string holder = platform::PlcHolder(id); !holder.empty()) {
            socket.HeldBy("another program burns this PLC: " + holder);
        }
    } else if (socket.Seen(present, now)) {
        Arrived(socket, there->second, usb);
    } else if (!present && socket.state() != StationSocket::State::Working) {
        units_.erase(id);
    }
}

void Station::Look(Clock::time_point now, bool first) {
    LearnRecord();
    // The PLCs on USB, by the name --port gives their socket (on Windows, where a
    // socket has no name, the interface).
    Units usb;
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
            LookAtUsb(socket, usb, now, first);
        }
        // Watching every socket, a station holds one only while a unit is in it:
        // the next unit there goes to whichever station claims it first.
        if (everySocket && socket.state() == StationSocket::State::Empty) {
            claims_.erase(id);
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
        if (!options_.check) {
            history_.Learn(unit.usbSerial, UnitBurn{true, image_.model, image_.sha256, image_.image,
                                                    UtcTime(std::time(nullptr))});
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

// A burn that shows no progress on the line for a minute outside a bounded wait
// (its waits tell the seconds left every second) has hung: it is ended, and
// told so.
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
    event.Set("state", state)
        .Set("model", image_.model)
        .Set("image", image_.image)
        .Set("sha256", image_.sha256)
        .Set("check", options_.check);
    pump_.Put(std::move(event));
}

// No new burn; the running ones go on.
void Station::Stop() {
    stopping_ = true;
    platform::ClearInterrupt();
    platform::TellServiceManager("STOPPING=1");
    Say("stopping");
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
                Tell(socket);
            }
        }
    }
    Say("watching");
    platform::TellServiceManager("READY=1");
    Clock::time_point nextLook = Clock::now() + kLook;
    Clock::time_point nextFeed = Clock::now();
    for (;;) {
        const bool terminalGone = terminal_ != nullptr && platform::TerminalGone(terminal_);
        if ((platform::Interrupted() || terminalGone) && !stopping_) {
            Stop();
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
        if (now >= nextFeed) {
            platform::TellServiceManager("WATCHDOG=1");
            nextFeed = now + kWatchdogPace;
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
