// One ReadFile or WriteFile over part of a caller's buffer: the call a read and
// a write differ by, on a COM port and on the PLC's USB pipe alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "port/win32/win32_headers.h"

namespace norvane {

class FileTransfer {
  public:
    static FileTransfer Reading(HANDLE handle, std::uint8_t* data) {
        return FileTransfer(handle, true, data, nullptr);
    }
    static FileTransfer Writing(HANDLE handle, const std::uint8_t* data) {
        return FileTransfer(handle, false, nullptr, data);
    }

    bool Reads() const { return reads_; }

    // Asks for the `remaining` bytes from `offset` on, or for as many of them as
    // one call can take. Synchronous when `overlapped` is null, and `moved` then
    // receives the count; an overlapped call leaves the count to its collection.
    BOOL Call(std::size_t offset, std::size_t remaining, DWORD* moved,
              OVERLAPPED* overlapped) const;

  private:
    FileTransfer(HANDLE handle, bool reads, std::uint8_t* into, const std::uint8_t* from)
        : handle_(handle), reads_(reads), into_(into), from_(from) {}

    HANDLE handle_;
    bool reads_;
    std::uint8_t* into_;
    const std::uint8_t* from_;
};

}  // namespace norvane
