#include "port/posix/usb_port_follower.h"

#include <algorithm>

namespace norvane::posix {

namespace {

std::string TreeName(std::string name) {
    std::replace(name.begin(), name.end(), '/', '!');
    return name;
}

}  // namespace

UsbPortFollower::UsbPortFollower(std::unique_ptr<TtyEvents> events, std::string sysfsRoot)
    : events_(std::move(events)), root_(std::move(sysfsRoot)) {}

void UsbPortFollower::ReadTree() {
    ++treeReads_;
    ports_.clear();
    for (PortEntry& entry : ListPorts(root_)) {
        if (entry.usb) {
            ports_.emplace(TreeName(entry.name), std::move(entry));
        }
    }
}

bool UsbPortFollower::Next(std::vector<PortEntry>& ports) {
    if (treeReads_ == 0) {
        ReadTree();
    } else {
        std::vector<TtyEvents::Change> changes;
        switch (events_->Wait(changes)) {
            case TtyEvents::Heard::Stopped:
                return false;
            case TtyEvents::Heard::Lost:
                ReadTree();
                break;
            case TtyEvents::Heard::Changes:
                for (const TtyEvents::Change& change : changes) {
                    ports_.erase(change.tty);
                    if (change.added) {
                        if (std::optional<PortEntry> entry = UsbPortEntry(change.tty, root_)) {
                            ports_.emplace(change.tty, std::move(*entry));
                        }
                    }
                }
                break;
        }
    }
    ports.clear();
    for (const auto& [tty, entry] : ports_) {
        ports.push_back(entry);
    }
    return true;
}

}  // namespace norvane::posix
