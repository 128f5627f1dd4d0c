#include "sim_link.h"

#include <algorithm>

namespace norvane::test {
namespace {

plcsim::Parity ToSimParity(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return plcsim::Parity::Odd;
        case Parity::Even:
            return plcsim::Parity::Even;
        case Parity::None:
            break;
    }
    return plcsim::Parity::None;
}

}  // namespace

SimLink::SimLink(plcsim::SimulatedPlc& plc, VirtualClock& clock) : plc_(plc), clock_(clock) {
    plc_.OnLinkOpened(clock_.Now());
}

SimLink::~SimLink() {
    plc_.OnLinkClosed(clock_.Now());
}

std::size_t SimLink::Write(const std::uint8_t* data, std::size_t count) {
    const std::uint64_t now = clock_.Now();
    std::size_t written = count;
    if (dead_) {
        written = 0;
    } else if (failWrites_ > 0) {
        --failWrites_;
        written = std::min(failDelivered_, count == 0 ? 0 : count - 1);
    } else if (plc_.ConsumeWriteFailure(data, count)) {
        written = 0;
    }
    if (written > 0) {
        plc_.Receive(data, written, now);
    }
    writes_.push_back({std::vector<std::uint8_t>(data, data + count), written, now});
    return written;
}

std::size_t SimLink::Read(std::uint8_t* data, std::size_t count) {
    const std::uint64_t start = clock_.Now();
    const std::uint32_t timeout = timeouts_.readMs;
    std::size_t got = 0;
    if (!dead_) {
        const std::uint64_t deadline = start + timeout;
        for (;;) {
            got += plc_.Transmit(data + got, count - got, clock_.Now());
            if (got == count) {
                break;
            }
            const auto next = plc_.NextReplyTime();
            if (!next || *next > deadline) {
                clock_.AdvanceTo(deadline);
                plc_.AdvanceTo(deadline);
                break;
            }
            clock_.AdvanceTo(*next);
        }
    }
    reads_.push_back({count, got, start, clock_.Now(), timeout});
    return got;
}

void SimLink::SetTimeouts(const LinkTimeouts& timeouts) {
    timeouts_ = timeouts;
    timeoutCalls_.push_back({timeouts, clock_.Now()});
}

void SimLink::ApplyLineSettings(const LineSettings& settings) {
    lineCalls_.push_back({settings, clock_.Now()});
    plc_.OnLineSettings(settings.baudRate, settings.dataBits, ToSimParity(settings.parity),
                        settings.stopBits, clock_.Now());
}

void SimLink::DiscardInput() {
    ++discards_;
    if (dead_) {
        return;
    }
    std::uint8_t buf[256];
    while (const std::size_t n = plc_.Transmit(buf, sizeof buf, clock_.Now())) {
        bytesDiscarded_ += n;
    }
}

void SimLink::FailNextWrites(std::size_t n, std::size_t delivered) {
    failWrites_ = n;
    failDelivered_ = delivered;
}

std::size_t SimLink::CountTimedOutReads(std::uint64_t ms) const {
    return static_cast<std::size_t>(std::count_if(
        reads_.begin(), reads_.end(),
        [ms](const ReadRecord& r) { return r.received < r.requested && r.Waited() == ms; }));
}

}  // namespace norvane::test
