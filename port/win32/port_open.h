// Opening the link: a COM port by its listed name, or the PLC's USB pipe.
#pragma once

#include "link/link.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// Opens a listed COM port exclusively; INVALID_HANDLE_VALUE when it cannot be.
HANDLE OpenComPort(const char* name);

// Looks the PLC up afresh and opens its device path, a backslash and `suffix`
// for overlapped reads and writes; INVALID_HANDLE_VALUE when there is none.
HANDLE OpenMyDevPipe(const char* suffix);

// The same, as links; null when the port cannot be opened.
LinkPtr OpenComPortLink(const char* name);
LinkPtr OpenUsbPipeLink(const char* suffix);

}  // namespace norvane
