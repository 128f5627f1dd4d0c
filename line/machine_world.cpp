#include "line/machine_world.h"

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

}  // namespace

MachineWorld::MachineWorld(const std::string& record) : record_(record) {
    if (!record.empty()) {
        follower_.emplace(record);
    }
}

MachineWorld::~MachineWorld() = default;

UsbUnits MachineWorld::PlcsOnUsb() {
    UsbUnits units;
    for (const machine::PortRow& row : machine::ListPorts()) {
        if (row.kind == "plc-usb") {
            units[row.name] = UsbUnit{row.usbSerial, row.device};
        }
    }
    return units;
}

void MachineWorld::Ask(const std::string& port) {
    asks_[port] = std::async(std::launch::async, AnswersOn, port);
}

std::optional<bool> MachineWorld::Answer(const std::string& port) {
    auto ask = asks_.find(port);
    if (ask == asks_.end() ||
        ask->second.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return std::nullopt;
    }
    const bool answered = ask->second.get();
    asks_.erase(ask);
    return answered;
}

void MachineWorld::Identify(const std::string& port) {
    // The unit's replug is the burn's to wait for, never the identify's.
    // A unit about to be burnt is asked under its lock, as its burn will be.
    identities_[port] = std::async(std::launch::async, IdentifyPort, port, std::chrono::seconds(1),
                                   machine::PortUse::Burn);
}

std::optional<PortIdentity> MachineWorld::Identified(const std::string& port) {
    auto asked = identities_.find(port);
    if (asked == identities_.end() ||
        asked->second.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return std::nullopt;
    }
    PortIdentity found = asked->second.get();
    identities_.erase(asked);
    return found;
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
