// Exchange results. Callers look at the low 8 bits only.
#pragma once

#include <cstdint>

namespace norvane {

using ExchangeResult = std::uint32_t;

constexpr ExchangeResult kResultOk = 0x00;
constexpr ExchangeResult kModeApplication = 0x05;
constexpr ExchangeResult kModeBootloader = 0x06;
constexpr ExchangeResult kResultBootFailed = 0x10;
constexpr ExchangeResult kResultNakCodeBase = 0x10;  // + the NAK code, for mapped codes
constexpr ExchangeResult kResultNakUnmapped = 0x15;
constexpr ExchangeResult kResultRunMode = 0x16;
constexpr ExchangeResult kResultFlashWriteError = 0x16;
constexpr ExchangeResult kResultNakUnknownClass = 0x17;
constexpr ExchangeResult kResultNoResponse = 0x18;

// Control bytes of the bootloader and the block transfer.
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kFlashError = 0x16;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kFill = 0x1A;

}  // namespace norvane
