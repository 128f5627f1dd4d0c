// Which PLC is which: a USB device known by where it is plugged in and what it
// says it is, whatever node name the kernel gives its tty this time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "port/posix/sysfs_tree.h"

namespace norvane::posix {

// The chain of bus and hub ports the device hangs off (its name in the kernel's
// device tree, such as 1-2.3: the same as long as the cable goes back into the
// same socket), and its USB serial number where it reports one.
struct UsbIdentity {
    std::string path;
    std::string serial;  // empty when the device reports none
};

// A port the machine has that could hold a PLC.
struct PortEntry {
    std::string name;                // ttyACM0
    std::string device;              // /dev/ttyACM0
    bool plcUsb = false;             // the PLC's own USB device (6c2e:0001)
    std::optional<UsbIdentity> usb;  // for a tty behind a USB device
};

// Every serial port with hardware behind it, in port-name order, with the USB
// identity of those behind a USB device.
std::vector<PortEntry> ListPorts(const std::string& sysfsRoot = kSysfsRoot);

// The entry of one tty (its name under class/tty) behind a USB device, as
// ListPorts gives it; nothing when it has no USB device behind it, or is gone.
std::optional<PortEntry> UsbPortEntry(const std::string& tty,
                                      const std::string& sysfsRoot = kSysfsRoot);

// The entry of the tty at a port name or /dev path ("ttyACM0" or
// "/dev/ttyACM0") behind a USB device; nothing as for UsbPortEntry. Reads that
// one tty's part of the tree, not every port's.
std::optional<PortEntry> UsbPortEntryOf(const std::string& nameOrPath,
                                        const std::string& sysfsRoot = kSysfsRoot);

// What --port names: a device node or path, a USB identity written
// "usb-path:1-2.3" or "usb-serial:XYZ", or "USB" as the window names the PLC's
// own USB port (the first such PLC).
struct PortSelector {
    enum class Kind { Node, UsbPath, UsbSerial, FirstUsbPlc };
    Kind kind = Kind::Node;
    std::string value;
};
PortSelector ParsePortSelector(const std::string& text);

// The device node of the first tty, in port-name order, of the PLC's own USB
// device (vendor 6c2e, product 0001: the cdc_acm driver makes it a ttyACM port,
// the generic USB serial driver a ttyUSB port); empty when there is none. Nothing
// is kept between calls, so a replugged device is found under its new name.
std::string FindUsbPlcTty(const std::string& sysfsRoot = kSysfsRoot);

// The identity of the USB device behind a tty ("ttyACM0" or "/dev/ttyACM0").
std::optional<UsbIdentity> IdentityOfTty(const std::string& nameOrPath,
                                         const std::string& sysfsRoot = kSysfsRoot);

// The device node of the first tty, in port-name order, whose USB device has
// this identity: the same path when `want.path` is set, the same serial number
// when `want.serial` is set. Empty when none has.
std::string FindTtyByIdentity(const UsbIdentity& want, const std::string& sysfsRoot = kSysfsRoot);

// The USB device a tty's device directory belongs to: the nearest directory above
// it that carries a vendor and a product identifier, never a hub further up.
std::optional<std::filesystem::path> OwningUsbDevice(const std::filesystem::path& device,
                                                     const std::filesystem::path& root);

}  // namespace norvane::posix
