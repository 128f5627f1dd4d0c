#include "link/frame.h"

namespace norvane {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::uint8_t Lrc(const std::uint8_t* message, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + message[i]);
    }
    return static_cast<std::uint8_t>(0x100 - sum);
}

RequestFrame BuildFrame(const std::uint8_t* message, std::size_t count) {
    RequestFrame frame{};
    if (count > kMaxRequestMessage) {
        return frame;  // length 0: nothing sensible to send
    }
    std::size_t pos = 0;
    frame.text[pos++] = ':';
    auto put = [&](std::uint8_t byte) {
        frame.text[pos++] = kHexDigits[byte >> 4];
        frame.text[pos++] = kHexDigits[byte & 0x0F];
    };
    for (std::size_t i = 0; i < count; ++i) {
        put(message[i]);
    }
    put(Lrc(message, count));
    frame.text[pos++] = '\r';
    frame.text[pos++] = '\n';
    frame.length = pos;
    return frame;
}

int CheckLRC(std::uint8_t* hex, int count) {
    std::uint8_t sum = 0;
    std::uint8_t* read = hex;
    std::uint8_t* write = hex;
    while (count > 1) {
        const int high = HexValue(*read++);
        if (high < 0)
            return 1;
        const int low = HexValue(*read++);
        if (low < 0)
            return 1;
        const auto byte = static_cast<std::uint8_t>(high * 16 + low);
        *write++ = byte;
        sum = static_cast<std::uint8_t>(sum + byte);
        count -= 2;
    }
    return sum;
}

}  // namespace norvane
