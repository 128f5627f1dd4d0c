#include "link/frame.h"

#include <cstring>

namespace norvane {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::uint8_t kStation = 0x00;
constexpr std::uint8_t kFunctionWake = 0x7F;
constexpr std::uint8_t kFunctionReadRegisters = 0x03;
constexpr std::uint8_t kFunctionService = 0x64;
constexpr std::uint8_t kServiceSubfunction = 0x01;
constexpr std::uint16_t kDataRegisterBase = 0x1000;

// 0 to 15 for the digits 0-9 and A-F; -1 for any other character.
int HexValue(std::uint8_t c) {
    const char* digit = c != 0 ? std::strchr(kHexDigits, c) : nullptr;
    return digit != nullptr ? static_cast<int>(digit - kHexDigits) : -1;
}

// The two's complement of the 8-bit sum of the message bytes.
std::uint8_t Lrc(const std::uint8_t* message, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + message[i]);
    }
    return static_cast<std::uint8_t>(0x100 - sum);
}

template <std::size_t N>
RequestFrame Service(std::uint8_t unitByte, const std::uint8_t (&payload)[N]) {
    std::uint8_t message[4 + N] = {kStation, kFunctionService, kServiceSubfunction, unitByte};
    for (std::size_t i = 0; i < N; ++i) {
        message[4 + i] = payload[i];
    }
    return BuildFrame(message, sizeof message);
}

}  // namespace

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

RequestFrame WakeRequest() {
    const std::uint8_t message[] = {kStation, kFunctionWake};
    return BuildFrame(message, sizeof message);
}

RequestFrame ModeQueryRequest(std::uint8_t unitByte) {
    return Service(unitByte, {0x01});
}

RequestFrame TypeCheckRequest(std::uint8_t unitByte) {
    return Service(unitByte, {'I', 'D'});
}

RequestFrame RegisterReadRequest(std::uint16_t dataRegister) {
    const auto address = static_cast<std::uint16_t>(kDataRegisterBase + dataRegister);
    const std::uint8_t message[] = {kStation,
                                    kFunctionReadRegisters,
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address & 0xFF),
                                    0x00,
                                    0x01};
    return BuildFrame(message, sizeof message);
}

RequestFrame VersionRequest() {
    return Service(kUnitByte, {0x05});
}

RequestFrame EraseRequest(std::uint8_t unitByte) {
    return Service(unitByte, {'E', 'R', 'A', 'S', 'E'});
}

RequestFrame EraseConfirmation(std::uint8_t unitByte) {
    return Service(unitByte, {0x06});
}

bool AppReply::Valid(std::size_t received, std::size_t length) {
    if (received != length) {
        return false;
    }
    const int hexCharacters = static_cast<int>(length) - 3;  // between ':' and CR LF
    return (CheckLRC(raw + 1, hexCharacters) & 0xFF) == 0;
}

}  // namespace norvane
