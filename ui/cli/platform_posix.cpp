// The terminal program's system on Linux: the terminal, and the signals that
// ask a burn or a station to stop.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <thread>

#include "ui/cli/platform.h"

namespace norvane::cli::platform {

namespace {
volatile std::sig_atomic_t gInterrupted = 0;
volatile std::sig_atomic_t gHungUp = 0;
// A byte in this pipe for each signal caught: a thread waits on it to wake
// whoever sleeps until something happens.
int gSignalPipe[2] = {-1, -1};
std::mutex gWakeMutex;
std::function<void()> gWake;

void Tell() {
    const int saved = errno;
    const char one = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &one, 1);
    errno = saved;
}

void OnInterrupt(int) {
    gInterrupted = 1;
    Tell();
}

void OnHangUp(int) {
    gHungUp = 1;
    Tell();
}

void WakeOnEachSignal() {
    pollfd entry{gSignalPipe[0], POLLIN, 0};
    while (poll(&entry, 1, -1) >= 0 || errno == EINTR) {
        char drained[64];
        while (read(gSignalPipe[0], drained, sizeof drained) > 0) {
        }
        std::lock_guard<std::mutex> lock(gWakeMutex);
        if (gWake) {
            gWake();
        }
    }
}

void Catch(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

const char* CommandName() {
    return "norvane-fwupdate";
}

const char* PortHelp() {
    return "  --port PORT   the port a PLC is on, one of:\n"
           "                  a name such as ttyUSB0 (for /dev/ttyUSB0), or any path;\n"
           "                  usb-path:1-2.3  the USB device in that socket (the chain of\n"
           "                                  bus and hub ports that --list shows);\n"
           "                  usb-serial:XYZ  the USB device with that serial number.\n"
           "                Without it: for a PLC on its own USB port, the first such PLC;\n"
           "                for a PLC on a serial port, the first serial port in sorted\n"
           "                order. After the replug the tool waits for the same PLC (the\n"
           "                same socket, and serial number where it has one), whatever\n"
           "                node the kernel gives it, never another one.\n";
}

const char* PortAccessHelp() {
    return "Access without root: be a member of the dialout group; the package's udev rule\n"
           "(/usr/lib/udev/rules.d/99-norvane-plc.rules) gives that group the PLC's USB\n"
           "port. See man norvane-fwupdate and /usr/share/doc/norvane-fwupdate/.\n";
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

std::size_t TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

// A hang-up signal alone is no terminal gone: it also asks a station to read its
// images again. The terminal itself says whether it hung up.
bool TerminalGone(std::FILE* stream) {
    pollfd entry{fileno(stream), POLLIN, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void CatchSignals() {
    if (gSignalPipe[0] < 0 && pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        gSignalPipe[0] = gSignalPipe[1] = -1;  // signals are then seen at the next look
    }
    Catch(SIGINT, OnInterrupt);
    Catch(SIGTERM, OnInterrupt);
    Catch(SIGHUP, OnHangUp);
    // A reader that went away, a terminal that would stop a background job for
    // writing to it or reading from it, or a record that may grow no more (a
    // file size limit) never stops a burn: the write or the read fails, and the
    // program goes on without it.
    for (const int signal : {SIGPIPE, SIGTTOU, SIGTTIN, SIGXFSZ}) {
        std::signal(signal, SIG_IGN);
    }
}

void WakeOnSignal(std::function<void()> wake) {
    static std::once_flag started;
    if (gSignalPipe[0] >= 0) {
        std::call_once(started, [] { std::thread(WakeOnEachSignal).detach(); });
    }
    std::lock_guard<std::mutex> lock(gWakeMutex);
    gWake = std::move(wake);
}

bool Interrupted() {
    return gInterrupted != 0;
}

void ClearInterrupt() {
    gInterrupted = 0;
}

bool HungUp() {
    return gHungUp != 0;
}

bool TakeHangUp() {
    const bool hungUp = gHungUp != 0;
    gHungUp = 0;
    return hungUp;
}

}  // namespace norvane::cli::platform
