// Finding the serial port that the kernel created for the PLC's USB device
// (the cdc_acm driver gives a ttyACM port, the generic USB serial driver a
// ttyUSB port).
#pragma once

#include <string>

#include "port/posix/sysfs_tree.h"

namespace norvane::posix {

inline const std::string kPlcUsbVendorId = "6c2e";
inline const std::string kPlcUsbProductId = "0001";

// The /dev path of the first tty, in port-name order, that belongs to a USB
// device with the given vendor and product identifiers (hexadecimal, as sysfs
// shows them); empty when there is none. Nothing is kept between calls, so a
// replugged device is found under its new name.
std::string FindUsbTty(const std::string& vendorId, const std::string& productId,
                       const std::string& sysfsRoot = kSysfsRoot);

// FindUsbTty for the PLC.
std::string FindUsbPlcTty(const std::string& sysfsRoot = kSysfsRoot);

}  // namespace norvane::posix
