// Opening the link for a burn on Linux: a serial port the user picked, or the
// PLC's own USB port.
#pragma once

#include <string>

#include "link/link.h"
#include "port/posix/open_failure.h"
#include "port/posix/sysfs_tree.h"

namespace norvane::posix {

// Opens the serial port `name` ("ttyUSB0" for /dev/ttyUSB0, or a path). Null
// when it cannot be opened; then `failure`, when given, says why.
LinkPtr OpenComPortPosix(const std::string& name, OpenFailure* failure = nullptr);

// Opens the PLC's USB port: `explicitPathOrEmpty` when given (a name or a
// path as above), otherwise the port looked up afresh in sysfs, so that after
// a replug the port the kernel has just created is found.
LinkPtr OpenUsbPlcPort(const std::string& explicitPathOrEmpty, OpenFailure* failure = nullptr,
                       const std::string& sysfsRoot = kSysfsRoot);

}  // namespace norvane::posix
