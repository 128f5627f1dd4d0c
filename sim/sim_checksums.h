// The PLC's own checksums and hex text: the frame LRC and the block CRC-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plcsim {

// Two's complement of the 8-bit sum, so that message plus LRC sums to zero.
std::uint8_t Lrc(const std::uint8_t* data, std::size_t count);

// CRC-16 with polynomial 0x1021, initial 0, MSB first, computed bit by bit.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t count);

// Upper-case hex text of the bytes.
std::string HexUpper(const std::vector<std::uint8_t>& bytes);

// Decodes upper-case hex text; nullopt for an odd length or any other character,
// lower-case letters included (the PLC firmware only understands upper case).
std::optional<std::vector<std::uint8_t>> DecodeHexUpper(const std::uint8_t* text,
                                                        std::size_t count);

// ':' + hex of message and LRC + CR LF.
std::vector<std::uint8_t> BuildFrame(const std::vector<std::uint8_t>& message);

}  // namespace plcsim
