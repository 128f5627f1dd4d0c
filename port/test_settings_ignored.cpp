// Linked into the programs that are installed: no test setting exists for them.
#include "port/test_settings.h"

namespace norvane {

const char* TestSettingValue(TestSetting) {
    return nullptr;
}

}  // namespace norvane
