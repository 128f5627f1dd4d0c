// The link: one open byte stream to the PLC (a COM port, the PLC's USB pipe or a
// simulated PLC). Everything above this seam is portable; every platform keeps
// the read contract below itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace norvane {

enum class Parity : std::uint8_t { None, Odd, Even };

// The fields of a line-settings record that the tool changes; every other
// setting of the port stays as the port has it.
struct LineSettings {
    std::uint32_t baudRate;
    std::uint8_t dataBits;
    Parity parity;
    std::uint8_t stopBits;
    bool dtrDisabled;
    bool rtsDisabled;
};

// Application firmware on a COM port: 9600 baud, 7E1.
constexpr LineSettings kApplicationLineSettings{9600, 7, Parity::Even, 1, true, true};
// Block transfer after UPDATE: 115200 baud, 8N1.
constexpr LineSettings kTransferLineSettings{115200, 8, Parity::None, 1, true, true};

// A read gives up `readMs` after it began, whatever it got by then; a write
// `writeMs` after it began.
struct LinkTimeouts {
    std::uint32_t readMs;
    std::uint32_t writeMs;
};

// The wake burst only waits 200 ms for anything the PLC may echo back.
constexpr LinkTimeouts kWakeTimeouts{200, 200};
// Every other exchange gives the PLC 3 s to answer.
constexpr LinkTimeouts kExchangeTimeouts{3000, 3000};

class Link {
  public:
    virtual ~Link() = default;

    // Writes up to `count` bytes within the write time-out; returns how many went out.
    virtual std::size_t Write(const std::uint8_t* data, std::size_t count) = 0;

    // Returns when all `count` bytes arrived or the read time-out ran out, with the
    // number received. A short count means the time-out ran out or the line is gone.
    virtual std::size_t Read(std::uint8_t* data, std::size_t count) = 0;

    virtual void SetTimeouts(const LinkTimeouts& timeouts) = 0;

    // Applied without looking at whether the platform accepted it.
    virtual void ApplyLineSettings(const LineSettings& settings) = 0;

    // Drops whatever has arrived and not been read. Called before every attempt of
    // every exchange but the wake burst: replies are read by their length, so a byte
    // that is already there (noise, a late or doubled answer to an earlier request)
    // would pass for part of this one's.
    virtual void DiscardInput() = 0;
};

using LinkPtr = std::unique_ptr<Link>;

}  // namespace norvane
