// The link over a serial terminal on Linux and other POSIX systems: a real
// serial port, the PLC's USB serial port or a pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/link.h"
#include "port/posix/port_release.h"

namespace norvane::posix {

class PosixSerialLink final : public Link {
  public:
    // Takes ownership of `fd`, which must be open for reading and writing in
    // non-blocking mode; the descriptor is closed with the link, after `release`
    // (when given) is told.
    explicit PosixSerialLink(int fd, std::shared_ptr<PortRelease> release = nullptr);
    ~PosixSerialLink() override;

    PosixSerialLink(const PosixSerialLink&) = delete;
    PosixSerialLink& operator=(const PosixSerialLink&) = delete;

    // Writes until all bytes went out or the write time-out has
    // passed; 0 ms sends only what the line takes at once.
    std::size_t Write(const std::uint8_t* data, std::size_t count) override;

    // Gathers `count` bytes until the read time-out has passed since
    // the call began; 0 ms takes only what has already arrived. A line that hangs
    // up ends the read at once with what had arrived before.
    std::size_t Read(std::uint8_t* data, std::size_t count) override;

    // Only the two total constants bound reads and writes here. Until the first
    // call both are 0: reads and writes take only what is ready.
    void SetTimeouts(const LinkTimeouts& timeouts) override { timeouts_ = timeouts; }

    void ApplyLineSettings(const LineSettings& settings) override;

    // Flushes the terminal's receive queue.
    void DiscardInput() override;

    int NativeHandle() const { return fd_; }

  private:
    int fd_;
    std::shared_ptr<PortRelease> release_;
    LinkTimeouts timeouts_{};
};

}  // namespace norvane::posix
