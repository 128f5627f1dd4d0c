// What happened on the served line and when, seen from the PLC's end: how long the
// bytes needed on the wire, how long the PLC was busy programming, and how long the
// line lay quiet waiting for the tool. The figures tell the tool's own share of a
// burn's time apart from the share that the wire and the PLC impose.
#pragma once

#include <cstdint>
#include <string>

#include "sim_types.h"

namespace plcsim {

// A quiet line longer than this is the tool waiting on purpose (a read time-out,
// a pause it was asked for, a prompt), not the tool's turnaround.
constexpr std::uint64_t kDeliberateWaitUs = 100000;

struct LineTotals {
    double wireUs = 0;               // every byte, both directions, at the speed in force
    std::uint64_t plcBusyUs = 0;     // erasing and programming
    std::uint64_t turnaroundUs = 0;  // quiet line, each stretch under kDeliberateWaitUs
    std::uint64_t waitingUs = 0;     // quiet line, each stretch of kDeliberateWaitUs or more
    std::uint64_t serverLateUs = 0;  // replies written after they were due (the simulator's share)
    std::uint64_t bytesFromTool = 0;
    std::uint64_t bytesToTool = 0;
};

struct LinePhase {
    bool seen = false;          // started
    bool ended = false;         // its closing acknowledgement went out
    std::uint64_t startUs = 0;  // first byte of its first request read
    std::uint64_t endUs = 0;    // its closing acknowledgement written (or the last byte so far)
    LineTotals totals;
    double WallUs() const { return static_cast<double>(endUs - startUs); }
};

struct LineFigures {
    LinePhase burn;      // first byte from the tool to the last byte either way
    LinePhase erase;     // first "ERASE" to the acknowledged EOT that closes the erase
    LinePhase transfer;  // first block to the acknowledged EOT that closes the transfer
    std::uint64_t blocksAcknowledged = 0;
    std::uint64_t eraseUnitsAcknowledged = 0;
    // From the acknowledgement of a block leaving the PLC to the next block's first byte.
    std::uint64_t ackToBlockCount = 0;
    std::uint64_t ackToBlockTotalUs = 0;
    std::uint64_t ackToBlockMaxUs = 0;
    double MeanAckToBlockUs() const {
        return ackToBlockCount == 0
                   ? 0.0
                   : static_cast<double>(ackToBlockTotalUs) / static_cast<double>(ackToBlockCount);
    }
};

class LineMeter {
  public:
    // Bytes the tool sent, as the line hands them over; `characterUs` is their time on the wire.
    void ToolBytes(std::uint64_t nowUs, std::size_t count, double characterUs);
    // A request the PLC recognised among them.
    void Request(Exchange kind);
    // The PLC is busy erasing or programming before it answers.
    void PlcBusy(std::uint64_t us);
    // A reply byte left for the tool; `kind` is the request it answers.
    void ReplyByte(std::uint64_t nowUs, std::uint8_t byte, Exchange kind, double characterUs);
    // Replies just written went out this much after they were due.
    void ServerLate(std::uint64_t us) { totals_.serverLateUs += us; }
    // Nothing on the wire either way and nothing due from the PLC: the tool has the turn.
    void LineQuiet(std::uint64_t nowUs);

    const LineFigures& Figures() const { return figures_; }

  private:
    void StartPhase(LinePhase& phase);
    void EndPhase(LinePhase& phase, std::uint64_t nowUs);

    LineFigures figures_;
    LineTotals totals_;
    bool requestOpen_ = false;
    std::uint64_t requestStartUs_ = 0;
    LineTotals atRequestStart_;
    bool quiet_ = false;
    std::uint64_t quietSinceUs_ = 0;
    bool lastReplyAckedBlock_ = false;
    std::uint64_t lastBlockAckUs_ = 0;
    bool replySinceToolBytes_ = false;
    std::uint64_t firstByteAfterReplyUs_ = 0;
};

// The figures as "name: value" lines, for the standalone program's summary.
std::string DescribeLineFigures(const LineFigures& figures);

}  // namespace plcsim
