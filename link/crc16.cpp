#include "link/crc16.h"

namespace norvane {

std::uint32_t CRC(const std::uint8_t* data, std::int32_t count) {
    std::uint32_t crc = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        crc = (crc << 8) ^ kCrcTable[((crc >> 8) & 0xFFu) ^ data[i]];
        crc &= 0xFFFFu;
    }
    return crc;
}

}  // namespace norvane
