// CRC-16/XMODEM of a firmware block: polynomial 0x1021, initial 0, not reflected.
#pragma once

#include <array>
#include <cstdint>

namespace norvane {

namespace detail {
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
}  // namespace detail

// One look-up per byte, most significant bit first.
inline constexpr std::array<std::uint16_t, 256> kCrcTable = detail::MakeCrcTable();

// The CRC in the low 16 bits; 0 for a count of 0 or less.
std::uint32_t CRC(const std::uint8_t* data, std::int32_t count);

}  // namespace norvane
