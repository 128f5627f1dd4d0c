#include "line/station.h"

#include <algorithm>
#include <ctime>
#include <thread>
#include <utility>

#include "burn/catalogue.h"
#include "burn/flash_phase.h"
#include "burn/untrusted_text.h"
#include "line/burn_record.h"
#include "line/exit_status.h"
#include "line/warnings.h"

namespace norvane::line {

namespace {

constexpr std::chrono::milliseconds kLook{200};  // USB sockets looked at this often
// ... unless the machine tells when a PLC comes or goes: then only the record,
// a socket settling down and a missing port are looked at, this often.
constexpr std::chrono::seconds kToldLook{1};
// Looks never come closer together than this, whatever a serial port's watch
// would have.
constexpr std::chrono::milliseconds kLookSpacing{200};
constexpr std::chrono::seconds kSerialLook{1};  // a serial port asked at most this often
// ... and while its unit must be taken out, asked nearly at once, so that the
// port is seen emptied within kLeaveEmpty of the unit going.
constexpr std::chrono::milliseconds kSerialLeaveLook{250};
constexpr std::chrono::seconds kWatchdogPace{1};  // systemd's watchdog fed at least this often
// A wait of the loop, whatever is due: the stop requests are seen at least this
// often where nothing wakes the station for them.
constexpr std::chrono::milliseconds kLongestWait{1000};

constexpr const char* kThereBefore =
    "it was there when the station started: take it out and plug it in again";
// Said on every face at the first stop request, so that nobody asks again
// thinking it was not heard, and interrupts the burns.
constexpr const char* kStoppingSays =
    "the running burns finish, nothing new is burnt (Ctrl-C again interrupts them)";
// A unit in RUN mode, as its row says it: short enough for a narrow row.
constexpr const char* kInRunMode = "in RUN mode: switch it to STOP, take it out, plug it in";
constexpr const char* kThereBeforeTakeOver =
    "it was there when this station took the socket over: take it out and plug it in again";

// "QB7_v1.09.bin, 2026-12-08T10:42:00Z": a burn the record holds, as a row names it.
std::string Burnt(const UnitBurn& burn) {
    return (burn.image.empty() ? burn.model : burn.image) +
           (burn.time.empty() ? "" : ", " + burn.time);
}

// "an NT4", "a QB7": a model's name as it is read out, with its article.
std::string AModel(const std::string& name) {
    const bool vowelSound =
        !name.empty() && std::string("AEFHILMNORSX").find(name[0]) != std::string::npos;
    return (vowelSound ? "an " : "a ") + name;
}

std::string ModelNames(const std::vector<int>& models) {
    std::string names;
    for (const int model : models) {
        names += (names.empty() ? "" : " or ") + std::string(ModelAt(model).name);
    }
    return names;
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
    : settings_(std::move(settings)),
      images_(settings_.images),
      world_(world),
      burns_(burns),
      sink_(sink) {
    for (const WatchedPort& port : settings_.ports) {
        watched_.emplace(port.name, Watched(StationSocket(port.name, !port.usb)));
    }
}

void Station::Tell(Watched& w) {
    if (w.told != w.socket.changes()) {
        w.told = w.socket.changes();
        sink_.Put(BurnEvent{w.socket.id(),
                            SocketFields{w.socket.state(), w.socket.note(), w.unit.usbSerial,
                                         w.yield.done, w.yield.failed, w.yield.setAside}});
    }
}

// Whatever was written to the record since the last look: this station's own
// burns, the burns of a station that died before it, another station's.
void Station::LearnRecord() {
    // Lines waiting this long for their burn's end belong to another station's
    // burns (or to a burn by hand on the same record).
    constexpr std::size_t kUnkeptLines = 1024;
    for (RecordedBurn& burn : world_.RecordedSince()) {
        history_.Learn(burn);
        if (settings_.keep && !burn.burnId.empty() &&
            unkept_.emplace(burn.burnId, std::move(burn.line)).second) {
            unkeptOrder_.push_back(burn.burnId);
            if (unkeptOrder_.size() > kUnkeptLines) {
                unkept_.erase(unkeptOrder_.front());
                unkeptOrder_.pop_front();
            }
        }
    }
}

void Station::Keep(const std::string& burnId) {
    LearnRecord();  // its line was written before its end was told
    const auto line = unkept_.find(burnId);
    if (line == unkept_.end()) {
        WarnNotRecorded("the burn " + burnId +
                        " is not in the record file, so not in the record database either");
        return;
    }
    std::string error;
    if (!settings_.keep(line->second, error)) {
        WarnNotRecorded("the burn " + burnId + " is in the record file only: " + error);
    }
    unkept_.erase(line);  // its place in the order goes with the next ones
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
    // What it is decides its image: asked first, with requests that only read.
    w.unit = unit;
    w.identifying = true;
    world_.Identify(socket.id());
    socket.Burning("asking what it is");
}

void Station::Identified(Watched& w, const PortIdentity& found) {
    w.identifying = false;
    const PlcIdentity& plc = found.plc;
    if (plc.mode == PlcIdentity::Mode::None && !w.socket.serial() &&
        UnitIn(w.socket.id(), world_.PlcsOnUsb()) == nullptr) {
        w.socket.Emptied();  // it was taken out while it was asked
        w.unit = Unit{};
        return;
    }
    if (stopping_) {
        w.socket.TakeOut("the station is stopping: nothing more is burnt");
        return;
    }
    std::vector<int> held;
    for (const int model : plc.models) {
        if (images_.Of(model)) {
            held.push_back(model);
        }
    }
    if (held.size() == 1) {
        BurnOnceTheLineSays(w, images_.Of(held.front()));
        return;
    }
    ++failed_;
    ++w.yield.failed;
    std::string why;
    OutcomeCode outcome = OutcomeCode::NoImage;
    if (plc.mode == PlcIdentity::Mode::RunMode) {
        outcome = OutcomeCode::RunMode;
        why = "in RUN mode: switch it to STOP, then take it out and plug it in again";
    } else if (held.size() > 1) {
        why = "it may be " + AModel(ModelNames(held)) + ", and nothing it answers tells which";
    } else if (plc.models.empty()) {
        // What the identify event says: why the port would not open, where it did not.
        const std::string said = found.event.kind() == EventKind::Identify
                                     ? found.event.Get<IdentifyFields>().message
                                     : DescribeIdentity(plc);
        why = "its model cannot be told (" + said + ")";
    } else {
        why = "no image for " + AModel(ModelNames(plc.models)) + " here";
    }
    NotBurnt(w, found, outcome, why,
             outcome == OutcomeCode::RunMode ? kInRunMode : why + ": take it out");
}

void Station::BurnOnceTheLineSays(Watched& w, const std::shared_ptr<const RunImage>& image) {
    if (!world_.AsksLine() || w.unit.usbSerial.empty() || settings_.check) {
        Burn(w, image);
        return;
    }
    const ImageFacts facts = FactsOf(*image);
    w.askingLine = image;
    world_.AskLine(w.socket.id(),
                   UnitAsk{w.unit.usbSerial, facts.model, facts.sha256, w.socket.id()});
    w.socket.Burning("asking the line whether it is burnt");
}

void Station::LineSaid(Watched& w, const LineWord& word) {
    const std::shared_ptr<const RunImage> image = std::move(w.askingLine);
    w.askingLine.reset();
    StationSocket& socket = w.socket;
    if (!socket.serial() && UnitIn(socket.id(), world_.PlcsOnUsb()) == nullptr) {
        socket.Emptied();  // it was taken out while the line was asked
        w.unit = Unit{};
    } else if (stopping_) {
        socket.TakeOut("the station is stopping: nothing more is burnt");
    } else if (!word.burntAt.empty()) {
        socket.TakeOut("burnt at " + word.burntAt + ": take it out");
    } else if (!word.burningAt.empty()) {
        socket.TakeOut("being burnt at " + word.burningAt + ": take it out");
    } else {
        if (!word.trouble.empty()) {
            // A line whose record cannot be asked goes on, each station by its own.
            Warn("the line's record cannot be asked (" + word.trouble + "): the unit on " +
                 socket.id() + " is burnt by this station's own record");
        }
        Burn(w, image);
    }
}

void Station::Burn(Watched& w, const std::shared_ptr<const RunImage>& image) {
    StationSocket& socket = w.socket;
    w.pulled = false;
    w.mayLeave = false;
    w.burning = FactsOf(*image);
    burns_.Start(socket.id(), !socket.serial(), image);
    const UnitBurn* before = history_.Last(w.unit.usbSerial);
    socket.Burning(before == nullptr
                       ? ""
                       : std::string(before->succeeded ? "it had " : "its last burn failed: ") +
                             Burnt(*before) + "; now " + image->name);
}

// A unit the station ends itself, nothing sent that changes it: its end (a
// check's end under --check) and, but for --check, its record line.
void Station::NotBurnt(Watched& w, const PortIdentity& found, OutcomeCode outcome,
                       const std::string& message, const std::string& note) {
    const std::string port = w.socket.id();
    const std::string burnId = NewBurnId();
    if (found.event.kind() == EventKind::Identify) {
        sink_.Put(found.event);
    }
    if (settings_.check) {
        sink_.Put(BurnEvent{
            port, CheckFields{false, "ERROR", message, kExitBurnFailed, 0, burnId, outcome}});
    } else {
        const EndFields end{"ERROR", message, kExitBurnFailed, 0, 0, false, false, burnId, outcome};
        const IdentifyFields* asked = found.event.kind() == EventKind::Identify
                                          ? &found.event.Get<IdentifyFields>()
                                          : nullptr;
        const RecordPlace place{port, asked ? asked->device : w.unit.device,
                                asked ? asked->usbPath : "", w.unit.usbSerial};
        const PlcReport report{found.plc.type ? static_cast<std::int32_t>(*found.plc.type) : -1,
                               found.plc.bootVersion ? *found.plc.bootVersion : -1};
        ImageFacts facts = CurrentImageFacts();
        facts.model = ModelNames(found.plc.models);
        facts.image.clear();
        facts.sha256.clear();
        std::string error;
        if (!world_.Record(RecordLine(end, place, report, facts, WrittenBy::Parent), error)) {
            WarnNotRecorded("the unit on " + port + " is not recorded: " + error);
        } else if (settings_.keep) {
            Keep(burnId);
        }
        sink_.Put(BurnEvent{port, end});
    }
    w.socket.TakeOut(note);
}

// Burnt with the image this station holds for the model of its last burn.
bool Station::Done(const std::string& usbSerial) const {
    return std::any_of(images_.all().begin(), images_.all().end(), [&](const auto& image) {
        return history_.Done(usbSerial, ModelAt(image->modelIndex).name, image->sha256);
    });
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
    if (Done(unit.usbSerial)) {
        socket.TakeOut("already burnt (USB serial number " + unit.usbSerial + ", " +
                       Burnt(*history_.Last(unit.usbSerial)) + "): take it out");
        return;
    }
    const auto failures = failuresInRow_.find(unit.usbSerial);
    if (failures != failuresInRow_.end() && failures->second >= kFailuresToSetAside) {
        if (world_.AgainAsked(unit.usbSerial)) {
            failuresInRow_.erase(failures);
        } else {
            ++w.yield.setAside;
            NotBurnt(w, PortIdentity{}, OutcomeCode::SetAside,
                     "failed " + std::to_string(failures->second) +
                         " times in a row at this station: to the repair bench",
                     "failed twice: to the repair bench");
            return;
        }
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
    socket.TakeOut(Done(serial) ? "burnt by another program: take it out"
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
    } else if (!present && !w.mayLeave) {
        w.pulled = true;  // not when its burn lets it go (a replug, a restart)
    }
}

void Station::Look(bool first, const WorldNews* only) {
    if (only == nullptr) {
        LearnRecord();
    }
    const UsbUnits usb = world_.PlcsOnUsb();
    const bool everySocket = settings_.ports.empty();
    for (const auto& [id, unit] : usb) {
        if (everySocket && watched_.count(id) == 0) {
            watched_.emplace(id, Watched(StationSocket(id)));
        }
    }
    for (auto& [id, w] : watched_) {
        if (only != nullptr && !(only->usb && !w.socket.serial()) &&
            only->answered.count(id) == 0) {
            continue;  // nothing of it has changed
        }
        if (w.socket.serial()) {
            LookAtSerial(w);
        } else {
            LookAtUsb(w, usb, first);
        }
        if (w.identifying) {
            if (std::optional<PortIdentity> found = world_.Identified(id)) {
                Identified(w, *found);
            }
        }
        if (w.askingLine) {
            if (std::optional<LineWord> word = world_.LineAnswered(id)) {
                LineSaid(w, *word);
            }
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
                               UnitBurn{true, w.burning.model, w.burning.sha256, w.burning.image,
                                        UtcTime(std::time(nullptr))});
            }
            failuresInRow_.erase(unit.usbSerial);
            ++w.yield.done;
            socket.Ended(settings_.check ? "checked: take it out" : "done: take it out");
            break;
        case BurnState::Interrupted:
            ++interrupted_;
            socket.Ended(w.burnAgain ? "interrupted: take it out, it must be burnt again"
                                     : "interrupted: take it out");
            break;
        case BurnState::Failed: {
            ++failed_;
            ++w.yield.failed;
            if (std::exchange(w.pulled, false)) {
                // Its row stays until the next unit, so that the operator who
                // pulled it learns that it failed.
                const char* phase = PhaseWord(w.phase);
                socket.Pulled(std::string("failed: pulled out during ") +
                              (*phase != '\0' ? phase : "Idle") +
                              (w.burnAgain ? ", it must be burnt again" : ""));
                break;
            }
            // Only a unit known by its serial number is known when it comes again.
            const bool twice =
                !unit.usbSerial.empty() && ++failuresInRow_[unit.usbSerial] >= kFailuresToSetAside;
            // What to do first, then why: a narrow row cuts the why.
            const std::string todo = twice         ? "failed twice: to the repair bench"
                                     : w.burnAgain ? "failed: take it out, it must be burnt again"
                                                   : "failed: take it out";
            socket.Ended(over.outcome == OutcomeCode::RunMode ? kInRunMode
                         : over.outcome == OutcomeCode::NotRunning
                             ? todo + " (burnt, but it did not start)"
                             : todo + " (" + over.message + ")");
            break;
        }
    }
    Tell(w);
}

void Station::Heard(BurnNews news) {
    const auto watched = watched_.find(news.port);
    if (news.show && watched != watched_.end()) {
        Followed(watched->second, *news.show);
    }
    if (news.show && news.show->kind() == EventKind::End) {
        const EndFields& end = news.show->Get<EndFields>();
        if (watched != watched_.end()) {
            watched->second.burnAgain = end.eraseBegun || end.handedOver;
        }
        // A row in the record database for every end told: kept before it is told.
        if (settings_.keep) {
            Keep(end.burnId);
        }
    }
    if (news.show) {
        sink_.Put(std::move(*news.show));
    }
    if (news.over && watched != watched_.end()) {
        Ended(watched->second, *news.over);
    }
}

void Station::Followed(Watched& w, const BurnEvent& event) {
    switch (event.kind()) {
        case EventKind::Start:
            w.phase = kFlashIdle;  // its pull and its leave were reset as it was started
            break;
        case EventKind::Phase:
            w.phase = event.Get<PhaseFields>().phase;
            w.mayLeave = w.mayLeave && w.phase == kFlashIdle;
            break;
        case EventKind::Progress:
            w.phase = event.Get<ProgressFields>().phase;
            w.mayLeave = w.mayLeave && w.phase == kFlashIdle;
            break;
        case EventKind::Prompt:
            w.mayLeave = !event.Get<PromptFields>().answered;
            break;
        case EventKind::Wait:
        case EventKind::Handover:
            w.mayLeave = true;  // a replug, a restart, the bootloader's own device
            break;
        default:
            break;
    }
}

void Station::Say(StationState state, const std::string& message) {
    const ImageFacts facts = images_.Facts();
    sink_.Put(
        BurnEvent{"", StationFields{state, facts.model, facts.image, facts.sha256, settings_.check,
                                    images_.Names(), message, settings_.page}});
}

void Station::Reread() {
    if (!settings_.reread) {
        Say(StationState::Watching,
            "its image is the built-in one or came on standard input: "
            "nothing to read again; it keeps " +
                images_.Names());
        return;
    }
    ImageSet fresh;
    std::string why;
    if (settings_.reread(fresh, why)) {
        images_ = std::move(fresh);
        Say(StationState::Watching, "the images were read again: " + images_.Names());
    } else {
        Say(StationState::Watching,
            "the images were not read again (" + why + "); it keeps " + images_.Names());
    }
    world_.Notify("STATUS=images: " + ForPerson(images_.Names()));
}

bool Station::Begin() {
    // Watching begins once what was there before is known: the USB sockets at
    // once, the serial ports by their first asks, all asked at the same time.
    if (!looked_) {
        looked_ = true;
        Look(true);
        lastLook_ = world_.Now();
        nextLook_ = lastLook_ + kLook;
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

Station::Clock::time_point Station::Due() const {
    if (!world_.HearsUsb()) {
        return nextLook_;
    }
    Clock::time_point due = nextLook_;
    for (const auto& [id, w] : watched_) {
        if (w.socket.serial()) {
            due = std::min(due, w.serial.Due());
        }
    }
    return std::max(due, lastLook_ + kLookSpacing);
}

void Station::Step(std::chrono::milliseconds wait) {
    for (std::optional<BurnNews> news = burns_.Next(wait); news;
         news = burns_.Next(std::chrono::milliseconds(0))) {
        Heard(std::move(*news));
    }
    const WorldNews changed = world_.TakeNews();
    if (world_.Now() >= Due()) {
        Look(false);
        lastLook_ = world_.Now();
        nextLook_ = lastLook_ + (world_.HearsUsb() ? kToldLook : kLook);
    } else if (changed.Any()) {
        Look(false, &changed);  // at once, and only where it changed
    }
}

void Station::Stop() {
    stopping_ = true;
    world_.Notify("STOPPING=1");
    Say(StationState::Stopping, kStoppingSays);
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
    // Whatever happens beside the loop (a PLC comes, an answer, a signal) ends
    // its wait: an idle station sleeps until its next look is due.
    world.WakeWith([&burns] { burns.Wake(); });
    controls.WakeWith([&burns] { burns.Wake(); });
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
        if (controls.RereadAsked()) {
            station.Reread();
        }
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(
            std::min(station.Due(), nextFeed + kWatchdogPace) - world.Now());
        station.Step(std::clamp(untilDue, std::chrono::milliseconds(0), kLongestWait));
        // Fed on the wake a look is due at anyway, at least every second.
        if (world.Now() >= nextFeed) {
            world.Notify("WATCHDOG=1");
            nextFeed = world.Now() + kWatchdogPace / 2;
        }
    }
    world.WakeWith(nullptr);
    controls.WakeWith(nullptr);
    return station.Stopped();
}

}  // namespace norvane::line
