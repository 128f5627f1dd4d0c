// Checks that the PLC on the line is the variant and generation the selected
// model's firmware is for, and that its bootloader can take it. Each returns
// the message that refuses the burn, or nullptr when the PLC passes.
#pragma once

#include <cstdint>

#include "burn/catalogue.h"
#include "link/exchange.h"

namespace norvane {

// Reads the registers the model's variant check needs (application mode only).
const char* VariantCheckFailure(const ExchangeContext& x);

// Bootloaders at or below the model's floor cannot take its firmware.
const char* BootVersionGateFailure(const PlcModel& selected, std::uint8_t version);

// Generation 4 firmware keeps 4 or more in bits 4 to 7 of D1001.
inline bool IsGeneration4(std::uint16_t d1001) {
    return (d1001 & 0xF0) > 0x3F;
}

}  // namespace norvane
