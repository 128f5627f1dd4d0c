#include "link/block_transfer.h"

#include <cstring>

#include "burn/image.h"
#include "burn/shared_values.h"
#include "link/crc16.h"
#include "link/line_records.h"
#include "link/retry_discipline.h"
#include "link/transfer_plan.h"

namespace norvane {

namespace {

enum class BlockOutcome { Acknowledged, FlashWriteError, Exhausted };

// Writes the block (or the closing EOT) until the PLC acknowledges it. A repeat
// sends the very same bytes: the image cursor never moves back. Before every write
// the bytes already waiting are dropped: an acknowledgement that came late or twice
// would otherwise answer this block while the PLC refused it, and the transfer would
// end "successful" with a block missing from the flash.
BlockOutcome SendBlock(Link& link, const std::uint8_t* block, std::size_t length,
                       bool flashErrorEnds) {
    RetryDiscipline attempts;
    errCounter.store(0, std::memory_order_relaxed);
    while (!attempts.Exhausted()) {
        link.DiscardInput();
        if (!WriteAll(link, block, length)) {
            attempts.WriteFailed();
            continue;
        }
        attempts.BeforeRead();
        std::uint8_t reply = 0;
        if (link.Read(&reply, 1) == 1) {
            if (reply == kAck) {
                return BlockOutcome::Acknowledged;
            }
            if (reply == kFlashError && flashErrorEnds) {
                return BlockOutcome::FlashWriteError;
            }
        }
        attempts.ReplyFailed();
    }
    return BlockOutcome::Exhausted;
}

// Builds block `number` from the next image bytes; `imageBytes` of them, the
// rest of the data field filled with 0x1A.
std::size_t BuildBlock(std::uint8_t* block, std::uint8_t number, std::uint32_t blockSize,
                       std::uint32_t imageBytes) {
    block[0] = kStx;
    block[1] = number;
    block[2] = static_cast<std::uint8_t>(~number);
    std::uint8_t* data = block + 3;
    const std::uint32_t got = FileRead(data, imageBytes);
    std::memset(data + got, kFill, blockSize - got);
    const std::uint32_t crc = CRC(data, static_cast<std::int32_t>(blockSize));
    data[blockSize] = static_cast<std::uint8_t>(crc >> 8);
    data[blockSize + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return blockSize + kBlockOverhead;
}

}  // namespace

ExchangeResult SendFW(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    BlockPlan plan{};
    if (!PlanBlocks(SelectedModel(), fileLength.load(std::memory_order_relaxed), plan)) {
        return kResultBootFailed;
    }
    flashStatus.store(kFlashProgramming, std::memory_order_relaxed);
    progress.store(0, std::memory_order_relaxed);

    std::uint8_t block[kMaxBlockData + kBlockOverhead];
    std::uint8_t number = 1;
    std::uint32_t acknowledged = 0;
    const std::uint32_t denominator = static_cast<std::uint32_t>(plan.blockCount) + 1;
    for (std::int32_t i = 0; i < plan.blockCount; ++i) {
        const bool last = i == plan.blockCount - 1;
        const std::uint32_t imageBytes =
            last && plan.lastBytes != 0 ? plan.lastBytes : plan.blockSize;
        const std::size_t length = BuildBlock(block, number, plan.blockSize, imageBytes);
        switch (SendBlock(link, block, length, true)) {
            case BlockOutcome::Acknowledged:
                break;
            case BlockOutcome::FlashWriteError:
                return kResultFlashWriteError;
            case BlockOutcome::Exhausted:
                return kResultBootFailed;
        }
        ++number;  // wraps 255 -> 0
        ++acknowledged;
        progress.store(static_cast<std::int32_t>(acknowledged * 100u / denominator),
                       std::memory_order_relaxed);
    }

    // An EOT answered with anything but ACK, 0x16 included, is only a missed reply.
    const std::uint8_t eot = kEot;
    if (SendBlock(link, &eot, 1, false) == BlockOutcome::Acknowledged) {
        progress.store(100, std::memory_order_relaxed);
        errCounter.store(0, std::memory_order_relaxed);
        return kResultOk;
    }
    return kResultBootFailed;
}

}  // namespace norvane
