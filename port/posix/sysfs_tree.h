// Small readers over the kernel's device tree (sysfs). The root is a parameter
// so that tests can build a tree of their own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace norvane::posix {

// Where the device tree and the device nodes are: /sys and /dev. Two test
// settings put a fake tree (NORVANE_FWUPDATE_SYSFS) and a folder of its nodes
// (NORVANE_FWUPDATE_DEV, links to pseudo-terminals) in their place, for the
// tests that run the programs against simulated USB sockets. An installation
// never sets them.
inline std::string FromEnvironment(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}
inline const std::string kSysfsRoot = FromEnvironment("NORVANE_FWUPDATE_SYSFS", "/sys");
inline const std::string kDevRoot = FromEnvironment("NORVANE_FWUPDATE_DEV", "/dev") + "/";

// The names under <root>/class/tty that have a device behind them (a `device`
// link), in port-name order. Virtual consoles and the like have none.
std::vector<std::string> TtysWithDevice(const std::string& sysfsRoot);

// The resolved device directory of a tty, or nothing.
std::optional<std::filesystem::path> TtyDevice(const std::string& sysfsRoot,
                                               const std::string& ttyName);

// The first line of a small attribute file, without surrounding white space.
std::optional<std::string> ReadAttribute(const std::filesystem::path& file);

}  // namespace norvane::posix
