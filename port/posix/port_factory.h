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
#include "port/posix/plc_lock.h"
#include "port/posix/port_release.h"
#include "port/posix/usb_identity.h"

namespace norvane::posix {

// What a port is opened for: a burn, which may change the PLC and so never goes
// on without the PLC's lock; or only asking the PLC what it is, which takes the
// lock where it can be had and goes on without it where it cannot.
enum class PortUse { Burn, Ask };

class PortOpener {
  public:
    using Clock = std::chrono::steady_clock;
    using OpenPath = std::function<LinkPtr(const std::string& path, OpenFailure* failure)>;
    using Sleep = std::function<void(std::chrono::milliseconds)>;
    using SearchListener = std::function<void(std::int64_t secondsLeft)>;

    // `selector` as --port gives it; empty: the port the window would choose.
    explicit PortOpener(std::string selector,
                        std::chrono::milliseconds replugTimeout = std::chrono::seconds(30),
                        std::string sysfsRoot = kSysfsRoot, PortUse use = PortUse::Burn);

    // A serial port: `name` ("ttyUSB0" for /dev/ttyUSB0), a path or a USB identity.
    LinkPtr OpenSerial(const std::string& name, OpenFailure* failure);

    // The PLC's own USB port. The first open takes the selector, or the first
    // PLC on USB; every later one waits, up to the replug time-out, for the device
    // with the identity of the first (the same socket, the same serial number
    // where it has one) and opens that, whatever its node is called now. While
    // it waits, `listener` (see OnSearch) hears the seconds left.
    LinkPtr OpenUsbPlc(OpenFailure* failure);

    void OnSearch(SearchListener listener) { searching_ = std::move(listener); }

    // The replug answered by the PLC itself: waits, up to `limit`, until the USB
    // device last opened has left its socket and come back, telling `told` the
    // seconds left once a second. True at once for a port with no USB identity,
    // which cannot be seen to leave.
    bool AwaitReplug(std::chrono::milliseconds limit, const SearchListener& told);
    // The burn lets the port go for good: its settings go back (port_release.h).
    void LetGo() { release_->LetGo(); }

    // The USB identity of the port last opened, when it is behind a USB device.
    const std::optional<UsbIdentity>& identity() const { return identity_; }
    const std::string& device() const { return device_; }

    // For tests: how paths are opened (instead of the port's own open, which
    // also takes the PLC's lock), and how time passes.
    void SetOpenPath(OpenPath open) { open_ = std::move(open); }
    void SetClock(std::function<Clock::time_point()> now, Sleep sleep);

  private:
    LinkPtr Opened(const std::string& device, OpenFailure* failure);

    std::string selector_;
    std::chrono::milliseconds replugTimeout_;
    std::string sysfsRoot_;
    std::optional<UsbIdentity> identity_;
    std::string device_;
    bool openedBefore_ = false;
    std::shared_ptr<PortRelease> release_ = std::make_shared<PortRelease>();
    OpenPath open_;
    std::function<Clock::time_point()> now_;
    Sleep sleep_;
    SearchListener searching_;
};

// The device node a selector names now (see ParsePortSelector); empty when no
// such device is attached.
std::string ResolvePortSelector(const std::string& selector,
                                const std::string& sysfsRoot = kSysfsRoot);

// The terminal this program runs on: its controlling terminal, or the terminal
// behind its standard input, output or error, whatever the name `device` gives it.
bool IsOwnTerminal(const std::string& device);

// "usb-path:1-2.3 (serial XYZ)": an identity as the messages name it.
std::string DescribeIdentity(const UsbIdentity& identity);

}  // namespace norvane::posix
