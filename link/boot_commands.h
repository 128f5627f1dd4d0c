// Exchanges with the PLC's bootloader before the firmware transfer: bare command
// words, each answered by ACK (and for "ID" and "VERSION" two bytes more).
#pragma once

#include <cstdint>
#include <optional>

#include "link/exchange.h"

namespace norvane {

// Ok when the PLC reports the selected type; NotAcknowledged otherwise or on no
// answer. `reported`, when given, gets the identifier of the last acknowledged answer.
BootResult CheckID_B(const ExchangeContext& x, std::optional<std::uint16_t>* reported = nullptr);

// The bootloader's "ID" taking any acknowledged answer, for telling a PLC of
// unknown model what it is: Ok with `reported` set.
BootResult ReadTypeId_B(const ExchangeContext& x, std::optional<std::uint16_t>& reported);

// Ok with `version` set (the low nibble of the first byte as the major version,
// the high nibble of the second as the minor); NotAcknowledged, `version` untouched.
BootResult read_fu_version_B(const ExchangeContext& x, std::uint8_t& version);

// One "ERASE" per erase unit of an image of `imageLength` bytes, then EOT: Ok, or
// NotAcknowledged when a unit or the EOT failed (or the image is shorter than the
// model's reserved tail).
BootResult SendErase_B(const ExchangeContext& x, std::uint32_t imageLength);

// Ok once the PLC took "UPDATE" and the line runs at 115200 8N1.
BootResult SendUpdate(const ExchangeContext& x);

}  // namespace norvane
