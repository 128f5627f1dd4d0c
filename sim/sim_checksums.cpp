#include "sim_checksums.h"

namespace plcsim {

std::uint8_t Lrc(const std::uint8_t* data, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
    }
    return static_cast<std::uint8_t>(0x100 - sum);
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            const bool top = (crc & 0x8000) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top) {
                crc = static_cast<std::uint16_t>(crc ^ 0x1021);
            }
        }
    }
    return crc;
}

std::string HexUpper(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

namespace {
int NibbleUpper(std::uint8_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeHexUpper(const std::uint8_t* text,
                                                        std::size_t count) {
    if (count % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(count / 2);
    for (std::size_t i = 0; i < count; i += 2) {
        const int hi = NibbleUpper(text[i]);
        const int lo = NibbleUpper(text[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::vector<std::uint8_t> BuildFrame(const std::vector<std::uint8_t>& message) {
    std::vector<std::uint8_t> withLrc = message;
    withLrc.push_back(Lrc(message.data(), message.size()));
    const std::string hex = HexUpper(withLrc);
    std::vector<std::uint8_t> frame;
    frame.reserve(hex.size() + 3);
    frame.push_back(':');
    frame.insert(frame.end(), hex.begin(), hex.end());
    frame.push_back('\r');
    frame.push_back('\n');
    return frame;
}

}  // namespace plcsim
