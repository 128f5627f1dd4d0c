// The program's entry: the main window and its message loop.
#include "ui/win32/commands.h"
#include "ui/win32/main_window.h"

int WINAPI WinMain(HINSTANCE hThisInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpszArgument*/,
                   int nCmdShow) {
    HWND window = norvane::CreateMainWindow(hThisInstance);
    if (window == nullptr) {
        return 0;
    }
    const int code = norvane::RunMainWindow(window, nCmdShow);
    // Closing the window ends the program at once, also during a burn. The
    // worker is stopped by the system here, before the runtime tears down the
    // shared values it may still be using; the system closes its port.
    if (norvane::BurnRunning()) {
        ExitProcess(static_cast<UINT>(code));
    }
    return code;
}
