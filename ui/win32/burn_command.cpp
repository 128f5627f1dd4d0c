#include <process.h>

#include <atomic>
#include <cstdint>

#include "burn/burn_sequence.h"
#include "ui/win32/commands.h"
#include "ui/win32/main_window.h"
#include "ui/win32/window_surroundings.h"

namespace norvane {
namespace {

// Set by Start Burn, cleared by the worker after the burn has closed the link
// and released the image, so that a second burn never shares them with the first.
std::atomic<bool> burnRunning{false};

void __cdecl BurnWorker(void* argument) {
    const ParamStruct& params = *static_cast<const ParamStruct*>(argument);
    WindowSurroundings surroundings(params);
    StartBurn(surroundings);
    burnRunning.store(false);
}

}  // namespace

bool BurnRunning() {
    return burnRunning.load();
}

// The button is disabled while a burn runs, but the keyboard (Escape, or Enter
// on the button) can still deliver the command: a second start is refused.
void OnStartBurn(HWND window, HWND sender) {
    if (burnRunning.exchange(true)) {
        return;
    }
    paramStruct.hMainWindow = window;
    paramStruct.hStartButton = sender != nullptr ? sender : GetDlgItem(window, kStartBurnId);
    SetTimer(window, kElapsedTimerId, 1000, nullptr);
    if (_beginthread(BurnWorker, 0, &paramStruct) == static_cast<std::uintptr_t>(-1)) {
        KillTimer(window, kElapsedTimerId);
        burnRunning.store(false);
    }
}

}  // namespace norvane
