// The window's port list: the machine's COM ports for a serial model, the
// single entry "USB" for a model reached through its own USB port.
#pragma once

#include "port/win32/win32_headers.h"

namespace norvane {

// Entries this listing put into the port list; it empties the list before a refill.
extern int totalComPort;

// Refills the list with ComPortNames(); leaves it as it was when there are none to be had.
void EnumComPort(HWND hComPortList);

// Empties the list, adds "USB" and selects it.
void EnumUSBPort(HWND hComPortList);

}  // namespace norvane
