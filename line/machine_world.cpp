#include "line/machine_world.h"

#include <utility>

#include "burn/shared_values.h"
#include "line/quiet_panel.h"
#include "line/serial_watch.h"
#include "line/warnings.h"
#include "link/app_commands.h"

namespace norvane::line {

namespace {

// One mode query in the served model's frame at 9600 7E1; the port is closed
// again at once, so that a burn can open it.
bool AnswersOn(const std::string& port) {
    const std::unique_ptr<machine::PortOpening> opening =
        machine::MakePortOpening(port, std::chrono::seconds(1), machine::PortUse::Ask);
    LinkPtr link = opening->OpenSerial(port);
    if (!link) {
        return false;
    }
    QuietPanel panel;
    return AnswersModeQuery(ExchangeContext{*link, SelectedModel(), panel.counters},
                            LinkTimeouts{kSerialAskMs, kSerialAskMs});
}

// The PLCs' rows as the station knows its sockets.
UsbUnits UnitsOf(const std::vector<machine::PortRow>& rows) {
    UsbUnits units;
    for (const machine::PortRow& row : rows) {
        if (row.kind == "plc-usb") {
            units[row.name] = UsbUnit{row.usbSerial, row.device};
        }
    }
    return units;
}

// An answer waiting to be taken: nothing while it is still being worked out.
template <typename T>
std::optional<T> Take(std::map<std::string, MachineWorld::Beside<T>>& under,
                      const std::string& port) {
    auto asked = under.find(port);
    if (asked == under.end() ||
        asked->second.answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return std::nullopt;
    }
    T answer = asked->second.answer.get();
    under.erase(asked);  // waits for its thread, which has nothing left to do
    return answer;
}

}  // namespace

MachineWorld::MachineWorld(const std::string& record, std::function<LineWord(const UnitAsk&)> line)
    : record_(record), line_(std::move(line)) {
    if (!record.empty()) {
        follower_.emplace(record);
    }
    std::string error;
    usbFollower_ = machine::FollowPlcUsb(error);
    std::vector<machine::PortRow> rows;
    if (!usbFollower_ || !usbFollower_->Next(rows)) {
        if (!error.empty()) {
            Warn("the USB sockets are looked at five times a second: " + error);
        }
        usbFollower_.reset();
        return;
    }
    usb_ = UnitsOf(rows);
    usbThread_ = std::thread([this] { FollowUsb(); });
}

MachineWorld::~MachineWorld() {
    if (usbFollower_) {
        usbFollower_->Stop();
        usbThread_.join();
    }
    asks_.clear();  // each waited for: its thread may still wake the station
    identities_.clear();
    lineWords_.clear();
}

void MachineWorld::FollowUsb() {
    for (std::vector<machine::PortRow> rows; usbFollower_->Next(rows);) {
        UsbUnits units = UnitsOf(rows);
        std::lock_guard<std::mutex> lock(mutex_);
        if (units != usb_) {  // a tty of another device, or one that came and went
            usb_ = std::move(units);
            news_.usb = true;
            if (wake_) {
                wake_();
            }
        }
    }
}

void MachineWorld::Wake(const std::string& answered) {
    std::lock_guard<std::mutex> lock(mutex_);
    news_.answered.insert(answered);
    if (wake_) {
        wake_();
    }
}

WorldNews MachineWorld::TakeNews() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(news_, WorldNews{});
}

void MachineWorld::WakeWith(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_ = std::move(wake);
}

UsbUnits MachineWorld::PlcsOnUsb() {
    if (!usbFollower_) {
        return UnitsOf(machine::ListPorts());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return usb_;
}

// Starts `work` for `port` beside the loop; its answer wakes the station once
// it can be taken.
template <typename T, typename Work>
void MachineWorld::Begin(std::map<std::string, Beside<T>>& under, const std::string& port,
                         Work work) {
    std::promise<T> promise;
    Beside<T>& beside = under[port];
    beside.answer = promise.get_future();
    beside.work =
        std::async(std::launch::async, [this, port, work, promise = std::move(promise)]() mutable {
            promise.set_value(work(port));
            Wake(port);
        });
}

void MachineWorld::Ask(const std::string& port) {
    Begin(asks_, port, AnswersOn);
}

std::optional<bool> MachineWorld::Answer(const std::string& port) {
    return Take(asks_, port);
}

void MachineWorld::Identify(const std::string& port) {
    // The unit's replug is the burn's to wait for, never the identify's.
    // A unit about to be burnt is asked under its lock, as its burn will be.
    Begin(identities_, port, [](const std::string& at) {
        return IdentifyPort(at, std::chrono::seconds(1), machine::PortUse::Burn);
    });
}

std::optional<PortIdentity> MachineWorld::Identified(const std::string& port) {
    return Take(identities_, port);
}

void MachineWorld::AskLine(const std::string& port, const UnitAsk& ask) {
    Begin(lineWords_, port, [this, ask](const std::string&) { return line_(ask); });
}

std::optional<LineWord> MachineWorld::LineAnswered(const std::string& port) {
    return Take(lineWords_, port);
}

bool MachineWorld::RecordWritable(std::string& why) {
    return record_.empty() || machine::CanAppend(record_, why);
}

std::vector<RecordedBurn> MachineWorld::RecordedSince() {
    std::vector<RecordedBurn> records;
    if (!follower_) {
        return records;
    }
    std::vector<std::string> warnings;
    std::string error;
    if (!follower_->Follow(records, warnings, error) && error != recordTrouble_) {
        warnings.push_back(error);
    }
    recordTrouble_ = error;
    for (const std::string& warning : warnings) {
        Warn(warning);
    }
    return records;
}

}  // namespace norvane::line
