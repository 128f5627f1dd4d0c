#include "port/win32/port_opener.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <thread>

#include "burn/untrusted_text.h"
#include "port/replug_wait.h"
#include "port/win32/com_port_link.h"
#include "port/win32/plc_interface_listing.h"
#include "port/win32/port_names.h"
#include "port/win32/port_open.h"
#include "port/win32/port_release.h"
#include "port/win32/usb_device_lookup.h"
#include "port/win32/usb_pipe_link.h"

namespace norvane {

namespace {

constexpr std::chrono::milliseconds kReplugPoll{100};

OpenFailure Failed(OpenFailureKind kind, const std::string& path, std::uint32_t error = 0) {
    OpenFailure failure;
    failure.kind = kind;
    failure.path = path;
    failure.error = error;
    return failure;
}

}  // namespace

std::string SystemErrorText(std::uint32_t error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string words(text, length);
    // The text ends a sentence and a line; here it ends a line of ours.
    while (!words.empty() &&
           (std::isspace(static_cast<unsigned char>(words.back())) != 0 || words.back() == '.')) {
        words.pop_back();
    }
    return words.empty() ? "system error " + std::to_string(error) : words;
}

OpenFailureKind ClassifyOpenError(std::uint32_t error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return OpenFailureKind::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return OpenFailureKind::Busy;
        default:
            return OpenFailureKind::Other;
    }
}

std::string DescribeOpenFailure(const OpenFailure& failure) {
    switch (failure.kind) {
        case OpenFailureKind::None:
            return "";
        case OpenFailureKind::NoUsbPlc:
            return "no PLC found on USB (no device interface with vid_6c2e&pid_0001)";
        case OpenFailureKind::NotBack:
            return failure.serial.empty()
                       ? "the PLC did not come back at " + failure.path + " after the replug"
                       : "the PLC with USB serial number " + failure.serial +
                             " did not come back after the replug";
        case OpenFailureKind::NotFound:
            return "cannot open " + failure.path + ": no such port";
        case OpenFailureKind::Busy:
            if (failure.burning) {
                return "cannot open " + failure.path + ": another program is burning this PLC" +
                       (failure.holder.pid == 0
                            ? std::string()
                            : " (held by " + ForPerson(failure.holder.command) + ", pid " +
                                  std::to_string(failure.holder.pid) + ")");
            }
            return "cannot open " + failure.path + ": the port is in use by another program";
        case OpenFailureKind::Other:
            break;
    }
    return "cannot open " + failure.path + ": " + SystemErrorText(failure.error);
}

std::string OpenFailureHint(const OpenFailure& failure) {
    switch (failure.kind) {
        case OpenFailureKind::NotFound:
            return "check the cable and the port name (COM3, COM12, ...); --list shows the "
                   "COM ports and the PLCs on USB";
        case OpenFailureKind::Busy:
            if (failure.burning) {
                return "wait for that burn to end; a PLC is burnt by one program at a time";
            }
            return "close the program that uses the port (a terminal program or another copy of "
                   "this tool) and try again";
        case OpenFailureKind::NotBack:
            return "plug the PLC back in (--list shows the PLCs attached; --replug-timeout gives "
                   "it longer)";
        case OpenFailureKind::NoUsbPlc:
            return "connect the PLC's USB port, power the PLC and check in the Device Manager "
                   "that its driver is installed";
        case OpenFailureKind::None:
        case OpenFailureKind::Other:
            break;
    }
    return "";
}

PortSystem ThisPortSystem() {
    auto release = std::make_shared<PortRelease>();
    auto lock = std::make_shared<PlcLock>();
    PortSystem system;
    system.windowsPlcInterface = [] {
        if (const auto fake = FakeInterfaceListing()) {
            return fake->empty() ? std::string() : fake->front().path;
        }
        char path[kDevicePathSize];
        std::memset(path, 0, sizeof path);
        return GetUsbDeviceFileName(&USB_DRIVER_GUID, path) != 0 ? std::string(path)
                                                                 : std::string();
    };
    system.plcInterfaces = AttachedPlcInterfaces;
    system.open = [release](const std::string& path, bool pipe, std::uint32_t& error) -> LinkPtr {
        const std::string device = pipe ? PipeDevice(path) : path;
        if (device.empty()) {
            error = ERROR_FILE_NOT_FOUND;  // pulled out of a fake listing
            return nullptr;
        }
        HANDLE handle = pipe ? OpenPipePath(device.c_str()) : OpenComPort(device.c_str());
        if (handle == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            return nullptr;
        }
        error = 0;
        if (pipe) {
            return std::make_unique<UsbPipeLink>(handle);
        }
        release->Opened(handle);
        return std::make_unique<ComPortLink>(handle, release);
    };
    system.takeLock = [lock](const std::string& key, PortHolder& holder) {
        return lock->Take(key, holder);
    };
    system.letGo = [release] { release->LetGo(); };
    system.now = [] { return PortSystem::Clock::now(); };
    system.sleep = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
    return system;
}

bool NamesWindowsChoice(const std::string& name) {
    return name.size() == 3 && std::equal(name.begin(), name.end(), "USB", [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

std::string PipePathFor(const std::string& name) {
    if (IsPlcDevicePath(name.c_str())) {
        return !name.empty() && name.back() == '\\' ? name : name + "\\";
    }
    return ComPortDevicePath(name);
}

PortOpener::PortOpener(std::string selector, std::chrono::milliseconds replugTimeout,
                       PortSystem system)
    : selector_(std::move(selector)), replugTimeout_(replugTimeout), system_(std::move(system)) {}

bool PortOpener::Owned(const std::string& path, OpenFailure& failure) {
    if (locked_) {
        return true;
    }
    PortHolder holder;
    switch (system_.takeLock(PlcLockKey(path), holder)) {
        case PlcLock::Taken::Yes:
            locked_ = true;
            return true;
        case PlcLock::Taken::Refused:
            return true;
        case PlcLock::Taken::HeldElsewhere:
            break;
    }
    failure = Failed(OpenFailureKind::Busy, path);
    failure.burning = true;
    failure.holder = holder;
    return false;
}

LinkPtr PortOpener::Open(const std::string& path, bool pipe, OpenFailure& failure) {
    if (!Owned(path, failure)) {
        return nullptr;
    }
    std::uint32_t error = 0;
    LinkPtr link = system_.open(path, pipe, error);
    if (!link) {
        failure = Failed(ClassifyOpenError(error), path, error);
        return nullptr;
    }
    failure = OpenFailure{};
    device_ = path;
    serial_ = SerialFromDevicePath(path);
    openedBefore_ = true;
    return link;
}

LinkPtr PortOpener::OpenSerial(const std::string& name) {
    return Open(ComPortDevicePath(name), false, failure_);
}

std::string PortOpener::PathAfterReplug() const {
    if (!serial_.empty()) {
        for (const std::string& path : system_.plcInterfaces()) {
            if (SameUsbSerial(SerialFromDevicePath(path), serial_)) {
                return PipePathFor(path);
            }
        }
        return std::string();
    }
    if (followsWindow_) {
        const std::string path = system_.windowsPlcInterface();
        return path.empty() ? path : PipePathFor(path);
    }
    return device_;
}

bool PortOpener::AwaitReplug(std::chrono::milliseconds limit,
                             const std::function<void(std::int64_t)>& told) {
    if (serial_.empty()) {
        return true;
    }
    return AwaitLeaveAndReturn(
        system_.now() + limit, system_.now, [this] { return !PathAfterReplug().empty(); },
        [this] { system_.sleep(kReplugPoll); }, told);
}

LinkPtr PortOpener::OpenUsbPlc() {
    if (!openedBefore_) {
        if (selector_.empty() || NamesWindowsChoice(selector_)) {
            const std::string path = system_.windowsPlcInterface();
            if (path.empty()) {
                failure_ = Failed(OpenFailureKind::NoUsbPlc, "");
                return nullptr;
            }
            followsWindow_ = true;
            return Open(PipePathFor(path), true, failure_);
        }
        return Open(PipePathFor(selector_), true, failure_);
    }
    // After the replug: the same PLC, once it is back and opens.
    const PortSystem::Clock::time_point deadline = system_.now() + replugTimeout_;
    const std::string wantedSerial = serial_;
    const std::string before = device_;
    OpenFailure attempt;
    std::int64_t toldLeft = -1;
    for (;;) {
        const std::string path = PathAfterReplug();
        if (!path.empty()) {
            if (LinkPtr link = Open(path, true, attempt)) {
                failure_ = attempt;
                return link;
            }
        }
        if (attempt.burning) {
            // Another burn took this PLC while it was away: it is not ours any more.
            failure_ = attempt;
            return nullptr;
        }
        const PortSystem::Clock::time_point now = system_.now();
        if (now >= deadline) {
            failure_ = attempt;
            failure_.kind = OpenFailureKind::NotBack;
            failure_.path = before;
            failure_.serial = wantedSerial;
            return nullptr;
        }
        const std::int64_t left =
            (std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 999) /
            1000;
        if (searching_ && left != toldLeft) {
            toldLeft = left;
            searching_(left);
        }
        system_.sleep(kReplugPoll);
    }
}

}  // namespace norvane
