// The request frames of the application mode, built from their message bytes.
#pragma once

#include <cstdint>

#include "link/frame.h"

namespace norvane {

// Unit byte of the service command: the AIO models' application expects 0x5B.
constexpr std::uint8_t kUnitByte = 0x59;
constexpr std::uint8_t kAioUnitByte = 0x5B;

// Data registers Dn sit at holding register 0x1000 + n.
constexpr std::uint16_t kRegisterD1386 = 0x1000 + 1386;
constexpr std::uint16_t kRegisterD1001 = 0x1000 + 1001;
constexpr std::uint16_t kRegisterD1148 = 0x1000 + 1148;

RequestFrame WakeRequest();
RequestFrame ModeQueryRequest(std::uint8_t unitByte);
RequestFrame TypeCheckRequest(std::uint8_t unitByte);
RequestFrame RegisterReadRequest(std::uint16_t address);
RequestFrame VersionRequest();
RequestFrame EraseRequest(std::uint8_t unitByte);
RequestFrame EraseConfirmation(std::uint8_t unitByte);

// The unit byte of the selected model's service commands.
std::uint8_t SelectedUnitByte();

}  // namespace norvane
