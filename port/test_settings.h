// Settings that only the program's own tests give: a fake device tree and its
// device nodes, a lock folder of their own, a shorter silence limit, a fake list
// of the PLC interfaces of a Windows machine. A program built for installation
// (the Debian package, the Windows zip) is linked with the part that answers
// nothing, so that no environment, settings file or `sudo` that keeps the
// environment can point an installed station at a fake /dev.
#pragma once

#include <string>

namespace norvane {

enum class TestSetting {
    SysfsRoot,      // the device tree instead of /sys
    DevRoot,        // the device nodes instead of /dev
    LockDirectory,  // the folder of the PLCs' locks
    SilenceLimit,   // seconds a station's burn may say nothing
    PlcInterfaces,  // a file listing the PLC interfaces (Windows)
};

// The setting's value; null where none is given, and always in a program built
// for installation.
const char* TestSettingValue(TestSetting setting);

// The setting's value, or `otherwise` where none is given.
inline std::string TestSettingOr(TestSetting setting, const char* otherwise) {
    const char* value = TestSettingValue(setting);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

}  // namespace norvane
