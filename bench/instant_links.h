// Links whose PLC answers at once, so that a benchmark sees only the tool's own
// cost of building, checking and judging each exchange.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/link.h"
#include "simulated_plc.h"

namespace norvane::bench {

// Takes every write whole and answers every read with acknowledgements. The last
// byte written is kept so the compiler cannot drop the work that built it.
class AckingLink final : public Link {
  public:
    std::size_t Write(const std::uint8_t* data, std::size_t count) override {
        if (count > 0) {
            sink_ ^= data[count - 1];
        }
        return count;
    }
    std::size_t Read(std::uint8_t* data, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = 0x06;
        }
        return count;
    }
    void SetTimeouts(const LinkTimeouts&) override {}
    void ApplyLineSettings(const LineSettings&) override {}
    void DiscardInput() override {}
    std::uint8_t sink() const { return sink_; }

  private:
    std::uint8_t sink_ = 0;
};

// The in-process simulated PLC with its clock standing still: every reply is
// there as soon as the request is complete. Nothing is recorded on this side.
class InstantPlcLink final : public Link {
  public:
    explicit InstantPlcLink(plcsim::SimulatedPlc& plc) : plc_(plc) { plc_.OnLinkOpened(0); }
    ~InstantPlcLink() override { plc_.OnLinkClosed(0); }
    InstantPlcLink(const InstantPlcLink&) = delete;
    InstantPlcLink& operator=(const InstantPlcLink&) = delete;

    std::size_t Write(const std::uint8_t* data, std::size_t count) override {
        plc_.Receive(data, count, 0);
        return count;
    }
    std::size_t Read(std::uint8_t* data, std::size_t count) override {
        return plc_.Transmit(data, count, 0);
    }
    void DiscardInput() override {
        std::uint8_t sink[64];
        while (plc_.Transmit(sink, sizeof sink, 0) > 0) {
        }
    }
    void SetTimeouts(const LinkTimeouts&) override {}
    void ApplyLineSettings(const LineSettings& s) override {
        plc_.OnLineSettings(s.baudRate, s.dataBits,
                            s.parity == Parity::None   ? plcsim::Parity::None
                            : s.parity == Parity::Even ? plcsim::Parity::Even
                                                       : plcsim::Parity::Odd,
                            s.stopBits, 0);
    }

  private:
    plcsim::SimulatedPlc& plc_;
};

}  // namespace norvane::bench
