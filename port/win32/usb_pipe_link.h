// The link over the PLC's USB device pipe. COM time-outs may mean nothing to
// the driver behind it, so every read and write is overlapped and bounded by a
// wait of its own; nothing the device does can hang a burn.
#pragma once

#include "link/link.h"
#include "port/win32/system_clock.h"
#include "port/win32/win32_headers.h"

namespace norvane {

class FileTransfer;

class UsbPipeLink : public Link {
  public:
    // Takes ownership of a pipe handle opened with FILE_FLAG_OVERLAPPED.
    explicit UsbPipeLink(HANDLE handle);
    ~UsbPipeLink() override;
    UsbPipeLink(const UsbPipeLink&) = delete;
    UsbPipeLink& operator=(const UsbPipeLink&) = delete;

    std::size_t Write(const std::uint8_t* data, std::size_t count) override;
    std::size_t Read(std::uint8_t* data, std::size_t count) override;
    void SetTimeouts(const LinkTimeouts& timeouts) override;
    void ApplyLineSettings(const LineSettings& settings) override;

    // Asks the driver to clear its receive buffer, then drains what is left.
    void DiscardInput() override;

    // Collects what has already arrived without waiting for more and throws it
    // away; returns how many bytes that was. A driver that refuses PurgeComm
    // still hands its buffered bytes to a read, so this part of DiscardInput
    // holds on every pipe.
    std::size_t DrainInput();

  private:
    // A read or write of `count` bytes bounded by `totalMs`.
    std::size_t Transfer(const FileTransfer& file, std::size_t count, std::uint32_t totalMs);

    HANDLE handle_;
    HANDLE event_;
    LinkTimeouts timeouts_;
    SystemTransferClock clock_;
};

}  // namespace norvane
