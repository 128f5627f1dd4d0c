#include "port/posix/port_listing.h"

#include <algorithm>
#include <cctype>

namespace norvane::posix {

namespace {

namespace fs = std::filesystem;

// The 8250 driver registers a fixed number of ttyS ports whether or not a
// UART is there. Such a port reports the type "unknown" (0); a kernel too old
// to report the type shows it hanging off the driver's platform device.
bool IsPhantomUart(const std::string& sysfsRoot, const std::string& name) {
    const auto type = ReadAttribute(fs::path(sysfsRoot) / "class" / "tty" / name / "type");
    if (type) {
        return *type == "0";
    }
    const auto device = TtyDevice(sysfsRoot, name);
    return device && device->filename().string().rfind("serial8250", 0) == 0;
}

}  // namespace

std::vector<std::string> ListTtysWithHardware(const std::string& sysfsRoot) {
    std::vector<std::string> ttys = TtysWithDevice(sysfsRoot);
    ttys.erase(
        std::remove_if(ttys.begin(), ttys.end(),
                       [&](const std::string& name) { return IsPhantomUart(sysfsRoot, name); }),
        ttys.end());
    return ttys;
}

std::vector<std::string> ListSerialPorts(const std::string& sysfsRoot) {
    std::vector<std::string> ports = ListTtysWithHardware(sysfsRoot);
    // The kernel writes a '/' of a device name as '!' here; such a name is no
    // port name, only a path.
    ports.erase(
        std::remove_if(ports.begin(), ports.end(),
                       [](const std::string& name) { return name.find('!') != std::string::npos; }),
        ports.end());
    return ports;
}

bool FitsPortName(const std::string& name) {
    return !name.empty() && name.size() <= kPortNameMaxChars &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return std::isgraph(static_cast<unsigned char>(c)) != 0 && c != '/';
           });
}

std::vector<std::string> ListWindowPortNames(const std::string& sysfsRoot) {
    std::vector<std::string> ports = ListSerialPorts(sysfsRoot);
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [](const std::string& name) { return !FitsPortName(name); }),
                ports.end());
    return ports;
}

}  // namespace norvane::posix
