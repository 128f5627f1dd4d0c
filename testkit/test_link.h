// The link seam as the tests, the benchmarks and the fuzzers see it: one link that
// keeps the read contract on a virtual clock, records every call, fails the writes a
// test plans and goes away with the line's trouble, in front of a small far end that
// says what is on the other side (the simulated PLC, a script of replies, fuzzer
// input, instant acknowledgements).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "line_trouble.h"
#include "link/link.h"
#include "virtual_clock.h"

namespace norvane::test {

struct WriteRecord {
    std::vector<std::uint8_t> bytes;  // every byte asked to go out
    std::size_t written;              // what Write returned
    std::uint64_t atMs;
};

struct ReadRecord {
    std::size_t requested;
    std::size_t received;
    std::uint64_t startMs;
    std::uint64_t endMs;
    std::uint32_t timeoutMs;    // the read deadline in force
    std::int32_t shownAtStart;  // what the watched counter showed as the read began
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

// The other side of a test link. A far end hides the calls it has a use for; the
// rest do nothing. `nowMs` is the link's virtual clock.
struct FarEnd {
    // True when this write fails on the way: none of its bytes arrive.
    bool Refuses(const std::uint8_t*, std::size_t) { return false; }
    // Bytes that arrived.
    void Receive(const std::uint8_t*, std::size_t, std::uint64_t) {}
    // Up to `count` bytes that arrive by `deadlineMs`; may move `clock` on to when the
    // last of them is there. The link moves it to the deadline after a short read.
    std::size_t Answer(std::uint8_t*, std::size_t, VirtualClock&, std::uint64_t) { return 0; }
    // Drops what has arrived and not been read.
    void Drop(std::uint64_t) {}
    void Settings(const LineSettings&, std::uint64_t) {}
    void Opened(std::uint64_t) {}
    void Closed(std::uint64_t) {}
};

template <typename End>
class TestLink : public Link {
  public:
    // On a clock of its own, which only its reads move.
    explicit TestLink(End far = End()) : far_(std::move(far)) { far_.Opened(clock_->Now()); }
    // On a clock that the test (and its sleeps) share.
    TestLink(VirtualClock& clock, End far) : clock_(&clock), far_(std::move(far)) {
        far_.Opened(clock_->Now());
    }
    // Destroying the link closes it, as far as the far end can tell.
    ~TestLink() override { far_.Closed(clock_->Now()); }
    TestLink(const TestLink&) = delete;
    TestLink& operator=(const TestLink&) = delete;

    std::size_t Write(const std::uint8_t* data, std::size_t count) override {
        return direct_ ? Pass(data, count, clock_->Now()) : FullWrite(data, count);
    }

    // Returns at once with nothing while the line is gone; otherwise when all `count`
    // bytes are there or the read time-out ran out, whichever comes first.
    std::size_t Read(std::uint8_t* data, std::size_t count) override {
        return direct_ ? Answer(data, count, clock_->Now()) : FullRead(data, count);
    }

    void SetTimeouts(const LinkTimeouts& timeouts) override {
        timeouts_ = timeouts;
        if (recording_) {
            timeoutCalls_.push_back({timeouts, clock_->Now()});
        }
    }

    void ApplyLineSettings(const LineSettings& settings) override {
        if (recording_) {
            lineCalls_.push_back({settings, clock_->Now()});
        }
        far_.Settings(settings, clock_->Now());
    }

    // What the far end has sent by now and nobody has read is gone, as with a port's
    // purge; that holds while the line is gone too.
    void DiscardInput() override { far_.Drop(clock_->Now()); }

    // The next writes, one entry each: true goes out as a whole (unless the far end
    // refuses it), false fails after delivering `delivered` bytes, always fewer than
    // asked. Once the entries are used up, writes go out.
    void PlanWrites(const std::deque<bool>& goesOut, std::size_t delivered = 0) {
        plannedWrites_ = goesOut;
        delivered_ = delivered;
        Refresh();
    }
    // The line is gone for good: every write and read returns 0 at once.
    void Die() {
        trouble_->LoseForGood();
        Refresh();
    }
    // Writes and reads pass through `trouble`, which every link of a burn shares.
    void ShareTrouble(LineTrouble& trouble) {
        trouble_ = &trouble;
        Refresh();
    }
    // Each read record notes what `counter` showed as the read began.
    void WatchCounter(const std::atomic<std::int32_t>& counter) {
        watched_ = &counter;
        Refresh();
    }
    // For benchmarks: nothing is recorded from here on, so no call allocates.
    void StopRecording() {
        recording_ = false;
        Refresh();
    }

    End& Far() { return far_; }
    const End& Far() const { return far_; }
    std::uint64_t NowMs() const { return clock_->Now(); }

    const std::vector<WriteRecord>& Writes() const { return writes_; }
    const std::vector<ReadRecord>& Reads() const { return reads_; }
    const std::vector<TimeoutsRecord>& TimeoutCalls() const { return timeoutCalls_; }
    const std::vector<LineSettingsRecord>& LineSettingsCalls() const { return lineCalls_; }

    // The bytes of every write, in order.
    std::vector<std::vector<std::uint8_t>> Sent() const {
        std::vector<std::vector<std::uint8_t>> sent;
        for (const WriteRecord& w : writes_) {
            sent.push_back(w.bytes);
        }
        return sent;
    }
    // How many writes asked to send exactly `text`.
    std::size_t WritesOf(const std::string& text) const {
        return static_cast<std::size_t>(
            std::count_if(writes_.begin(), writes_.end(), [&text](const WriteRecord& w) {
                return std::equal(w.bytes.begin(), w.bytes.end(), text.begin(), text.end());
            }));
    }
    std::vector<std::size_t> ReadSizes() const {
        std::vector<std::size_t> sizes;
        for (const ReadRecord& r : reads_) {
            sizes.push_back(r.requested);
        }
        return sizes;
    }
    std::vector<std::int32_t> ShownAtReads() const {
        std::vector<std::int32_t> shown;
        for (const ReadRecord& r : reads_) {
            shown.push_back(r.shownAtStart);
        }
        return shown;
    }
    // Reads that waited exactly `ms` and got fewer bytes than asked.
    std::size_t CountTimedOutReads(std::uint64_t ms) const {
        return static_cast<std::size_t>(std::count_if(
            reads_.begin(), reads_.end(),
            [ms](const ReadRecord& r) { return r.received < r.requested && r.Waited() == ms; }));
    }

  private:
    // Calls go straight to the far end when there is nothing to record, plan, watch
    // or strike: a benchmark then measures the tool and its far end, not this link.
    void Refresh() {
        direct_ = !recording_ && watched_ == nullptr && plannedWrites_.empty() &&
                  trouble_ == &ownTrouble_ && ownTrouble_.NeverStrikes();
    }

    // Out of line, so that the direct calls save no registers for them.
    [[gnu::noinline]] std::size_t FullWrite(const std::uint8_t* data, std::size_t count) {
        const std::uint64_t now = clock_->Now();
        const std::size_t written = Deliver(data, count, now);
        if (recording_) {
            writes_.push_back({std::vector<std::uint8_t>(data, data + count), written, now});
        }
        return written;
    }

    [[gnu::noinline]] std::size_t FullRead(std::uint8_t* data, std::size_t count) {
        const std::uint64_t start = clock_->Now();
        const std::int32_t shown = watched_ ? watched_->load(std::memory_order_relaxed) : 0;
        const std::size_t got = trouble_->Other() ? 0 : Answer(data, count, start);
        if (recording_) {
            reads_.push_back({count, got, start, clock_->Now(), timeouts_.readMs, shown});
        }
        return got;
    }

    // A write that nothing stops on the way, unless the far end refuses it.
    std::size_t Pass(const std::uint8_t* data, std::size_t count, std::uint64_t now) {
        if (far_.Refuses(data, count)) {
            return 0;
        }
        if (count > 0) {
            far_.Receive(data, count, now);
        }
        return count;
    }

    std::size_t Deliver(const std::uint8_t* data, std::size_t count, std::uint64_t now) {
        if (trouble_->Write()) {
            return 0;
        }
        if (plannedWrites_.empty()) {
            return Pass(data, count, now);
        }
        const bool goesOut = plannedWrites_.front();
        plannedWrites_.pop_front();
        if (goesOut) {
            return Pass(data, count, now);
        }
        const std::size_t delivered = std::min(delivered_, count == 0 ? 0 : count - 1);
        if (delivered > 0) {
            far_.Receive(data, delivered, now);
        }
        return delivered;
    }

    std::size_t Answer(std::uint8_t* data, std::size_t count, std::uint64_t start) {
        const std::uint64_t deadline = start + timeouts_.readMs;
        const std::size_t got = far_.Answer(data, count, *clock_, deadline);
        if (got < count) {
            clock_->AdvanceTo(deadline);
        }
        return got;
    }

    VirtualClock ownClock_;
    VirtualClock* clock_ = &ownClock_;
    LineTrouble ownTrouble_;
    LineTrouble* trouble_ = &ownTrouble_;
    End far_;
    LinkTimeouts timeouts_{};
    std::deque<bool> plannedWrites_;
    std::size_t delivered_ = 0;
    const std::atomic<std::int32_t>* watched_ = nullptr;
    bool recording_ = true;
    bool direct_ = false;
    std::vector<WriteRecord> writes_;
    std::vector<ReadRecord> reads_;
    std::vector<TimeoutsRecord> timeoutCalls_;
    std::vector<LineSettingsRecord> lineCalls_;
};

}  // namespace norvane::test
