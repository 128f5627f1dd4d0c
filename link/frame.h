// Application-mode framing: Modbus ASCII with an LRC, the request frames the tool
// sends and the replies it reads.
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

// ':' + each message byte and the LRC (the two's complement of their 8-bit sum)
// as two upper-case hex digits + CR LF.
// `count` must not exceed kMaxRequestMessage.
RequestFrame BuildFrame(const std::uint8_t* message, std::size_t count);

// Decodes `count` hexadecimal characters at `hex` in place (byte k lands where
// character k stood) and returns the 8-bit sum of the decoded bytes, so 0 means
// intact. Returns 1 at the first character that is not 0-9 or A-F.
int CheckLRC(std::uint8_t* hex, int count);

// The requests. Service commands carry a unit byte: 0x5B for the AIO models'
// application, 0x59 for every other (and for the version read of all).
constexpr std::uint8_t kUnitByte = 0x59;
constexpr std::uint8_t kAioUnitByte = 0x5B;
RequestFrame WakeRequest();
RequestFrame ModeQueryRequest(std::uint8_t unitByte);
RequestFrame TypeCheckRequest(std::uint8_t unitByte);
RequestFrame RegisterReadRequest(std::uint16_t dataRegister);  // Dn at 0x1000 + n
RequestFrame VersionRequest();
RequestFrame EraseRequest(std::uint8_t unitByte);
RequestFrame EraseConfirmation(std::uint8_t unitByte);

// A reply as read: ':' and the hexadecimal characters, decoded in place once it
// is judged valid, so message byte k lies at raw[k + 1].
struct AppReply {
    std::uint8_t raw[kServiceReplyLength];

    // Exactly `length` characters arrived and their LRC sum is 0. Decodes them
    // whenever all arrived, valid or not, as the NAK classification reads them.
    bool Valid(std::size_t received, std::size_t length);

    // The fields of a service reply...
    std::uint8_t Status() const { return raw[5]; }  // mode, ACK, NAK or version byte
    std::uint16_t TypeId() const { return static_cast<std::uint16_t>(raw[6] << 8 | raw[7]); }
    std::uint8_t NakClass() const { return raw[6]; }
    std::uint8_t NakCode() const { return raw[7]; }
    // ... and of a register reply.
    std::uint16_t RegisterValue() const { return static_cast<std::uint16_t>(raw[4] << 8 | raw[5]); }
};

}  // namespace norvane
