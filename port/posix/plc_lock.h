// A burn owns its PLC from the first open to its end, across the replug: a lock
// on a file named by what stays the same through the replug (the USB serial
// number, else the USB socket, else the device number of a serial port), in a
// folder of its own that only the users allowed to open PLC ports may write
// (root:dialout, made at every start by the package's tmpfiles entry). The
// kernel releases a lock whose holder dies. A second program is refused at
// once, told which process holds the PLC, as the kernel names it.
//
// Nothing found in that folder is trusted: the folder must be root's (or this
// user's) and writable by nobody else but its group; a lock must be a regular
// file with one name, of root, of this user or of the folder's group, and is
// opened without following links and without waiting. Anything else is refused,
// naming the path, and never written.
#pragma once

#include <optional>
#include <string>

#include "port/posix/port_holders.h"
#include "port/posix/usb_identity.h"

namespace norvane::posix {

constexpr const char* kLockDirectory = "/run/lock/norvane-fwupdate";

// The folder of the locks: kLockDirectory, or the tests' own (test_settings.h).
std::string LockDirectory();

// The name a PLC's lock goes by: the same for every node, link or identity
// that reaches the same PLC. Empty when `device` cannot be looked at.
std::string PlcLockKey(const std::optional<UsbIdentity>& usb, const std::string& device);

// The file a lock named `key` is kept in: a different file for every key.
std::string PlcLockFileName(const std::string& key);

// Who holds the lock named `key` now, as the kernel's table of locks names it;
// nothing when nobody does. Takes nothing, makes nothing, opens no lock file.
std::optional<PortHolder> PlcLockHolder(const std::string& key,
                                        const std::string& directory = LockDirectory());

class PlcLock {
  public:
    enum class Taken {
        Yes,
        HeldElsewhere,  // another process holds it: `holder` says which (pid 0: not seen)
        Refused,        // no lock can be had: `problem` says why and what to do
    };

    PlcLock() = default;
    ~PlcLock();  // lets it go, and removes its file
    PlcLock(const PlcLock&) = delete;
    PlcLock& operator=(const PlcLock&) = delete;

    Taken Take(const std::string& key, PortHolder& holder, std::string& problem,
               const std::string& directory = LockDirectory());
    bool Held() const { return fd_ >= 0; }

  private:
    int directory_ = -1;
    int fd_ = -1;
    std::string name_;
};

}  // namespace norvane::posix
