// The firmware transfer: numbered blocks with a CRC-16, each acknowledged before
// the next, and a lone EOT to close.
#pragma once

#include <array>
#include <cstdint>

#include "link/exchange.h"

namespace norvane {

constexpr std::size_t kMaxBlockData = 256;
constexpr std::size_t kBlockOverhead = 5;  // STX, number, complement, CRC high, CRC low

// The image as the transfer reads it: copies the next `count` bytes to `dst`, in
// image order, and returns how many it had.
using ImageRead = std::uint32_t (*)(std::uint8_t* dst, std::uint32_t count);

// Ok when every block of an image of `imageLength` bytes (read through `read`) and
// the closing EOT were acknowledged; FlashWriteError when the PLC answered a block
// with 0x16; NotAcknowledged when a block or the EOT ran out of attempts (or the
// image is shorter than the model's reserved tail).
BootResult SendFW(const ExchangeContext& x, std::uint32_t imageLength, ImageRead read);

// The number of "ERASE" commands for an image of n bytes. False when the model
// keeps a reserved tail longer than the image (the count would wrap around) or the
// count does not fit 16 bits.
bool EraseCount(const PlcModel& model, std::uint32_t n, std::uint16_t& count);

// How an image of n bytes goes out on a model: its last `reservedTail` bytes stay back.
struct BlockPlan {
    std::uint32_t blockSize;  // data bytes per block
    std::int32_t blockCount;
    std::uint32_t lastBytes;  // image bytes in the last block, 0 when it is full
};

// False when the model keeps a reserved tail longer than the image.
bool PlanBlocks(const PlcModel& model, std::uint32_t n, BlockPlan& plan);

// CRC-16/XMODEM of a block's data: polynomial 0x1021, initial 0, not reflected, one
// table look-up per byte. The CRC in the low 16 bits; 0 for a count of 0 or less.
std::uint32_t CRC(const std::uint8_t* data, std::int32_t count);

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) != 0 ? (crc << 1) ^ 0x1021u : crc << 1;
        }
        table[i] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    return table;
}

inline constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

}  // namespace norvane
