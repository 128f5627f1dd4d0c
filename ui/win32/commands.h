// The main window's commands.
#pragma once

#include "port/win32/win32_headers.h"

namespace norvane {

// Port pick: the picked entry becomes the port a burn opens.
void OnPortPicked(HWND portList);

// Model change: the selection follows the model list and the port list is
// refilled for the new model's link kind.
void OnModelChanged(HWND modelList);

// Start Burn: starts the burn worker, unless one is running already.
void OnStartBurn(HWND window, HWND sender);

// Whether a burn worker is running (from Start Burn until the worker has
// released everything it holds).
bool BurnRunning();

// Choose file: the open-file dialog; the chosen file's size becomes fileLength.
void OnChooseFile(HWND window);

}  // namespace norvane
