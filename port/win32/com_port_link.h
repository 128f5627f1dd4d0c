// The link over an open COM port: blocking reads and writes bounded by the
// port's time-out record.
#pragma once

#include <memory>

#include "link/link.h"
#include "port/win32/port_release.h"
#include "port/win32/system_clock.h"
#include "port/win32/win32_headers.h"

namespace norvane {

class FileTransfer;

class ComPortLink : public Link {
  public:
    // Takes ownership of an open COM port handle; `release` (when given) is
    // told of its close, before the handle is closed.
    explicit ComPortLink(HANDLE handle, std::shared_ptr<PortRelease> release = nullptr);
    ~ComPortLink() override;
    ComPortLink(const ComPortLink&) = delete;
    ComPortLink& operator=(const ComPortLink&) = delete;

    std::size_t Write(const std::uint8_t* data, std::size_t count) override;
    std::size_t Read(std::uint8_t* data, std::size_t count) override;
    void SetTimeouts(const LinkTimeouts& timeouts) override;
    void ApplyLineSettings(const LineSettings& settings) override;
    void DiscardInput() override;

  private:
    // Hands the port `wanted` unless it has it already.
    void Apply(const COMMTIMEOUTS& wanted);
    // A read or write of `count` bytes under the exchange's record.
    std::size_t Transfer(const FileTransfer& file, std::size_t count);

    HANDLE handle_;
    std::shared_ptr<PortRelease> release_;
    COMMTIMEOUTS record_{};   // as the exchange set it
    COMMTIMEOUTS applied_{};  // as the port has it now
    bool appliedKnown_ = false;
    SystemTransferClock clock_;
};

}  // namespace norvane
