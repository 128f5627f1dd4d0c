// Checks that the PLC on the line is the variant and generation the selected
// model's firmware is for, and that its bootloader can take it. Each returns
// the message that refuses the burn, or nullptr when the PLC passes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "burn/catalogue.h"
#include "link/exchange.h"

namespace norvane {

// Reads the registers the model's variant check needs (application mode only),
// as it needs them; a register that does not answer reads 0.
const char* VariantCheckFailure(const ExchangeContext& x);

// The same judgement of the PLC for `selected`, with the registers (Dn by its
// number n) from `read`, in the order the check asks for them.
using RegisterRead = std::function<std::uint16_t(std::uint16_t dataRegister)>;
const char* VariantCheckFailure(const PlcModel& selected, const RegisterRead& read);

// The registers a check reads (by number n for Dn).
std::vector<std::uint16_t> VariantRegisters(VariantCheck check);

// Bootloaders at or below the model's floor cannot take its firmware.
const char* BootVersionGateFailure(const PlcModel& selected, std::uint8_t version);

// Generation 4 firmware keeps 4 or more in bits 4 to 7 of D1001.
inline bool IsGeneration4(std::uint16_t d1001) {
    return (d1001 & 0xF0) > 0x3F;
}

}  // namespace norvane
