// The terminal program's system on Windows: the console, and Ctrl-C and
// Ctrl-Break, also as a parent's stop event passes them on.
#include <io.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "line/machine.h"
#include "port/win32/win32_headers.h"
#include "ui/cli/platform.h"

namespace norvane::cli::platform {

namespace {

using line::machine::kStopEventVariable;

std::atomic<bool> gInterrupted{false};
std::mutex gWakeMutex;
std::function<void()> gWake;

void Wake() {
    std::lock_guard<std::mutex> lock(gWakeMutex);
    if (gWake) {
        gWake();
    }
}

// When the console is closed, or the user logs off, the process ends once the
// handler returns; this long is left for the burn to say how it ended.
constexpr DWORD kEndingGraceMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD event) {
    gInterrupted.store(true);
    Wake();
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        Sleep(kEndingGraceMs);
    }
    return TRUE;
}

// Waits on the stop event inherited from the parent, if this process has one.
void WatchStopEvent() {
    const char* value = std::getenv(kStopEventVariable);
    if (value == nullptr || *value == '\0') {
        return;
    }
    const auto event =
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(value, nullptr, 10)));
    // A value that names no waitable handle of ours is ignored.
    if (WaitForSingleObject(event, 0) == WAIT_FAILED) {
        return;
    }
    std::thread([event] {
        if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) {
            gInterrupted.store(true);
            Wake();
        }
    }).detach();
}

}  // namespace

const char* CommandName() {
    return "norvane-fwupdate-cli";
}

const char* PortHelp() {
    return "  --port PORT   the port a PLC is on, one of:\n"
           "                  a COM port such as COM3 or COM12;\n"
           "                  USB             the PLC on USB that the window takes (the\n"
           "                                  lowest interface index);\n"
           "                  a device path   a PLC's USB interface as --list shows it\n"
           "                                  (\\\\?\\usb#vid_6c2e&pid_0001#...), or any\n"
           "                                  path such as \\\\.\\COM3.\n"
           "                Without it: for a PLC on its own USB port, USB; for a PLC on a\n"
           "                serial port, the first COM port in sorted order. After the\n"
           "                replug the tool waits for the PLC with the same USB serial\n"
           "                number (where its device path has one) at whatever interface\n"
           "                index it comes back, never another one.\n";
}

const char* PortAccessHelp() {
    return "A PLC on USB needs its driver installed (see the Device Manager).\n";
}

// A console, and for output one that takes the status line's control sequences
// (Windows 10 and later); an older console gets a line per phase instead.
bool IsTerminal(std::FILE* stream) {
    const intptr_t os = _get_osfhandle(_fileno(stream));
    const auto handle = reinterpret_cast<HANDLE>(os);
    DWORD mode = 0;
    if (os == -1 || !GetConsoleMode(handle, &mode)) {
        return false;
    }
    if (stream == stdin) {
        return true;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// The console window's width; 0 for a pipe, a file or no console at all.
std::size_t TerminalColumns(std::FILE* stream) {
    const intptr_t os = _get_osfhandle(_fileno(stream));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (os == -1 || !GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(os), &info)) {
        return 0;
    }
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

// Input whose writer has gone (a pipe with nobody left at the other end), or no
// input at all. A console cannot go while this process runs: closing it ends
// the process (see HungUp).
bool TerminalGone(std::FILE* stream) {
    const intptr_t os = _get_osfhandle(_fileno(stream));
    const auto handle = reinterpret_cast<HANDLE>(os);
    if (os == -1 || handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return true;
    }
    return GetFileType(handle) == FILE_TYPE_PIPE &&
           !PeekNamedPipe(handle, nullptr, 0, nullptr, nullptr, nullptr);
}

void CatchSignals() {
    // Whoever started this process may have made it a process group of its own,
    // which turns Ctrl-C off; the handler below is to see it.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WatchStopEvent();
    // Nothing else to catch: the C runtime has no signal for a reader that went
    // away (a write to a closed pipe just fails, and Output drops it), and no
    // console stops a program for writing to it.
}

void WakeOnSignal(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(gWakeMutex);
    gWake = std::move(wake);
}

bool Interrupted() {
    return gInterrupted.load();
}

bool TakeHangUp() {
    return false;  // a console closed ends the process: no hang-up to read images again by
}

void ClearInterrupt() {
    gInterrupted.store(false);
}

// Windows has no hang-up that leaves a process running: a console that is
// closed, or a user who logs off, ends every program on it once the control
// handler returns. Those reach OnConsoleControl as an interrupt, so the burn
// says it was cut short in the time it has left.
bool HungUp() {
    return false;
}

}  // namespace norvane::cli::platform
