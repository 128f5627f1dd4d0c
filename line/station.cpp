#include "line/station.h"

#include <algorithm>
#include <ctime>
#include <thread>

#include "line/burn_record.h"
#include "line/exit_status.h"

namespace norvane::line {

namespace {

constexpr std::chrono::milliseconds kLook{200};  // USB sockets looked at this often
constexpr std::chrono::seconds kSerialLook{1};   // a serial port asked at most this often
// ... and while its unit must be taken out, asked nearly at once, so that the
// port is seen emptied within kLeaveEmpty of the unit going.
constexpr std::chrono::milliseconds kSerialLeaveLook{250};
constexpr std::chrono::seconds kWatchdogPace{1};  // systemd's watchdog fed this often

constexpr const char* kThereBefore =
    "it was there when the station started: take it out and plug it in again";
constexpr const char* kThereBeforeTakeOver =
    "it was there when this station took the socket over: take it out and plug it in again";

// "QB7_v1.09.bin, 2026-12-08T10:42:00Z": a burn the record holds, as a row names it.
std::string Burnt(const UnitBurn& burn) {
    return (burn.image.empty() ? burn.model : burn.image) +
           (burn.time.empty() ? "" : ", " + burn.time);
}

// The unit a USB socket holds now: in its socket, or (usb-serial:X) wherever
// the unit with that serial number is.
const UsbUnit* UnitIn(const std::string& socket, const UsbUnits& usb) {
    const auto there = usb.find(socket);
    if (there != usb.end()) {
        return &there->second;
    }
    const std::string serial = "usb-serial:";
    if (socket.rfind(serial, 0) == 0) {
        for (const auto& [id, unit] : usb) {
            if (unit.usbSerial == socket.substr(serial.size())) {
                return &unit;
            }
        }
    }
    return nullptr;
}

}  // namespace

Station::Station(StationSettings settings, StationWorld& world, Supervisor& burns, EventSink& sink)
    : settings_(std::move(settings)), world_(world), burns_(burns), sink_(sink) {
    for (const WatchedPort& port : settings_.ports) {
        watched_.emplace(port.name, Watched(StationSocket(port.name, !port.usb)));
    }
}

void Station::Tell(Watched& w) {
    if (w.told != w.socket.changes()) {
        w.told = w.socket.changes();
        sink_.Put(BurnEvent{w.socket.id(),
                            SocketFields{w.socket.state(), w.socket.note(), w.unit.usbSerial}});
    }
}

// Whatever was written to the record since the last look: this station's own
// burns, the burns of a station that died before it, another station's.
void Station::LearnRecord() {
    for (const RecordedBurn& burn : world_.RecordedSince()) {
        history_.Learn(burn);
    }
}

void Station::Start(Watched& w, const Unit& unit) {
    StationSocket& socket = w.socket;
    if (stopping_) {
        socket.TakeOut("the station is stopping: nothing more is burnt");
        return;
    }
    std::string why;
    if (!world_.RecordWritable(why)) {
        socket.TakeOut("the record cannot be written, so nothing is burnt: " + why);
        return;
    }
    if (const std::string holder = world_.PlcHolder(socket.id()); !holder.empty()) {
        socket.HeldBy("another program burns this PLC: " + holder);
        return;
    }
    w.unit = unit;
    burns_.Start(socket.id(), !socket.serial());
    const UnitBurn* before = history_.Last(unit.usbSerial);
    socket.Burning(before == nullptr
                       ? ""
                       : std::string(before->succeeded ? "it had " : "its last burn failed: ") +
                             Burnt(*before) + "; now " + settings_.image.image);
}

// Another unit with the same USB serial number in another socket now, if any.
std::string Station::Twin(const std::string& id, const std::string& usbSerial,
                          const UsbUnits& usb) const {
    for (const auto& [other, unit] : usb) {
        if (other != id && !usbSerial.empty() && unit.usbSerial == usbSerial) {
            return other;
        }
    }
    return "";
}

void Station::Arrived(Watched& w, const Unit& unit, const UsbUnits& usb) {
    StationSocket& socket = w.socket;
    w.unit = unit;
    LearnRecord();  // what any burn recorded until now
    if (const std::string twin = Twin(socket.id(), unit.usbSerial, usb); !twin.empty()) {
        const std::string note = "two units with the USB serial number " + unit.usbSerial +
                                 " (here and in " + twin + "): take both out";
        socket.TakeOut(note);
        const auto other = watched_.find(twin);
        if (other != watched_.end() && other->second.socket.state() != SocketState::Working) {
            other->second.socket.TakeOut(note);
        }
        return;
    }
    if (history_.Done(unit.usbSerial, settings_.image.model, settings_.image.sha256)) {
        socket.TakeOut("already burnt (USB serial number " + unit.usbSerial + ", " +
                       Burnt(*history_.Last(unit.usbSerial)) + "): take it out");
        return;
    }
    Start(w, unit);
}

// The station holds the socket, or another station does and this one leaves it
// alone. A socket it takes over is looked at as at the start.
bool Station::Claimed(Watched& w, bool present) {
    StationSocket& socket = w.socket;
    if (w.claim) {
        return true;
    }
    std::string holder;
    if (std::unique_ptr<machine::SocketClaim> claim = world_.Claim(socket.id(), holder)) {
        w.claim = std::move(claim);
        if (socket.state() == SocketState::OtherStation) {
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
bool Station::StillHeld(Watched& w) {
    StationSocket& socket = w.socket;
    if (!world_.PlcHolder(socket.id()).empty()) {
        return true;
    }
    LearnRecord();
    const std::string serial = w.unit.usbSerial;
    socket.TakeOut(history_.Done(serial, settings_.image.model, settings_.image.sha256)
                       ? "burnt by another program: take it out"
                       : "another program had it: take it out and plug it in again");
    return false;
}

void Station::LookAtSerial(Watched& w) {
    StationSocket& socket = w.socket;
    SerialWatch& watch = w.serial;
    const Clock::time_point now = world_.Now();
    if (socket.state() == SocketState::Working) {
        watch.Rest(now, kSerialLook);  // the burn has the port
        return;
    }
    const bool there = world_.PortExists(socket.id());
    if (!there || socket.state() == SocketState::Missing) {
        if (!there) {
            socket.Missing("no such port: waiting for it to appear");
            watch.Missing();
            return;
        }
        socket.Emptied("the port is there now");
    }
    if (!Claimed(w, false)) {
        return;
    }
    // Another program burns the PLC on it: the port is not asked meanwhile, and
    // once it lets go, the unit must be taken out.
    if (const std::string holder = world_.PlcHolder(socket.id()); !holder.empty()) {
        socket.HeldBy("another program burns this PLC: " + holder);
        watch.Rest(now, kSerialLook);
        return;
    }
    if (socket.state() == SocketState::Busy) {
        StillHeld(w);
    }
    const std::optional<SerialWatch::Outcome> outcome =
        watch.Poll(world_, socket.id(), now,
                   socket.state() == SocketState::TakeOut ? kSerialLeaveLook : kSerialLook);
    if (!outcome) {
        return;
    }
    if (outcome->first && outcome->answered) {
        socket.Seen(true, now);
        socket.TakeOut(kThereBefore);
        return;
    }
    if (socket.Seen(outcome->answered, now)) {
        Arrived(w, Unit{}, {});
    }
}

void Station::LookAtUsb(Watched& w, const UsbUnits& usb, bool first) {
    StationSocket& socket = w.socket;
    const std::string& id = socket.id();
    const UsbUnit* there = UnitIn(id, usb);
    const bool present = there != nullptr;
    // A socket --port names is claimed all along; watching every socket, one is
    // claimed while a unit is in it (see Look).
    const bool claim = present || !settings_.ports.empty() || w.claim != nullptr;
    if (!claim && socket.state() == SocketState::OtherStation) {
        socket.Emptied();
    }
    if (claim && !Claimed(w, present)) {
        return;
    }
    if (socket.state() == SocketState::Busy && present && StillHeld(w)) {
        return;
    }
    const Clock::time_point now = world_.Now();
    if (first && present) {
        socket.Seen(true, now);
        w.unit = Unit{there->usbSerial, there->device};
        socket.TakeOut(kThereBefore);
        if (const std::string holder = world_.PlcHolder(id); !holder.empty()) {
            socket.HeldBy("another program burns this PLC: " + holder);
        }
    } else if (socket.Seen(present, now) && present) {
        Arrived(w, Unit{there->usbSerial, there->device}, usb);
    } else if (!present && socket.state() != SocketState::Working) {
        w.unit = Unit{};
    }
}

void Station::Look(bool first) {
    LearnRecord();
    const UsbUnits usb = world_.PlcsOnUsb();
    const bool everySocket = settings_.ports.empty();
    for (const auto& [id, unit] : usb) {
        if (everySocket && watched_.count(id) == 0) {
            watched_.emplace(id, Watched(StationSocket(id)));
        }
    }
    for (auto& [id, w] : watched_) {
        if (w.socket.serial()) {
            LookAtSerial(w);
        } else {
            LookAtUsb(w, usb, first);
        }
        // Watching every socket, a station holds one only while a unit is in it:
        // the next unit there goes to whichever station claims it first.
        if (everySocket && w.socket.state() == SocketState::Empty) {
            w.claim.reset();
        }
        Tell(w);
    }
}

void Station::Ended(Watched& w, const BurnOver& over) {
    StationSocket& socket = w.socket;
    const Unit& unit = w.unit;
    switch (StateOfExit(over.exitStatus)) {
        case BurnState::Done:
            if (!settings_.check) {
                history_.Learn(unit.usbSerial,
                               UnitBurn{true, settings_.image.model, settings_.image.sha256,
                                        settings_.image.image, UtcTime(std::time(nullptr))});
            }
            socket.Ended(settings_.check ? "checked: take it out" : "done: take it out");
            break;
        case BurnState::Interrupted:
            ++interrupted_;
            socket.Ended("interrupted: take it out");
            break;
        case BurnState::Failed:
            ++failed_;
            socket.Ended(
                over.outcome == OutcomeCode::RunMode
                    ? "in RUN mode: switch it to STOP, then take it out and plug it in again"
                    : "failed (" + over.message + "): take it out");
            break;
    }
    Tell(w);
}

void Station::Heard(BurnNews news) {
    if (news.show) {
        sink_.Put(std::move(*news.show));
    }
    const auto watched = watched_.find(news.port);
    if (news.over && watched != watched_.end()) {
        Ended(watched->second, *news.over);
    }
}

void Station::Say(StationState state) {
    sink_.Put(BurnEvent{"", StationFields{state, settings_.image.model, settings_.image.image,
                                          settings_.image.sha256, settings_.check}});
}

bool Station::Begin() {
    // Watching begins once what was there before is known: the USB sockets at
    // once, the serial ports by their first asks, all asked at the same time.
    if (!looked_) {
        looked_ = true;
        Look(true);
        nextLook_ = world_.Now() + kLook;
    } else {
        for (auto& [id, w] : watched_) {
            if (w.socket.serial()) {
                LookAtSerial(w);
                Tell(w);
            }
        }
    }
    const bool asked = std::all_of(watched_.begin(), watched_.end(), [](const auto& entry) {
        const Watched& w = entry.second;
        return !w.socket.serial() || w.socket.state() == SocketState::Missing ||
               w.socket.state() == SocketState::OtherStation || w.serial.Asked();
    });
    if (asked) {
        Say(StationState::Watching);
        world_.Notify("READY=1");
    }
    return asked;
}

void Station::Step(std::chrono::milliseconds wait) {
    if (std::optional<BurnNews> news = burns_.Next(wait)) {
        Heard(std::move(*news));
    }
    if (world_.Now() >= nextLook_) {
        Look(false);
        nextLook_ = world_.Now() + kLook;
    }
}

void Station::Stop() {
    stopping_ = true;
    world_.Notify("STOPPING=1");
    Say(StationState::Stopping);
}

void Station::InterruptBurns() {
    burns_.InterruptAll();
}

int Station::Stopped() {
    Say(StationState::Stopped);
    if (interrupted_ > 0) {
        return kExitInterrupted;
    }
    return failed_ > 0 ? kExitBurnFailed : kExitSuccess;
}

int RunStation(const StationSettings& settings, StationWorld& world, Supervisor& burns,
               EventSink& sink, Controls& controls) {
    Station station(settings, world, burns, sink);
    while (!station.Begin()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool interrupting = false;
    StationWorld::Clock::time_point nextFeed = world.Now();
    while (!station.Over()) {
        if (!station.Stopping() && (controls.Interrupted() || controls.TerminalGone())) {
            controls.ClearInterrupt();
            station.Stop();
        } else if (station.Stopping() && !interrupting && controls.Interrupted()) {
            interrupting = true;  // a second time: the running burns end as interrupted
            station.InterruptBurns();
        }
        station.Step(std::chrono::milliseconds(50));
        if (world.Now() >= nextFeed) {
            world.Notify("WATCHDOG=1");
            nextFeed = world.Now() + kWatchdogPace;
        }
    }
    return station.Stopped();
}

}  // namespace norvane::line
