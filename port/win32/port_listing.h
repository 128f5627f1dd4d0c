// Filling the window's port list: the machine's COM ports for a serial model,
// the single entry "USB" for a model reached through its own USB port.
#pragma once

#include "port/win32/win32_headers.h"

namespace norvane {

// Entries this listing put into the port list; it empties the list before a refill.
extern int totalComPort;

// Lists every present device whose friendly name holds "(COM" by the port name
// inside it. When that finds none at all (drivers that give no friendly name,
// virtual ports), the ports the system's serial-device map names are listed.
void EnumComPort(HWND hComPortList);

// Empties the list, adds "USB" and selects it.
void EnumUSBPort(HWND hComPortList);

}  // namespace norvane
