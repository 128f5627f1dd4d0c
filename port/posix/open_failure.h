// Why a port could not be opened, in words a technician can act on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "port/posix/port_holders.h"

namespace norvane::posix {

enum class OpenFailureKind : std::uint8_t {
    None,
    NotFound,          // no such device, or no hardware behind it
    PermissionDenied,  // this user may not open it
    Busy,              // another process (perhaps another copy of this tool) holds it
    NotASerialPort,    // it exists but is no terminal device
    NoUsbPlc,          // no tty of the PLC's USB device was found
    NotBack,           // after the replug, the PLC did not come back in time
    OwnTerminal,       // the terminal this program runs on
    NoLock,            // the PLC's lock cannot be had, so no burn may change it
    Other,
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    std::string path;                 // what was opened; empty for NoUsbPlc
    int error = 0;                    // errno of the failing call, 0 when none
    std::vector<PortHolder> holders;  // for Busy, when they could be found
    bool burning = false;             // for Busy: the holder burns this PLC
    std::string detail;               // for NoLock: why, naming the path
};

// The kind of failure an errno from open() or flock() stands for.
OpenFailureKind ClassifyOpenError(int error);

// One line: what failed, e.g. "cannot open /dev/ttyUSB0: the port is busy
// (held by picocom, pid 1234)".
std::string DescribeOpenFailure(const OpenFailure& failure);

// What the user can do about it; empty when there is nothing useful to say.
std::string OpenFailureHint(const OpenFailure& failure);

}  // namespace norvane::posix
