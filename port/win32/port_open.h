// Opening the link: a COM port by its listed name, or the PLC's USB pipe.
#pragma once

#include <string>

#include "link/link.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// The path a COM port name is opened by: \\.\NAME, or the name itself when it is
// a path already.
std::string ComPortDevicePath(const std::string& name);

// Opens a listed COM port exclusively; INVALID_HANDLE_VALUE when it cannot be.
HANDLE OpenComPort(const char* name);

// Looks the PLC up afresh and opens its device path, a backslash and `suffix`
// for overlapped reads and writes; INVALID_HANDLE_VALUE when there is none.
HANDLE OpenMyDevPipe(const char* suffix);

// Opens a path as the PLC's pipe is opened: shared, for overlapped reads and writes.
HANDLE OpenPipePath(const char* path);

// The same, as links; null when the port cannot be opened.
LinkPtr OpenComPortLink(const char* name);
LinkPtr OpenUsbPipeLink(const char* suffix);

}  // namespace norvane
