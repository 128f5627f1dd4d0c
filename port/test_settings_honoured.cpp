// Linked into the programs of a build made for tests: the test settings are read
// from the environment.
#include <cstdlib>

#include "port/test_settings.h"

namespace norvane {

const char* TestSettingValue(TestSetting setting) {
    switch (setting) {
        case TestSetting::SysfsRoot:
            return std::getenv("NORVANE_FWUPDATE_SYSFS");
        case TestSetting::DevRoot:
            return std::getenv("NORVANE_FWUPDATE_DEV");
        case TestSetting::LockDirectory:
            return std::getenv("NORVANE_FWUPDATE_LOCK_DIR");
        case TestSetting::SilenceLimit:
            return std::getenv("NORVANE_FWUPDATE_SILENCE_LIMIT");
        case TestSetting::PlcInterfaces:
            return std::getenv("NORVANE_FWUPDATE_PLC_INTERFACES");
    }
    return nullptr;
}

}  // namespace norvane
