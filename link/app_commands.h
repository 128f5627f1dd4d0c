// Exchanges with the PLC while it runs its application firmware.
#pragma once

#include <cstdint>

#include "link/link.h"
#include "link/result_codes.h"

namespace norvane {

// Wakes the line: five wake frames, and reads that drain whatever comes back.
void DummyComm(Link& link);

// The mode query: 5 (application firmware) or 6 (bootloader); on failure
// 0x11, 0x12, 0x15, 0x16 (run mode), 0x17 or 0x18.
ExchangeResult ConfirmComm(Link& link);

// The type check: 0; on failure 0x12, 0x13, 0x15, 0x17 or 0x18.
ExchangeResult CheckID_A(Link& link);

// Register reads: the value, or 0 when no valid reply came.
std::uint16_t READ_D1386(Link& link);
std::uint16_t READ_D1001(Link& link);
std::uint16_t READ_D1148(Link& link);

// The bootloader's version byte as the application reports it; 0 when no valid reply came.
std::uint8_t read_fu_version_A(Link& link);

// Asks the PLC to restart into its bootloader: 0; on failure 0x13, 0x14, 0x15, 0x17 or 0x18.
ExchangeResult SendErase_A(Link& link);

}  // namespace norvane
