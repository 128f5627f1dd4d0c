#include "link/block_transfer.h"

#include <cstring>

namespace norvane {

namespace {

// Writes a block (or the closing EOT) until the PLC acknowledges it. A repeat sends
// the very same bytes: the image is read once per block. Departs from the
// discipline for blocks only: 0x16 ends the transfer at once, and an EOT answered
// with 0x16 is just a missed reply.
BootResult SendBlock(const ExchangeContext& x, const std::uint8_t* block, std::size_t length,
                     bool flashErrorEnds) {
    x.panel.ShowFailures(0);
    std::uint8_t reply = 0;
    const AttemptsEnd end = RunAttempts(x, block, length, &reply, 1, [&](std::size_t received) {
        if (received == 1 && reply == kAck) {
            return Judgement::Accept;
        }
        return received == 1 && reply == kFlashError && flashErrorEnds ? Judgement::Stop
                                                                       : Judgement::Retry;
    });
    return end == AttemptsEnd::Accepted  ? BootResult::Ok
           : end == AttemptsEnd::Stopped ? BootResult::FlashWriteError
                                         : BootResult::NotAcknowledged;
}

// Block `number` from the next `imageBytes` image bytes, the rest of the data field
// filled with 0x1A; returns its length.
std::size_t BuildBlock(std::uint8_t* block, std::uint8_t number, std::uint32_t blockSize,
                       std::uint32_t imageBytes, ImageRead read) {
    block[0] = kStx;
    block[1] = number;
    block[2] = static_cast<std::uint8_t>(~number);
    std::uint8_t* data = block + 3;
    const std::uint32_t got = read(data, imageBytes);
    std::memset(data + got, kFill, blockSize - got);
    const std::uint32_t crc = CRC(data, static_cast<std::int32_t>(blockSize));
    data[blockSize] = static_cast<std::uint8_t>(crc >> 8);
    data[blockSize + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return blockSize + kBlockOverhead;
}

std::uint32_t CeilShift(std::uint32_t n, unsigned shift) {
    return (n >> shift) + ((n & ((1u << shift) - 1)) != 0 ? 1u : 0u);
}

}  // namespace

BootResult SendFW(const ExchangeContext& x, std::uint32_t imageLength, ImageRead read) {
    x.link.SetTimeouts(kExchangeTimeouts);
    BlockPlan plan{};
    if (!PlanBlocks(x.model, imageLength, plan)) {
        return BootResult::NotAcknowledged;
    }
    x.panel.ShowProgress(kFlashProgramming, 0);
    std::uint8_t block[kMaxBlockData + kBlockOverhead];
    std::uint8_t number = 1;
    const std::uint32_t denominator = static_cast<std::uint32_t>(plan.blockCount) + 1;
    for (std::int32_t i = 0; i < plan.blockCount; ++i) {
        const bool last = i == plan.blockCount - 1;
        const std::uint32_t imageBytes =
            last && plan.lastBytes != 0 ? plan.lastBytes : plan.blockSize;
        const std::size_t length = BuildBlock(block, number, plan.blockSize, imageBytes, read);
        if (const BootResult sent = SendBlock(x, block, length, true); sent != BootResult::Ok) {
            return sent;
        }
        ++number;  // wraps 255 -> 0
        x.panel.ShowPercent(static_cast<std::int32_t>((i + 1u) * 100u / denominator));
    }
    const std::uint8_t eot = kEot;
    if (SendBlock(x, &eot, 1, false) != BootResult::Ok) {
        return BootResult::NotAcknowledged;
    }
    x.panel.ShowPercent(100);
    x.panel.ShowFailures(0);
    return BootResult::Ok;
}

bool EraseCount(const PlcModel& model, std::uint32_t n, std::uint16_t& count) {
    if (n < model.reservedTail) {
        return false;
    }
    std::uint32_t units = 0;
    switch (model.eraseCountRule) {
        case EraseCountRule::LargeUnit:
            units = (n >> 17) + 1;
            break;
        case EraseCountRule::PvUnit:
            units = (n >> 14) + 1;
            break;
        case EraseCountRule::Sector:
            units = CeilShift(n - model.reservedTail, 12);
            break;
        case EraseCountRule::AioUnit:
            units = CeilShift(n, 11);
            break;
        case EraseCountRule::FixedFour:
            units = 4;
            break;
        case EraseCountRule::SmallUnit:
            units = (n >> 11) + 1;
            break;
    }
    if (units > 0xFFFF) {
        return false;
    }
    count = static_cast<std::uint16_t>(units);
    return true;
}

bool PlanBlocks(const PlcModel& model, std::uint32_t n, BlockPlan& plan) {
    if (n < model.reservedTail) {
        return false;
    }
    const std::uint32_t sent = n - model.reservedTail;
    plan.blockSize = model.blockSize;
    plan.blockCount = static_cast<std::int32_t>(CeilShift(sent, model.blockSize == 256 ? 8 : 7));
    plan.lastBytes = sent & (model.blockSize - 1u);
    return true;
}

std::uint32_t CRC(const std::uint8_t* data, std::int32_t count) {
    std::uint32_t crc = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        crc = (crc << 8) ^ kCrcTable[((crc >> 8) & 0xFFu) ^ data[i]];
        crc &= 0xFFFFu;
    }
    return crc;
}

}  // namespace norvane
