// Application-mode framing: Modbus ASCII with an LRC.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvane {

constexpr std::size_t kMaxRequestMessage = 9;                         // bytes before the LRC
constexpr std::size_t kMaxRequestFrame = 2 * kMaxRequestMessage + 5;  // 23 characters
constexpr std::size_t kServiceReplyLength = 19;
constexpr std::size_t kRegisterReplyLength = 15;

struct RequestFrame {
    char text[kMaxRequestFrame];
    std::size_t length;
};

// The two's complement of the 8-bit sum of the message bytes.
std::uint8_t Lrc(const std::uint8_t* message, std::size_t count);

// ':' + each message byte and the LRC as two upper-case hex digits + CR LF.
// `count` must not exceed kMaxRequestMessage.
RequestFrame BuildFrame(const std::uint8_t* message, std::size_t count);

// Decodes `count` hexadecimal characters at `hex` in place (byte k lands where
// character k stood) and returns the 8-bit sum of the decoded bytes, so 0 means
// intact. Returns 1 at the first character that is not 0-9 or A-F.
int CheckLRC(std::uint8_t* hex, int count);

}  // namespace norvane
