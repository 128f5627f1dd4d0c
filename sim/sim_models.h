// The PLC models as the simulated PLC knows them: what each reports about itself and how
// its flash and bootloader behave. Kept apart from the tool's own model table on purpose,
// so that a mistake in one shows up against the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim_types.h"

namespace plcsim {

struct SimModel {
    const char* name;
    std::uint16_t appTypeId;   // reported by the application to "ID"
    std::uint16_t bootTypeId;  // reported by the bootloader to "ID"
    LinkKind link;
    std::uint8_t unitByte;         // 0x59, or 0x5B for the all-in-one models
    std::size_t blockSize;         // data bytes per firmware block
    std::size_t eraseUnit;         // bytes cleared by one bootloader "ERASE"
    std::size_t reservedTail;      // final image bytes the PLC keeps to itself
    std::size_t flashSize;         // bytes of application flash
    Handover handover;             // how it reaches its bootloader
    bool silentAfterEraseRequest;  // its application answers nothing to the erase request
};

constexpr std::size_t kSimModelCount = 31;

// nullptr when the name is not a known model (exact, case-sensitive).
const SimModel* FindSimModel(const std::string& name);

}  // namespace plcsim
