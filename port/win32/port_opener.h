// Opening the link for a burn from the console: the port the user named (a COM
// port, "USB" for the PLC the window would choose, or a device path), and the
// PLC again after its replug, known by the USB serial number in its device path
// rather than by whichever PLC comes first. The burn owns its PLC from the first
// open to its end (plc_lock.h), and a COM port gets its own settings back when
// the burn lets it go (port_release.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/link.h"
#include "port/win32/plc_lock.h"

namespace norvane {

enum class OpenFailureKind : std::uint8_t {
    None,
    NotFound,  // no such port or device
    Busy,      // another program holds it (COM ports are opened exclusively), or access
               // denied, or another burn owns the PLC
    NoUsbPlc,  // no PLC interface on USB at all
    NotBack,   // after the replug, the PLC did not come back in time
    Other,
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    std::string path;         // what was opened; empty for NoUsbPlc
    std::string serial;       // NotBack: the USB serial number waited for, when there was one
    std::uint32_t error = 0;  // the system's error code of the failing open, 0 when none
    bool burning = false;     // Busy: another program burns this PLC
    PortHolder holder;        // that program, when it could be read
};

// The system's own words for an error code, on one line without its full stop;
// "system error N" where it has none.
std::string SystemErrorText(std::uint32_t error);

// The kind of failure a system error code from opening a port stands for.
OpenFailureKind ClassifyOpenError(std::uint32_t error);

// One line: what failed, e.g. "cannot open \\.\COM3: the port is in use by another program".
std::string DescribeOpenFailure(const OpenFailure& failure);

// What the user can do about it; empty when there is nothing useful to say.
std::string OpenFailureHint(const OpenFailure& failure);

// The system as the opener sees it, so that tests can run it on a fake one.
struct PortSystem {
    using Clock = std::chrono::steady_clock;
    // The PLC interface the window opens: the lowest interface index that opens.
    // Empty when there is none.
    std::function<std::string()> windowsPlcInterface;
    // Every attached PLC interface's device path, by interface index.
    std::function<std::vector<std::string>()> plcInterfaces;
    // Opens `path` as a COM port (exclusively) or as the PLC's pipe (shared,
    // overlapped); null with the system's error code in `error`.
    std::function<LinkPtr(const std::string& path, bool pipe, std::uint32_t& error)> open;
    // Takes the PLC's owner lock named `key` for as long as the system lives.
    std::function<PlcLock::Taken(const std::string& key, PortHolder& holder)> takeLock;
    // The burn lets its port go for good: a COM port gets its own settings back.
    std::function<void()> letGo;
    std::function<Clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> sleep;
};
PortSystem ThisPortSystem();

// Whether a --port name stands for the PLC the window would choose ("USB").
bool NamesWindowsChoice(const std::string& name);

// The path a --port name is opened by as the PLC's pipe: a PLC interface path
// followed by the backslash the window opens it with, a name such as COM12 as
// \\.\COM12, any other path as it is given.
std::string PipePathFor(const std::string& name);

class PortOpener {
  public:
    // `selector` as --port gives it; empty: the PLC the window would choose.
    PortOpener(std::string selector, std::chrono::milliseconds replugTimeout,
               PortSystem system = ThisPortSystem());

    // A COM port by name ("COM12") or path, as the window opens it.
    LinkPtr OpenSerial(const std::string& name);

    // The PLC's pipe. The first open takes the selector, or the PLC the window
    // would choose. Every later one waits, up to the replug time-out, for the PLC
    // with the serial number of the first (whatever interface index it has now),
    // and opens that; a PLC without a serial number is looked for where it was
    // (a path opened as it is, or again the window's choice).
    LinkPtr OpenUsbPlc();

    // Told the seconds left, about once a second, while OpenUsbPlc waits for the PLC.
    void OnSearch(std::function<void(std::int64_t secondsLeft)> listener) {
        searching_ = std::move(listener);
    }
    void LetGo() { system_.letGo(); }

    // The replug answered by the PLC itself: waits, up to `limit`, until the PLC
    // with the USB serial number of the last open has gone and come back, telling
    // `told` the seconds left once a second. True at once for a PLC without a
    // serial number, which cannot be told from another that comes.
    bool AwaitReplug(std::chrono::milliseconds limit,
                     const std::function<void(std::int64_t secondsLeft)>& told);

    // Why the last open failed; kind None when it did not.
    const OpenFailure& failure() const { return failure_; }
    // The path last opened, and the USB serial number in it (empty when it has none).
    const std::string& device() const { return device_; }
    const std::string& serial() const { return serial_; }

  private:
    LinkPtr Open(const std::string& path, bool pipe, OpenFailure& failure);
    // Whether the PLC at `path` is this burn's: the first open takes its lock.
    bool Owned(const std::string& path, OpenFailure& failure);
    // Where the PLC is looked for after the replug; empty while it is not there.
    std::string PathAfterReplug() const;

    std::string selector_;
    std::chrono::milliseconds replugTimeout_;
    PortSystem system_;
    OpenFailure failure_;
    std::string device_;
    std::string serial_;
    bool openedBefore_ = false;
    bool followsWindow_ = false;  // opened as the window's choice
    bool locked_ = false;         // the lock is ours until the opener ends
    std::function<void(std::int64_t)> searching_;
};

}  // namespace norvane
