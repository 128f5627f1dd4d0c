// Small readers over the kernel's device tree (sysfs). The root is a parameter
// so that tests can build a tree of their own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "port/test_settings.h"

namespace norvane::posix {

// Where the device tree and the device nodes are: /sys and /dev. Two test
// settings put a fake tree and a folder of its nodes (links to pseudo-terminals)
// in their place, for the tests that run the programs against simulated USB
// sockets (test_settings.h).
inline const std::string kSysfsRoot = TestSettingOr(TestSetting::SysfsRoot, "/sys");
inline const std::string kDevRoot = TestSettingOr(TestSetting::DevRoot, "/dev") + "/";

// The names under <root>/class/tty that have a device behind them (a `device`
// link), in port-name order. Virtual consoles and the like have none.
std::vector<std::string> TtysWithDevice(const std::string& sysfsRoot);

// The resolved device directory of a tty, or nothing.
std::optional<std::filesystem::path> TtyDevice(const std::string& sysfsRoot,
                                               const std::string& ttyName);

// The first line of a small attribute file, without surrounding white space.
std::optional<std::string> ReadAttribute(const std::filesystem::path& file);

}  // namespace norvane::posix
