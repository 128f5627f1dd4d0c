// Opening a serial terminal as the link, exclusively.
#pragma once

#include <memory>
#include <string>

#include "port/posix/open_failure.h"
#include "port/posix/posix_serial_link.h"

namespace norvane::posix {

struct SerialOpenResult {
    std::unique_ptr<PosixSerialLink> link;  // null when the open failed
    OpenFailure failure;                    // kind None when it succeeded
};

// Opens the terminal at `path` for reading and writing, without making it the
// controlling terminal, and holds it exclusively: no other opener gets it
// while the link lives, and no second copy of this tool even when run as root.
// The line is switched to a plain byte stream at once; speed and character
// format stay as the port has them until line settings are applied. `release`,
// when given, keeps the settings the port had, to put them back later.
SerialOpenResult OpenSerialPort(const std::string& path,
                                std::shared_ptr<PortRelease> release = nullptr);

// "ttyUSB0" names /dev/ttyUSB0; a name holding a '/' is a path and kept as it is.
std::string DevicePathForPortName(const std::string& name);

}  // namespace norvane::posix
