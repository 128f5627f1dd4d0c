// The link seam served by an in-process simulated PLC on a virtual clock. A read that
// the PLC leaves unanswered returns at once and moves the clock on by the read
// time-out; a reply that comes later moves the clock to when its bytes are there;
// writes take no time. Every call is recorded so that tests can assert the exact bytes
// and waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/link.h"
#include "simulated_plc.h"
#include "virtual_clock.h"

namespace norvane::test {

struct WriteRecord {
    std::vector<std::uint8_t> bytes;
    std::size_t written;  // what Write returned
    std::uint64_t atMs;
};

struct ReadRecord {
    std::size_t requested;
    std::size_t received;
    std::uint64_t startMs;
    std::uint64_t endMs;
    std::uint32_t timeoutMs;  // the read deadline in force
    std::uint64_t Waited() const { return endMs - startMs; }
};

struct TimeoutsRecord {
    LinkTimeouts timeouts;
    std::uint64_t atMs;
};

struct LineSettingsRecord {
    LineSettings settings;
    std::uint64_t atMs;
};

class SimLink : public Link {
  public:
    // Opening the link is the PLC's "link opened"; destroying it, "link closed". Destroy
    // the old link before making the new one, as the tool closes before it reopens:
    // a close followed by an open is what the PLC takes for the replug or power cycle.
    SimLink(plcsim::SimulatedPlc& plc, VirtualClock& clock);
    ~SimLink() override;
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    std::size_t Write(const std::uint8_t* data, std::size_t count) override;
    std::size_t Read(std::uint8_t* data, std::size_t count) override;
    void SetTimeouts(const LinkTimeouts& timeouts) override;
    void ApplyLineSettings(const LineSettings& settings) override;
    // What the PLC has sent by now and nobody has read is gone, as with a port's purge.
    void DiscardInput() override;

    // The next `n` writes go nowhere: each returns `delivered` (less than asked) and only
    // the first `delivered` bytes reach the PLC.
    void FailNextWrites(std::size_t n, std::size_t delivered = 0);
    // The line is gone: every write and read returns 0 at once.
    void Die() { dead_ = true; }

    const std::vector<WriteRecord>& Writes() const { return writes_; }
    const std::vector<ReadRecord>& Reads() const { return reads_; }
    const std::vector<TimeoutsRecord>& TimeoutCalls() const { return timeoutCalls_; }
    const std::vector<LineSettingsRecord>& LineSettingsCalls() const { return lineCalls_; }
    std::size_t DiscardCalls() const { return discards_; }
    std::size_t BytesDiscarded() const { return bytesDiscarded_; }
    // Reads that waited exactly `ms` and got fewer bytes than asked.
    std::size_t CountTimedOutReads(std::uint64_t ms) const;

  private:

    plcsim::SimulatedPlc& plc_;
    VirtualClock& clock_;
    LinkTimeouts timeouts_{};
    bool dead_ = false;
    std::size_t failWrites_ = 0;
    std::size_t failDelivered_ = 0;
    std::vector<WriteRecord> writes_;
    std::vector<ReadRecord> reads_;
    std::vector<TimeoutsRecord> timeoutCalls_;
    std::vector<LineSettingsRecord> lineCalls_;
    std::size_t discards_ = 0;
    std::size_t bytesDiscarded_ = 0;
};

}  // namespace norvane::test
