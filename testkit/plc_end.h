// The in-process simulated PLC as the far end of a test link, on the link's virtual
// clock. A read that the PLC leaves unanswered returns at once and moves the clock on
// by the read time-out; a reply that comes later moves the clock to when its bytes
// are there; writes take no time. Opening the link is the PLC's "link opened" and
// destroying it "link closed": destroy the old link before making the new one, as
// the tool closes before it reopens, since a close followed by an open is what the
// PLC takes for the replug or the power cycle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simulated_plc.h"
#include "test_link.h"

namespace norvane::test {

class PlcEnd : public FarEnd {
  public:
    explicit PlcEnd(plcsim::SimulatedPlc& plc) : plc_(&plc) {}

    // The fault plan's failed writes.
    bool Refuses(const std::uint8_t* data, std::size_t count) {
        return plc_->ConsumeWriteFailure(data, count);
    }
    void Receive(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs) {
        plc_->Receive(data, count, nowMs);
    }
    std::size_t Answer(std::uint8_t* data, std::size_t count, VirtualClock& clock,
                       std::uint64_t deadlineMs) {
        std::size_t got = 0;
        for (;;) {
            got += plc_->Transmit(data + got, count - got, clock.Now());
            if (got == count) {
                return got;
            }
            const auto next = plc_->NextReplyTime();
            if (!next || *next > deadlineMs) {
                clock.AdvanceTo(deadlineMs);
                plc_->AdvanceTo(deadlineMs);
                return got;
            }
            clock.AdvanceTo(*next);
        }
    }
    void Drop(std::uint64_t nowMs) {
        std::uint8_t buf[256];
        while (plc_->Transmit(buf, sizeof buf, nowMs) > 0) {
        }
    }
    void Settings(const LineSettings& s, std::uint64_t nowMs) {
        const plcsim::Parity parity = s.parity == Parity::Odd    ? plcsim::Parity::Odd
                                      : s.parity == Parity::Even ? plcsim::Parity::Even
                                                                 : plcsim::Parity::None;
        plc_->OnLineSettings(s.baudRate, s.dataBits, parity, s.stopBits, nowMs);
    }
    void Opened(std::uint64_t nowMs) { plc_->OnLinkOpened(nowMs); }
    void Closed(std::uint64_t nowMs) { plc_->OnLinkClosed(nowMs); }

  private:
    plcsim::SimulatedPlc* plc_;
};

using SimLink = TestLink<PlcEnd>;

}  // namespace norvane::test
