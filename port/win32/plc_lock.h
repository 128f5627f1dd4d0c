// A burn owns its PLC from the first open to its end, across the replug: a named
// mutex named by what stays the same through the replug (the USB serial number,
// else the interface path, else the COM port). The system abandons it when its
// holder dies, and the next burn takes it. A second program is refused at once,
// told who holds the PLC: the holder leaves its process number in a named
// mapping beside the mutex, and the holder is named by that process's own
// program, once it is seen alive; never by what the mapping says beyond the number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "port/win32/win32_headers.h"

namespace norvane {

struct PortHolder {
    std::uint32_t pid = 0;  // 0 when it could not be seen
    std::string command;    // its program, as the system names it
};

// The name a PLC's lock goes by: the same for every name of one PLC (COM3,
// \\.\COM3 and com3; an interface path in either letter case, with or without
// the backslash it is opened with; every interface path with the same USB
// serial number). Empty for an empty path.
std::string PlcLockKey(const std::string& path);

// Who holds the lock named `key` now; nothing when nobody does. Takes nothing.
std::optional<PortHolder> PlcLockHolder(const std::string& key);

class PlcLock {
  public:
    enum class Taken : std::uint8_t {
        Yes,
        HeldElsewhere,  // another process holds it; the holder says which
        Refused,        // no lock can be had here (no key, the system refused the mutex)
    };

    PlcLock() = default;
    ~PlcLock();
    PlcLock(const PlcLock&) = delete;
    PlcLock& operator=(const PlcLock&) = delete;

    Taken Take(const std::string& key, PortHolder& holder);
    bool Held() const { return owner_.joinable(); }

  private:
    HANDLE mutex_ = nullptr;
    HANDLE letGo_ = nullptr;    // set when the lock is given up
    HANDLE mapping_ = nullptr;  // the holder's words, while it holds the lock
    std::thread owner_;         // a mutex belongs to a thread: this one holds it throughout
};

}  // namespace norvane
