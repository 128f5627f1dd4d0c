// The PLC's bootloader: bare command words answered with control bytes, then the
// numbered, CRC-checked firmware blocks.
#include <algorithm>

#include "request_kinds.h"
#include "sim_checksums.h"
#include "simulated_plc.h"

namespace plcsim {
namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kWriteError = 0x16;

}  // namespace

std::size_t SimulatedPlc::ParseBootloader(std::uint64_t nowMs) {
    const std::uint8_t first = input_[0];
    if (updateReceived_) {
        if (first == kStx) {
            return ParseBlock(nowMs);
        }
        if (first == kEot) {
            HandleWord(Exchange::TransferEnd, 1, nowMs);
            return 1;
        }
        ++counters_.garbageBytes;
        return 1;
    }
    if (first == ':') {
        return ParseFrame(nowMs);
    }
    if (first == kEot) {
        HandleWord(Exchange::BootEraseEnd, 1, nowMs);
        return 1;
    }
    std::size_t wordCount = 0;
    const BootWord* words = BootWords(wordCount);
    for (std::size_t w = 0; w < wordCount; ++w) {
        const BootWord& word = words[w];
        const std::size_t have = std::min(word.length, input_.size());
        if (std::equal(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(have),
                       word.text)) {
            if (have < word.length) {
                return 0;  // the rest of the word is still on its way
            }
            HandleWord(word.kind, word.length, nowMs);
            return word.length;
        }
    }
    ++counters_.garbageBytes;
    return 1;
}

void SimulatedPlc::HandleWord(Exchange kind, std::size_t length, std::uint64_t nowMs) {
    Log(kind, input_.data(), length, nowMs);
    const FaultSet faults = config_.faults.Next(kind);
    if (faults.Has(FaultKind::Silent)) {
        return;
    }
    if (faults.Has(FaultKind::Nak)) {
        ++counters_.naksSent;
        QueueReply({kNak}, faults, nowMs, 0);
        return;
    }
    if (faults.Has(FaultKind::FlashWriteError)) {
        ++counters_.writeErrorsSent;
        QueueReply({kWriteError}, faults, nowMs, 0);
        return;
    }
    std::vector<std::uint8_t> reply{kAck};
    std::uint64_t busyMs = 0;
    switch (kind) {
        case Exchange::BootId: {
            std::uint16_t id = config_.bootTypeId.value_or(model_.bootTypeId);
            if (const Fault* f = faults.Find(FaultKind::WrongTypeId)) {
                id = static_cast<std::uint16_t>(f->value);
            }
            reply = {kAck, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
            break;
        }
        case Exchange::BootVersion:
            reply = {kAck, config_.bootVersionA, config_.bootVersionB};
            break;
        case Exchange::BootErase:
            if (flash_.EraseNextUnit()) {
                ++counters_.eraseCommands;
                busyMs = config_.eraseTimeMs;
            } else {
                ++counters_.eraseRefused;  // nothing left to erase: the flash ends here
                ++counters_.naksSent;
                reply = {kNak};
            }
            break;
        case Exchange::BootUpdate:
            updateReceived_ = true;
            expectedBlock_ = 1;
            lastAcked_.reset();
            break;
        case Exchange::TransferEnd:
            counters_.transferCompleted = true;
            freshFirmware_ = true;
            break;
        default:
            break;
    }
    if (const Fault* f = faults.Find(FaultKind::WrongStatus)) {
        reply[0] = static_cast<std::uint8_t>(f->value);
    }
    if (faults.Has(FaultKind::LostAck)) {
        return;
    }
    QueueReply(std::move(reply), faults, nowMs, busyMs);
}

std::size_t SimulatedPlc::ParseBlock(std::uint64_t nowMs) {
    const std::size_t length = model_.blockSize + 5;
    if (input_.size() < length) {
        return 0;
    }
    if (!HandleBlock(input_.data(), nowMs)) {
        // Out of step with the sender: forget whatever else is on the line.
        return input_.size();
    }
    return length;
}

bool SimulatedPlc::HandleBlock(const std::uint8_t* block, std::uint64_t nowMs) {
    const std::size_t size = model_.blockSize;
    Log(Exchange::Block, block, size + 5, nowMs);
    const FaultSet faults = config_.faults.Next(Exchange::Block);
    if (faults.Has(FaultKind::Silent)) {
        return true;
    }
    const std::uint8_t number = block[1];
    const std::uint8_t* data = block + 3;
    const std::uint16_t crc = static_cast<std::uint16_t>(block[3 + size] << 8 | block[4 + size]);
    const bool intact =
        static_cast<std::uint8_t>(number ^ block[2]) == 0xFF && Crc16(data, size) == crc;
    auto refuse = [&](std::uint8_t byte) {
        if (byte == kNak) {
            ++counters_.naksSent;
        } else {
            ++counters_.writeErrorsSent;
        }
        QueueReply({byte}, faults, nowMs, 0);
    };
    if (!intact) {
        refuse(kNak);
        return false;
    }
    std::uint64_t busyMs = 0;
    if (number == expectedBlock_) {
        if (faults.Has(FaultKind::Nak)) {
            refuse(kNak);
            return true;
        }
        if (config_.writeProtected || faults.Has(FaultKind::FlashWriteError) ||
            !flash_.Append(data, size)) {
            refuse(kWriteError);
            return true;
        }
        ++counters_.blocksWritten;
        lastAcked_ = number;
        expectedBlock_ = static_cast<std::uint8_t>(number + 1);
        busyMs = config_.flashWriteTimeMs;
    } else if (lastAcked_ && number == *lastAcked_) {
        // The sender missed our acknowledgement and sent the block again: it is in
        // flash already, so only acknowledge it.
        ++counters_.duplicates;
    } else {
        refuse(kNak);
        return true;
    }
    std::vector<std::uint8_t> reply{kAck};
    if (const Fault* f = faults.Find(FaultKind::WrongStatus)) {
        reply[0] = static_cast<std::uint8_t>(f->value);
    }
    if (!faults.Has(FaultKind::LostAck)) {
        QueueReply(std::move(reply), faults, nowMs, busyMs);
    }
    return true;
}

}  // namespace plcsim
