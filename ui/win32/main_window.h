// The main window: its identifiers, the values it owns and its procedure.
#pragma once

#include <string>

#include "port/win32/win32_headers.h"

namespace norvane {

constexpr char szClassName[] = "WindowsApp";
constexpr char kWindowTitle[] = "Norvane PLC Firmware Update Program";

// Control identifiers. The button shares its identifier with the platform's
// cancel command, so Escape starts a burn as a click does.
constexpr int kStartBurnId = 2;
constexpr int kPortListId = 7;
constexpr int kModelListId = 8;
// Enter outside the button: the platform's default command.
constexpr int kChooseFileId = 1;

constexpr UINT_PTR kElapsedTimerId = 5;  // counts elapsedTime once a second
constexpr UINT_PTR kRepaintTimerId = 6;  // redraws the status panel ten times a second

// Sent by the burn worker: the window thread stops the elapsed-time timer it owns.
constexpr UINT kStopElapsedTimerMessage = WM_APP + 1;

// What the burn worker is given: the owner of its messages and timer, and the
// button it disables and enables. Lives as long as the program.
struct ParamStruct {
    HWND hMainWindow;
    HWND hStartButton;
};
extern ParamStruct paramStruct;

extern HWND hComPortList;
extern int ComSelidx;  // the port-list entry the user last picked

// Registers the class, creates the window and its controls, selects the served
// model and fills the port list; the window is not shown. Null when the class
// cannot be registered.
HWND CreateMainWindow(HINSTANCE instance);

// Shows the window and runs the message loop; returns the quit code.
int RunMainWindow(HWND window, int showCommand);

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The text of a combo box's entry; empty for no entry.
std::string ComboText(HWND combo, LRESULT index);

}  // namespace norvane
