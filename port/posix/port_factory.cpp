#include "port/posix/port_factory.h"

#include <thread>

#include "port/posix/serial_open.h"

namespace norvane::posix {

namespace {

constexpr std::chrono::milliseconds kReplugPoll{100};

LinkPtr OpenPathForBurn(const std::string& path, OpenFailure* failure) {
    SerialOpenResult result = OpenSerialPort(path);
    if (failure != nullptr) {
        *failure = std::move(result.failure);
    }
    return std::move(result.link);
}

void Fail(OpenFailure* failure, OpenFailureKind kind, const std::string& path) {
    if (failure != nullptr) {
        *failure = OpenFailure{};
        failure->kind = kind;
        failure->path = path;
    }
}

}  // namespace

std::string DescribeIdentity(const UsbIdentity& identity) {
    std::string text = "usb-path:" + identity.path;
    if (!identity.serial.empty()) {
        text += " (serial " + identity.serial + ")";
    }
    return text;
}

PortOpener::PortOpener(std::string selector, std::chrono::milliseconds replugTimeout,
                       std::string sysfsRoot)
    : selector_(std::move(selector)),
      replugTimeout_(replugTimeout),
      sysfsRoot_(std::move(sysfsRoot)),
      open_(OpenPathForBurn),
      now_([] { return Clock::now(); }),
      sleep_([](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }) {}

void PortOpener::SetClock(std::function<Clock::time_point()> now, Sleep sleep) {
    now_ = std::move(now);
    sleep_ = std::move(sleep);
}

// The device node a selector names now; empty when no such device is attached.
std::string PortOpener::Resolve(const std::string& selector) const {
    const PortSelector s = ParsePortSelector(selector);
    switch (s.kind) {
        case PortSelector::Kind::UsbPath:
            return FindTtyByIdentity(UsbIdentity{s.value, ""}, sysfsRoot_);
        case PortSelector::Kind::UsbSerial:
            return FindTtyByIdentity(UsbIdentity{"", s.value}, sysfsRoot_);
        case PortSelector::Kind::Node:
            break;
    }
    return DevicePathForPortName(s.value);
}

LinkPtr PortOpener::Opened(const std::string& device, OpenFailure* failure) {
    LinkPtr link = open_(device, failure);
    if (link) {
        device_ = device;
        identity_ = IdentityOfTty(device, sysfsRoot_);
        openedBefore_ = true;
    }
    return link;
}

LinkPtr PortOpener::OpenSerial(const std::string& name, OpenFailure* failure) {
    const std::string device = Resolve(name);
    if (device.empty()) {
        Fail(failure, OpenFailureKind::NotFound, name);
        return nullptr;
    }
    return Opened(device, failure);
}

LinkPtr PortOpener::OpenUsbPlc(OpenFailure* failure) {
    if (!openedBefore_) {
        const std::string device =
            selector_.empty() ? FindUsbPlcTty(sysfsRoot_) : Resolve(selector_);
        if (device.empty()) {
            Fail(failure, selector_.empty() ? OpenFailureKind::NoUsbPlc : OpenFailureKind::NotFound,
                 selector_);
            return nullptr;
        }
        return Opened(device, failure);
    }
    // After the replug: the same device, once it is back and opens.
    const Clock::time_point deadline = now_() + replugTimeout_;
    const std::optional<UsbIdentity> wanted = identity_;
    for (;;) {
        const std::string device = wanted ? FindTtyByIdentity(*wanted, sysfsRoot_) : device_;
        OpenFailure attempt;
        if (!device.empty()) {
            if (LinkPtr link = Opened(device, &attempt)) {
                return link;
            }
        }
        if (now_() >= deadline) {
            if (failure != nullptr) {
                *failure = attempt;
                failure->kind = OpenFailureKind::NotBack;
                failure->path = wanted ? DescribeIdentity(*wanted) : device_;
            }
            return nullptr;
        }
        sleep_(kReplugPoll);
    }
}

}  // namespace norvane::posix
