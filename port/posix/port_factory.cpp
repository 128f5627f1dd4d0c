#include "port/posix/port_factory.h"

#include "port/posix/serial_open.h"
#include "port/posix/usb_plc_lookup.h"

namespace norvane::posix {

namespace {

LinkPtr OpenPath(const std::string& path, OpenFailure* failure) {
    SerialOpenResult result = OpenSerialPort(path);
    if (failure != nullptr) {
        *failure = std::move(result.failure);
    }
    return std::move(result.link);
}

}  // namespace

LinkPtr OpenComPortPosix(const std::string& name, OpenFailure* failure) {
    return OpenPath(DevicePathForPortName(name), failure);
}

LinkPtr OpenUsbPlcPort(const std::string& explicitPathOrEmpty, OpenFailure* failure,
                       const std::string& sysfsRoot) {
    if (!explicitPathOrEmpty.empty()) {
        return OpenComPortPosix(explicitPathOrEmpty, failure);
    }
    const std::string path = FindUsbPlcTty(sysfsRoot);
    if (path.empty()) {
        if (failure != nullptr) {
            *failure = OpenFailure{};
            failure->kind = OpenFailureKind::NoUsbPlc;
        }
        return nullptr;
    }
    return OpenPath(path, failure);
}

}  // namespace norvane::posix
