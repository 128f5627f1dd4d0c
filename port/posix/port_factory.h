// Opening the link for a burn on Linux: the port the user named (a device node, a
// path, or a USB identity such as usb-path:1-2.3), and the PLC again after its
// replug, known by the identity it had, not by the node the kernel gives it next.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "link/link.h"
#include "port/posix/open_failure.h"
#include "port/posix/usb_identity.h"

namespace norvane::posix {

class PortOpener {
  public:
    using Clock = std::chrono::steady_clock;
    using OpenPath = std::function<LinkPtr(const std::string& path, OpenFailure* failure)>;
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // `selector` as --port gives it; empty: the port the window would choose.
    explicit PortOpener(std::string selector,
                        std::chrono::milliseconds replugTimeout = std::chrono::seconds(30),
                        std::string sysfsRoot = kSysfsRoot);

    // A serial port: `name` ("ttyUSB0" for /dev/ttyUSB0), a path or a USB identity.
    LinkPtr OpenSerial(const std::string& name, OpenFailure* failure);

    // The PLC's own USB port. The first open takes the selector, or the first
    // PLC on USB; every later one waits, up to the replug time-out, for the device
    // with the identity of the first (the same socket, the same serial number
    // where it has one) and opens that, whatever its node is called now.
    LinkPtr OpenUsbPlc(OpenFailure* failure);

    // The USB identity of the port last opened, when it is behind a USB device.
    const std::optional<UsbIdentity>& identity() const { return identity_; }
    const std::string& device() const { return device_; }

    // For tests: how paths are opened, and how time passes.
    void SetOpenPath(OpenPath open) { open_ = std::move(open); }
    void SetClock(std::function<Clock::time_point()> now, Sleep sleep);

  private:
    std::string Resolve(const std::string& selector) const;
    LinkPtr Opened(const std::string& device, OpenFailure* failure);

    std::string selector_;
    std::chrono::milliseconds replugTimeout_;
    std::string sysfsRoot_;
    std::optional<UsbIdentity> identity_;
    std::string device_;
    bool openedBefore_ = false;
    OpenPath open_;
    std::function<Clock::time_point()> now_;
    Sleep sleep_;
};

// "usb-path:1-2.3 (serial XYZ)": an identity as the messages name it.
std::string DescribeIdentity(const UsbIdentity& identity);

}  // namespace norvane::posix
