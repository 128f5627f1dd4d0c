// The PLC interfaces on USB as the console program sees them, and the device a
// PLC's pipe path opens. A test setting (NORVANE_FWUPDATE_PLC_INTERFACES) puts a
// fake listing in the machine's place, for the tests that run the program under
// Wine, where no PLC's USB interface can be attached: it names a text file whose
// lines each give an interface path and, after a tab, the device its pipe opens
// (a COM port with a simulated PLC behind it). The file is read at every look,
// so a test plugs a PLC in and pulls it out by writing it. An installation never
// sets it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace norvane {

struct ListedInterface {
    std::string path;    // as the system names the interface
    std::string device;  // what its pipe opens
};

// The fake listing's rows (none while its file cannot be read: every PLC pulled
// out); nothing when the test setting is not set.
std::optional<std::vector<ListedInterface>> FakeInterfaceListing();

// Every attached PLC interface's device path, by interface index: the fake
// listing's, or the machine's.
std::vector<std::string> AttachedPlcInterfaces();

// The device a PLC's pipe path (an interface path and its backslash) opens:
// under a fake listing the device listed for it, empty when it is not listed
// (pulled out); any other path (a COM port opened as a pipe) is itself.
std::string PipeDevice(const std::string& pipePath);

}  // namespace norvane
