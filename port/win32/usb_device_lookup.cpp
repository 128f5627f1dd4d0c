#include "port/win32/usb_device_lookup.h"

#include <cstring>
#include <vector>

namespace norvane {

const GUID USB_DRIVER_GUID = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

namespace {

// Copies the interface's device path into `path`; false when the path cannot be
// read or would leave no room in the buffer for the backslash.
bool ReadDevicePath(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* interfaceData,
                    char (&path)[kDevicePathSize]) {
    DWORD required = 0;
    // Asks only for the size; the call reports that the buffer was too small.
    SetupDiGetDeviceInterfaceDetailA(devices, interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return false;
    }
    std::vector<unsigned char> storage(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(devices, interfaceData, detail, required, nullptr,
                                          nullptr)) {
        return false;
    }
    // The path must end within the record and leave room for the backslash.
    const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const void* end = std::memchr(detail->DevicePath, '\0', room);
    if (end == nullptr || !DevicePathFits(detail->DevicePath)) {
        return false;
    }
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const char*>(end) - detail->DevicePath);
    std::memset(path, 0, sizeof path);
    std::memcpy(path, detail->DevicePath, length);
    return true;
}

}  // namespace

HANDLE OpenOneDevice(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* interfaceData,
                     char (&path)[kDevicePathSize]) {
    if (!ReadDevicePath(devices, interfaceData, path) || !IsPlcDevicePath(path)) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE OpenUsbDevice(const GUID* interfaceClass, char (&path)[kDevicePathSize]) {
    HDEVINFO devices = SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (DWORD index = 0; index < 0x7FFFFFFF; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (SetupDiEnumDeviceInterfaces(devices, nullptr, interfaceClass, index, &interfaceData)) {
            handle = OpenOneDevice(devices, &interfaceData, path);
            if (handle != INVALID_HANDLE_VALUE) {
                break;
            }
        } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return handle;
}

int GetUsbDeviceFileName(const GUID* interfaceClass, char (&path)[kDevicePathSize]) {
    HANDLE probe = OpenUsbDevice(interfaceClass, path);
    if (probe == INVALID_HANDLE_VALUE) {
        return 0;
    }
    CloseHandle(probe);
    return 1;
}

std::vector<std::string> PlcInterfacePaths() {
    std::vector<std::string> paths;
    HDEVINFO devices = SetupDiGetClassDevsA(&USB_DRIVER_GUID, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) {
        return paths;
    }
    for (DWORD index = 0; index < 0x7FFFFFFF; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (SetupDiEnumDeviceInterfaces(devices, nullptr, &USB_DRIVER_GUID, index,
                                        &interfaceData)) {
            char path[kDevicePathSize];
            if (ReadDevicePath(devices, &interfaceData, path) && IsPlcDevicePath(path)) {
                paths.emplace_back(path);
            }
        } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return paths;
}

}  // namespace norvane
