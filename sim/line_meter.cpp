#include "line_meter.h"

#include <algorithm>
#include <cstdio>

namespace plcsim {
namespace {

constexpr std::uint8_t kAck = 0x06;

LineTotals Minus(const LineTotals& a, const LineTotals& b) {
    LineTotals d;
    d.wireUs = a.wireUs - b.wireUs;
    d.plcBusyUs = a.plcBusyUs - b.plcBusyUs;
    d.turnaroundUs = a.turnaroundUs - b.turnaroundUs;
    d.waitingUs = a.waitingUs - b.waitingUs;
    d.serverLateUs = a.serverLateUs - b.serverLateUs;
    d.bytesFromTool = a.bytesFromTool - b.bytesFromTool;
    d.bytesToTool = a.bytesToTool - b.bytesToTool;
    return d;
}

}  // namespace

void LineMeter::ToolBytes(std::uint64_t nowUs, std::size_t count, double characterUs) {
    if (count == 0) {
        return;
    }
    if (quiet_ && figures_.burn.seen) {
        const std::uint64_t gap = nowUs > quietSinceUs_ ? nowUs - quietSinceUs_ : 0;
        (gap >= kDeliberateWaitUs ? totals_.waitingUs : totals_.turnaroundUs) += gap;
        quiet_ = false;
    }
    if (replySinceToolBytes_) {
        replySinceToolBytes_ = false;
        firstByteAfterReplyUs_ = nowUs;
    }
    if (!requestOpen_) {
        requestOpen_ = true;
        requestStartUs_ = nowUs;
        atRequestStart_ = totals_;
        if (!figures_.burn.seen) {
            figures_.burn.seen = true;
            figures_.burn.startUs = nowUs;
        }
    }
    totals_.wireUs += characterUs * static_cast<double>(count);
    totals_.bytesFromTool += count;
    figures_.burn.endUs = std::max(figures_.burn.endUs, nowUs);
    figures_.burn.totals = totals_;
}

void LineMeter::Request(Exchange kind) {
    if (kind == Exchange::BootErase && !figures_.erase.seen) {
        StartPhase(figures_.erase);
    }
    if (kind == Exchange::Block) {
        if (!figures_.transfer.seen) {
            StartPhase(figures_.transfer);
        }
        if (lastReplyAckedBlock_) {
            const std::uint64_t gap = firstByteAfterReplyUs_ > lastBlockAckUs_
                                          ? firstByteAfterReplyUs_ - lastBlockAckUs_
                                          : 0;
            ++figures_.ackToBlockCount;
            figures_.ackToBlockTotalUs += gap;
            figures_.ackToBlockMaxUs = std::max(figures_.ackToBlockMaxUs, gap);
        }
    }
    lastReplyAckedBlock_ = false;
}

void LineMeter::PlcBusy(std::uint64_t us) {
    totals_.plcBusyUs += us;
}

void LineMeter::ReplyByte(std::uint64_t nowUs, std::uint8_t byte, Exchange kind,
                          double characterUs) {
    quiet_ = false;
    requestOpen_ = false;
    replySinceToolBytes_ = true;
    totals_.wireUs += characterUs;
    ++totals_.bytesToTool;
    figures_.burn.endUs = std::max(figures_.burn.endUs, nowUs);
    figures_.burn.totals = totals_;
    lastReplyAckedBlock_ = kind == Exchange::Block && byte == kAck;
    if (byte != kAck) {
        return;
    }
    switch (kind) {
        case Exchange::Block:
            ++figures_.blocksAcknowledged;
            lastBlockAckUs_ = nowUs;
            break;
        case Exchange::BootErase:
            ++figures_.eraseUnitsAcknowledged;
            break;
        case Exchange::BootEraseEnd:
            EndPhase(figures_.erase, nowUs);
            break;
        case Exchange::TransferEnd:
            EndPhase(figures_.transfer, nowUs);
            break;
        default:
            break;
    }
}

void LineMeter::LineQuiet(std::uint64_t nowUs) {
    // Before the tool's first byte the line has not been in use yet.
    if (!quiet_ && figures_.burn.seen) {
        quiet_ = true;
        quietSinceUs_ = nowUs;
        requestOpen_ = false;  // a request left unanswered: the next byte starts another
    }
}

void LineMeter::StartPhase(LinePhase& phase) {
    phase.seen = true;
    phase.startUs = requestStartUs_;
    phase.totals = atRequestStart_;  // the start; EndPhase turns it into the difference
}

void LineMeter::EndPhase(LinePhase& phase, std::uint64_t nowUs) {
    if (!phase.seen || phase.ended) {
        return;
    }
    phase.ended = true;
    phase.endUs = nowUs;
    phase.totals = Minus(totals_, phase.totals);
}

std::string DescribeLineFigures(const LineFigures& f) {
    std::string text;
    char line[256];
    auto phase = [&](const char* name, const LinePhase& p) {
        if (!p.seen || (&p != &f.burn && !p.ended)) {
            std::snprintf(line, sizeof line, "line %s: not completed\n", name);
            text += line;
            return;
        }
        std::snprintf(line, sizeof line,
                      "line %s: wall %.6f s, wire %.6f s, PLC busy %.6f s, tool turnaround "
                      "%.6f s, tool waiting %.6f s, simulator late %.6f s\n",
                      name, p.WallUs() / 1e6, p.totals.wireUs / 1e6,
                      static_cast<double>(p.totals.plcBusyUs) / 1e6,
                      static_cast<double>(p.totals.turnaroundUs) / 1e6,
                      static_cast<double>(p.totals.waitingUs) / 1e6,
                      static_cast<double>(p.totals.serverLateUs) / 1e6);
        text += line;
    };
    phase("burn", f.burn);
    phase("erase", f.erase);
    phase("transfer", f.transfer);
    std::snprintf(line, sizeof line,
                  "line blocks acknowledged: %llu\nline ack to next block: mean %.1f us, max "
                  "%llu us over %llu\n",
                  static_cast<unsigned long long>(f.blocksAcknowledged), f.MeanAckToBlockUs(),
                  static_cast<unsigned long long>(f.ackToBlockMaxUs),
                  static_cast<unsigned long long>(f.ackToBlockCount));
    text += line;
    return text;
}

}  // namespace plcsim
