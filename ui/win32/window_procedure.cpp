#include "burn/shared_values.h"
#include "ui/panel/status_panel.h"
#include "ui/win32/commands.h"
#include "ui/win32/gdi_canvas.h"
#include "ui/win32/main_window.h"

namespace norvane {
namespace {

void OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    const unsigned notification = HIWORD(wParam);
    const unsigned id = LOWORD(wParam) & 0xFF;
    HWND sender = reinterpret_cast<HWND>(lParam);
    if (notification == CBN_SELCHANGE && id == kPortListId) {
        OnPortPicked(sender);
    } else if (notification == CBN_SELCHANGE && id == kModelListId) {
        OnModelChanged(sender);
    } else if (notification == BN_CLICKED && id == kStartBurnId) {
        OnStartBurn(window, sender);
    } else if (notification == 0 && id == kChooseFileId) {
        OnChooseFile(window);
    }
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    GdiCanvas canvas(dc);
    PaintStatusPanel(canvas);
    EndPaint(window, &paint);
}

void OnTimer(HWND window, WPARAM id) {
    if (id == kElapsedTimerId) {
        elapsedTime.fetch_add(1, std::memory_order_relaxed);
    } else if (id == kRepaintTimerId) {
        HDC dc = GetDC(window);
        GdiCanvas canvas(dc);
        RefreshStatusPanel(canvas);
        ReleaseDC(window, dc);
    }
}

}  // namespace

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(hwnd, wParam, lParam);
            return 0;
        case WM_PAINT:
            OnPaint(hwnd);
            return 0;
        case WM_TIMER:
            OnTimer(hwnd, wParam);
            return 0;
        case kStopElapsedTimerMessage:
            KillTimer(hwnd, kElapsedTimerId);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace norvane
