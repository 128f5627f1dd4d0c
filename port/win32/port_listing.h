// The machine's COM ports as the window's port list shows them for a serial model.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "port/win32/win32_headers.h"

namespace norvane {

// The COM ports of the machine as the window lists them for a serial model, in
// the order the devices came: every present device whose friendly name holds
// "(COM" by the port name inside it; when that finds none at all (drivers that
// give no friendly name, virtual ports), the ports the system's serial-device
// map names. Nothing when the machine's device set cannot be read, in which case
// the window keeps the entries it had.
std::optional<std::vector<std::string>> ComPortNames();

// `names` in the order the window's sorted port list shows them (COM10 before
// COM2, letter case ignored), for a program that prints the list.
std::vector<std::string> InPortListOrder(std::vector<std::string> names);

}  // namespace norvane
