#include "port/win32/port_open.h"

#include <cstring>
#include <memory>
#include <string>

#include "port/win32/com_port_link.h"
#include "port/win32/usb_device_lookup.h"
#include "port/win32/usb_pipe_link.h"

namespace norvane {

// Ports above COM9 open only through the device namespace, and every port
// opens that way, so listed names are opened as \\.\NAME.
std::string ComPortDevicePath(const std::string& name) {
    if (name.compare(0, 2, "\\\\") == 0) {
        return name;
    }
    return "\\\\.\\" + name;
}

HANDLE OpenComPort(const char* name) {
    return CreateFileA(ComPortDevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenPipePath(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

HANDLE OpenMyDevPipe(const char* suffix) {
    char path[kDevicePathSize];
    std::memset(path, 0, sizeof path);
    if (GetUsbDeviceFileName(&USB_DRIVER_GUID, path) == 0) {
        return INVALID_HANDLE_VALUE;
    }
    if (!AppendPipeSuffix(path, suffix)) {
        return INVALID_HANDLE_VALUE;
    }
    return OpenPipePath(path);
}

LinkPtr OpenComPortLink(const char* name) {
    HANDLE handle = OpenComPort(name);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<ComPortLink>(handle);
}

LinkPtr OpenUsbPipeLink(const char* suffix) {
    HANDLE handle = OpenMyDevPipe(suffix);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<UsbPipeLink>(handle);
}

}  // namespace norvane
