#include "port/posix/open_failure.h"

#include <cerrno>
#include <cstring>

#include "burn/untrusted_text.h"

namespace norvane::posix {

OpenFailureKind ClassifyOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:  // a serial node without hardware behind it
            return OpenFailureKind::NotFound;
        case EACCES:
        case EPERM:
            return OpenFailureKind::PermissionDenied;
        case EBUSY:
        case EWOULDBLOCK:  // the lock taken by another opener
            return OpenFailureKind::Busy;
        case ENOTTY:
            return OpenFailureKind::NotASerialPort;
        default:
            return OpenFailureKind::Other;
    }
}

namespace {

std::string HolderList(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& holder : holders) {
        if (!text.empty()) {
            text += ", ";
        }
        text += DescribeHolder(holder);
    }
    return text;
}

}  // namespace

std::string DescribeOpenFailure(const OpenFailure& failure) {
    if (failure.kind == OpenFailureKind::NoUsbPlc) {
        return "no PLC found on USB (no serial port of USB device 6c2e:0001)";
    }
    if (failure.kind == OpenFailureKind::NotBack) {
        return "the PLC did not come back at " + ForPerson(failure.path) + " after the replug";
    }
    std::string text = "cannot open " + ForPerson(failure.path) + ": ";
    switch (failure.kind) {
        case OpenFailureKind::None:
            return "";
        case OpenFailureKind::NotFound:
            return text + "no such port";
        case OpenFailureKind::PermissionDenied:
            return text + "permission denied";
        case OpenFailureKind::Busy:
            text += failure.burning ? "another program is burning this PLC" : "the port is busy";
            if (!failure.holders.empty()) {
                text += " (held by " + HolderList(failure.holders) + ")";
            }
            return text;
        case OpenFailureKind::OwnTerminal:
            return text + "it is the terminal this program runs on, not a PLC's port";
        case OpenFailureKind::NotASerialPort:
            return text + "not a serial port";
        case OpenFailureKind::NoLock:
            return text + "its lock cannot be taken: " + ForPerson(failure.detail);
        case OpenFailureKind::NoUsbPlc:
        case OpenFailureKind::NotBack:
        case OpenFailureKind::Other:
            break;
    }
    return text + (failure.error != 0 ? std::strerror(failure.error) : "unknown error");
}

std::string OpenFailureHint(const OpenFailure& failure) {
    switch (failure.kind) {
        case OpenFailureKind::NotFound:
            return "check the cable and the port name (ttyS0, ttyUSB0, ttyACM0, ...); "
                   "--list shows every port that could hold a PLC";
        case OpenFailureKind::PermissionDenied:
            return "add yourself to the dialout group (sudo usermod -aG dialout $USER, then log "
                   "in again); the package's udev rule, "
                   "/usr/lib/udev/rules.d/99-norvane-plc.rules, gives that group the PLC's "
                   "USB port";
        case OpenFailureKind::Busy:
            if (failure.burning) {
                return "wait for that burn to end; a PLC is burnt by one program at a time";
            }
            return failure.holders.empty()
                       ? "close the program that uses the port (a terminal program, another "
                         "copy of this tool or a modem manager) and try again"
                       : "close that program and try again";
        case OpenFailureKind::NotASerialPort:
            return "name a serial port such as ttyUSB0 or /dev/ttyACM0";
        case OpenFailureKind::NotBack:
            return "plug the PLC back into the same USB socket (--list shows where each PLC is; "
                   "--replug-timeout gives it longer)";
        case OpenFailureKind::NoUsbPlc:
            return "connect the PLC's USB port and power the PLC; the kernel should then create "
                   "a ttyACM or ttyUSB port for it (see the kernel log, sudo dmesg)";
        case OpenFailureKind::OwnTerminal:
            return "name the port the PLC is on (--list shows them)";
        case OpenFailureKind::NoLock:
            return "nothing was sent: a burn never goes on without its PLC's lock, which keeps "
                   "a second program off the PLC; mend what the line above says and try again";
        case OpenFailureKind::None:
        case OpenFailureKind::Other:
            break;
    }
    return "";
}

}  // namespace norvane::posix
