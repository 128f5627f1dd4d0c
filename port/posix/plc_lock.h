// A burn owns its PLC from the first open to its end, across the replug: a lock
// on a file under /run/lock named by what stays the same through the replug
// (the USB serial number, else the USB socket, else the device number of a
// serial port). The kernel releases it if the holder dies; any user may take
// it. A second program is refused at once, told who holds the PLC.
#pragma once

#include <optional>
#include <string>

#include "port/posix/port_holders.h"
#include "port/posix/usb_identity.h"

namespace norvane::posix {

constexpr const char* kLockDirectory = "/run/lock";

// The name a PLC's lock goes by: the same for every node, link or identity
// that reaches the same PLC. Empty when `device` cannot be looked at.
std::string PlcLockKey(const std::optional<UsbIdentity>& usb, const std::string& device);

// Who holds the lock named `key` now; nothing when nobody does (or no lock can
// be had here). Takes the lock for a moment when it is free.
std::optional<PortHolder> PlcLockHolder(const std::string& key,
                                        const std::string& directory = kLockDirectory);

class PlcLock {
  public:
    enum class Taken { Yes, HeldElsewhere, Unavailable };

    PlcLock() = default;
    ~PlcLock();
    PlcLock(const PlcLock&) = delete;
    PlcLock& operator=(const PlcLock&) = delete;

    // Takes the lock named `key`. HeldElsewhere: another process holds it,
    // `holder` says which. Unavailable: no lock can be had here (no lock
    // directory, say); the burn goes on with its port's own exclusive open.
    Taken Take(const std::string& key, PortHolder& holder,
               const std::string& directory = kLockDirectory);
    bool Held() const { return fd_ >= 0; }
    const std::string& key() const { return key_; }

  private:
    int fd_ = -1;
    std::string key_;
};

}  // namespace norvane::posix
