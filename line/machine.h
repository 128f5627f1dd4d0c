// What a line needs of the machine it runs on: ports and how to open them, the
// PLCs' locks and the stations' claims on sockets, firmware files, the record
// file, burn processes and the service manager. Implemented for Linux
// (machine_posix.cpp) and Windows (machine_win32.cpp); nothing of a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"

namespace norvane::line::machine {

// A burn process started for one PLC of several finds its parent's stop event
// here, on Windows: the value of an inherited event handle.
constexpr char kStopEventVariable[] = "NORVANE_FWUPDATE_STOP_EVENT";

// ------------------------------------------------------------------ ports
// One row of --list: the name to give --port, its kind, the USB identity of a
// USB device (serial number, socket), and the device node.
struct PortRow {
    std::string name;
    std::string kind;  // "plc-usb" (the PLC's own USB device) or "serial"
    std::string usbSerial;
    std::string usbPath;
    std::string device;
};
std::vector<PortRow> ListPorts();

// The PLCs on their own USB device, followed through the machine's device
// events as they come and go: the tree is read once, and again only where
// events were lost.
class PlcUsbFollower {
  public:
    virtual ~PlcUsbFollower() = default;
    // The first call gives the PLCs there now, at once; each later one waits
    // for the next change of the machine's ports and gives them as they are
    // then (rows of kind "plc-usb"). False once stopped.
    virtual bool Next(std::vector<PortRow>& plcs) = 0;
    // From any thread: Next returns false from now on.
    virtual void Stop() = 0;
};
// Null where the machine's device events cannot be followed (on Windows; or
// the monitor could not be opened, with `error` saying why): then the ports are
// read again and again.
std::unique_ptr<PlcUsbFollower> FollowPlcUsb(std::string& error);

// The window's port list for a serial model.
std::vector<std::string> WindowPortNames();

// Opens the burn's link: a serial port by name, path or identity, or the PLC's
// own USB port, and that again after the replug (the same PLC by its identity,
// waited for up to the replug time-out).
class PortOpening {
  public:
    virtual ~PortOpening() = default;
    virtual LinkPtr OpenSerial(const std::string& name) = 0;
    virtual LinkPtr OpenUsbPlc() = 0;
    // Why the last open failed, and what to do about it; empty when it did not.
    virtual std::string LastFailure() const = 0;
    virtual std::string LastFailureHint() const = 0;
    // The device node last opened and its USB identity (empty when it has none).
    virtual std::string Device() const = 0;
    virtual std::string UsbPath() const = 0;
    virtual std::string UsbSerial() const = 0;
    // Told about once a second while the PLC is searched for after the replug.
    virtual void OnSearch(std::function<void(std::int64_t secondsLeft)> listener) = 0;
    // The burn lets its port go for good: the port's own settings are put back
    // (now, on the one open, and at its close). Never before a prompt.
    virtual void LetGo() = 0;
    // The replug prompt answered by the PLC itself: waits, up to `limit`, until
    // the USB device last opened has left its socket and come back, telling the
    // seconds left about once a second. False when it did not; true at once for
    // a port whose device cannot be seen to leave.
    virtual bool AwaitReplug(std::chrono::seconds limit,
                             const std::function<void(std::int64_t secondsLeft)>& told) = 0;
};
// What the port is opened for: a burn (a --check too), which never goes on
// without the PLC's lock; or asking the PLC what it is, which goes on without it
// where it cannot be had.
enum class PortUse { Burn, Ask };
std::unique_ptr<PortOpening> MakePortOpening(const std::string& selector,
                                             std::chrono::seconds replugTimeout,
                                             PortUse use = PortUse::Burn);

// What a --port names, looked at before any burn: a key that is the same for
// every name of one device (empty when it names none now), whether it is this
// program's own terminal (never to be burnt), and the device with its USB
// identity where it has one.
struct PortCheck {
    std::string key;
    bool ownTerminal = false;
    bool plcUsb = false;  // the PLC's own USB device
    std::string device;
    std::string usbPath;
    std::string usbSerial;
};
PortCheck CheckPort(const std::string& selector);

// Who burns the PLC on `selector` now (its lock is held): the holder's words;
// empty when nobody does. Takes nothing.
std::string PlcHolder(const std::string& selector);

// The port `selector` names is there now (a serial port's node; a USB identity
// with its device attached).
bool PortExists(const std::string& selector);

// A station's claim on a socket it watches, held as long as it watches it: one
// station per socket, so that two stations never race for one unit.
class SocketClaim {
  public:
    virtual ~SocketClaim() = default;
};
// Null when another station has `socket`, with `holder` naming it. Where no
// claim can be had here (the lock folder is not as it must be) the claim is an
// empty one: the burns there say why they cannot go on.
std::unique_ptr<SocketClaim> ClaimSocket(const std::string& socket, std::string& holder);

// A unit set aside for failing twice at a station (known by its USB serial
// number) is to be burnt once more: the request waits in the lock folder until
// the station that set it aside sees the unit again, and is used up there.
// False with `error` set when it cannot be left there.
bool AskAgain(const std::string& usbSerial, std::string& error);
bool AgainAsked(const std::string& usbSerial);

// ------------------------------------------------------------- the service manager
// Tells systemd, where it started this program as a service, how the station
// is ("READY=1", "WATCHDOG=1", "STOPPING=1", "STATUS=..."); nothing elsewhere.
void TellServiceManager(const std::string& state);

// ------------------------------------------------------------ a firmware file
// Reads the regular file at `path` whole into `bytes` ("-": standard input, to
// its end), its size in `size`. A file larger than `limit` is not read: `size`
// tells, `bytes` stays empty. False with `error` set when it cannot be read or
// is no regular file (a directory, a device, a FIFO): such a thing is never
// opened, as opening some devices already changes them.
bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::vector<std::uint8_t>& bytes,
                   std::uint64_t& size, std::string& error);

// The names of the regular files in the folder `dir`, sorted; `skipped` names,
// with why, what else is there (a link, a folder, a device). False with `error`
// set when the folder cannot be read.
bool FilesIn(const std::string& dir, std::vector<std::string>& names,
             std::vector<std::string>& skipped, std::string& error);

// -------------------------------------------------------------- the record file
std::string HostName();
// Opens `path` for appending once, to say before any burn whether it can be
// written; false with `error` set when it cannot.
bool CanAppend(const std::string& path, std::string& error);
// Appends `line` (with its newline) in one write to the end of `path`, whoever
// else appends to it, and syncs it to the disk. A record whose last line was cut
// short (a full disk, a power loss) gets its newline first.
bool AppendLine(const std::string& path, const std::string& line, std::string& error);
// Up to `limit` bytes of the regular file at `path` from `offset` (fewer at its
// end), never through a link nor waiting on a FIFO; `fileId` names the file
// itself, so that one put in its place is told from it (empty, and no bytes, when
// there is no file at `path`). False with `error` set.
bool ReadFrom(const std::string& path, std::uint64_t offset, std::size_t limit,
              std::vector<char>& bytes, std::string& fileId, std::string& error);

// --------------------------------------------------------------- child processes
// A copy of this program burning one PLC, its standard output read by the parent.
class Child {
  public:
    virtual ~Child() = default;
    // Up to `size` bytes of its output; 0 at its end. Blocks until some come.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
    // Asks it to stop as Ctrl-C would.
    virtual void Interrupt() = 0;
    // Tells it of the hang-up this process had.
    virtual void HangUp() = 0;
    // Ends it at once, and every process it started.
    virtual void Kill() = 0;
    // Waits for it: its exit status, or -1 when it was ended by a signal.
    virtual int Wait() = 0;
};
// Starts this program again with `args`, in a process group of its own (it hears
// Ctrl-C only through Interrupt), `input` on its standard input (nothing when
// empty; `input` must outlive the child); null with `error` set when it cannot.
std::unique_ptr<Child> StartChild(const std::vector<std::string>& args,
                                  const std::vector<std::uint8_t>& input, std::string& error);

}  // namespace norvane::line::machine
