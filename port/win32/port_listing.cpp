#include "port/win32/port_listing.h"

#include <algorithm>
#include <cstring>

#include "port/win32/port_names.h"
#include "port/win32/setupapi_headers.h"

namespace norvane {

namespace {

constexpr DWORD kFriendlyNameSize = 1024;

// The friendly names of the devices in the set; devices without one are passed over.
std::vector<std::string> FriendlyNames(HDEVINFO devices) {
    std::vector<std::string> names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        BYTE friendlyName[kFriendlyNameSize];
        std::memset(friendlyName, 0, sizeof friendlyName);
        // One byte short of the buffer, so that the name always ends in a NUL.
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              friendlyName, kFriendlyNameSize - 1, nullptr)) {
            names.emplace_back(reinterpret_cast<const char*>(friendlyName));
        }
    }
    return names;
}

// The ports named under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, one per value.
std::vector<std::string> SerialMapNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        char port[64] = {};
        DWORD portSize = sizeof port - 1;  // keeps a NUL after whatever is stored
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(port), &portSize);
        // Anything but a value read or one too long for the buffer ends the
        // walk: a key that vanished would otherwise fail at every index.
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
            break;
        }
        // A value too long for the buffer (ERROR_MORE_DATA) names no port that fits an entry.
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            names.emplace_back(port);
        }
    }
    RegCloseKey(key);
    return names;
}

}  // namespace

std::optional<std::vector<std::string>> ComPortNames() {
    HDEVINFO devices =
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const std::vector<std::string> friendlyNames = FriendlyNames(devices);
    SetupDiDestroyDeviceInfoList(devices);
    return ComPortEntries(friendlyNames, SerialMapNames);
}

// The sorted list compares its entries as the platform's case-blind string
// comparison does; lstrcmpiA is that comparison.
std::vector<std::string> InPortListOrder(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

}  // namespace norvane
