// The machine's serial ports, as the port list shows them (ttyS0, ttyUSB0,
// ttyACM0, ...: device names without /dev/).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "port/posix/sysfs_tree.h"

namespace norvane::posix {

// The longest port name the window's port list holds (a 10-byte slot).
constexpr std::size_t kPortNameMaxChars = 9;

// The names under class/tty of every serial port with hardware behind it, in
// port-name order; a '!' stands for a '/' of the device node's path.
std::vector<std::string> ListTtysWithHardware(const std::string& sysfsRoot = kSysfsRoot);

// Every serial port with hardware behind it, in port-name order. Built-in
// serial ports that the kernel reserves without a UART behind them are left out.
std::vector<std::string> ListSerialPorts(const std::string& sysfsRoot = kSysfsRoot);

// Whether `name` fits the window's port-name slot: 1 to 9 printable characters,
// no blanks and no '/'.
bool FitsPortName(const std::string& name);

// ListSerialPorts without the names that do not fit the window's slot.
std::vector<std::string> ListWindowPortNames(const std::string& sysfsRoot = kSysfsRoot);

}  // namespace norvane::posix
