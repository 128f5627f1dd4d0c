// Text rules of the Windows port listing and USB lookup. Kept free of the
// platform so that the bounds on the fixed buffers can be checked on their own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace norvane {

// A port-list entry: at most 9 characters and the NUL.
constexpr std::size_t kPortNameSize = 10;
// The device path of the PLC's USB interface, the backslash, the suffix and the NUL.
constexpr std::size_t kDevicePathSize = 300;
// Vendor and product of the PLC as they appear, in lower case, in a device path.
constexpr char kPlcDevicePathFragment[] = "vid_6c2e&pid_0001";

// The port name inside a device's friendly name: from after the "(" of the
// first "(COM" to the last ")". False, and `name` left untouched, when there is
// no "(COM", no ")" after it, or the name would not fit a port-list entry.
bool ComPortNameFromFriendlyName(const char* friendlyName, char (&name)[kPortNameSize]);

// Whether a name read from elsewhere (the serial-device map) fits a port-list entry.
bool FitsPortName(const char* name);

// The entries of a COM listing: the ports inside the devices' friendly names,
// in the order the devices came. Only when not one device names a port
// (drivers that give no friendly name, virtual ports) are the names of the
// system's serial-device map read, and those that fit an entry listed.
std::vector<std::string> ComPortEntries(
    const std::vector<std::string>& friendlyNames,
    const std::function<std::vector<std::string>()>& serialMapNames);

// Whether a device path is the PLC's (case-sensitive).
bool IsPlcDevicePath(const char* path);

// Whether `path` leaves room in the path buffer for the backslash and the NUL,
// so that it can be opened as the link with the empty suffix.
bool DevicePathFits(const char* path);

// The USB serial number in the device path of a USB interface, such as XYZ in
// \\?\usb#vid_6c2e&pid_0001#XYZ#{a5dcbf10-6530-11d2-901f-00c04fb951ed}: the part
// after the vendor and product. Empty when the device reports none (the system
// then makes that part up from the port it is on, with '&' in it) or when the
// path has no such part (\\.\COM1).
std::string SerialFromDevicePath(const std::string& path);

// Whether two serial numbers taken from device paths name the same device; the
// platform does not promise the letter case of a path.
bool SameUsbSerial(const std::string& a, const std::string& b);

// Appends a backslash and `suffix` to the path in a buffer of kDevicePathSize
// bytes; false, and the path left as it was, when they do not fit.
bool AppendPipeSuffix(char (&path)[kDevicePathSize], const char* suffix);

}  // namespace norvane
