// A burn owns its PLC from the first open to its end, across the replug: a named
// mutex named by what stays the same through the replug (the USB serial number,
// else the interface path, else the COM port). The system abandons it when its
// holder dies, and the next burn takes it. A second program is refused at once,
// told who holds the PLC: the holder leaves its process number and command line
// in a named mapping beside the mutex.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "port/win32/win32_headers.h"

namespace norvane {

struct PlcHolder {
    std::uint32_t pid = 0;  // 0 when it could not be read
    std::string command;    // its command line as it was started
};

// The name a PLC's lock goes by: the same for every name of one PLC (COM3,
// \\.\COM3 and com3; an interface path in either letter case, with or without
// the backslash it is opened with; every interface path with the same USB
// serial number). Empty for an empty path.
std::string PlcLockKey(const std::string& path);

enum class LockTaken : std::uint8_t {
    Yes,
    HeldElsewhere,  // another process holds it; the holder says which
    Unavailable,    // no lock can be had here: the burn goes on with its port's own exclusive open
};

class PlcLock {
  public:
    PlcLock() = default;
    ~PlcLock();
    PlcLock(const PlcLock&) = delete;
    PlcLock& operator=(const PlcLock&) = delete;

    LockTaken Take(const std::string& key, PlcHolder& holder);
    bool Held() const { return owner_.joinable(); }

  private:
    HANDLE mutex_ = nullptr;
    HANDLE letGo_ = nullptr;    // set when the lock is given up
    HANDLE mapping_ = nullptr;  // the holder's words, while it holds the lock
    std::thread owner_;         // a mutex belongs to a thread: this one holds it throughout
};

}  // namespace norvane
