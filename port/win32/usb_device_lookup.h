// Finding the PLC's USB device interface by the vendor and product in its path.
#pragma once

#include <string>
#include <vector>

#include "port/win32/port_names.h"
#include "port/win32/setupapi_headers.h"

namespace norvane {

// The device interface class of USB devices.
extern const GUID USB_DRIVER_GUID;

// Opens the interface if its path is the PLC's and fits the path buffer
// (`path` receives the path); otherwise INVALID_HANDLE_VALUE.
HANDLE OpenOneDevice(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* interfaceData,
                     char (&path)[kDevicePathSize]);

// The first interface of the class, by index, that OpenOneDevice opens.
HANDLE OpenUsbDevice(const GUID* interfaceClass, char (&path)[kDevicePathSize]);

// 1 with the PLC's device path in `path`, 0 when no PLC could be opened.
int GetUsbDeviceFileName(const GUID* interfaceClass, char (&path)[kDevicePathSize]);

// The device paths of every attached PLC interface, by interface index, without
// opening any of them: what --list shows and where a PLC is looked for again by
// its serial number after the replug.
std::vector<std::string> PlcInterfacePaths();

}  // namespace norvane
