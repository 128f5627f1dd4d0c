// What the user reads when a burn ends. The texts are the PLC tool's own and
// technicians know them by heart: keep them to the letter.
#pragma once

#include <cstdint>

#include "link/exchange.h"

namespace norvane {

constexpr const char* kCaptionError = "ERROR";
constexpr const char* kCaptionInformation = "Information";
constexpr const char* kCaptionSerialSuccess = "INFORMATION";

constexpr const char* kMsgTypeWrong = "PLC type is WRONG";
constexpr const char* kMsgNoVersion = "PLC DOES NOT respond to the version read";
constexpr const char* kMsgNoErase = "PLC DOES NOT respond to the erasing signal";
constexpr const char* kMsgNoUpdate = "PLC DOES NOT respond to the update signal";
constexpr const char* kMsgFlashWriteError =
    "Flash write error, maybe due to flash write protection. RE-POWER PLC and update FW again";
constexpr const char* kMsgTransferFailed = "Firmware update is FAILED";
constexpr const char* kMsgUsbSuccess =
    "Firmware update is SUCCESSFUL!, please REPLUG the USB cable";
constexpr const char* kMsgSerialSuccess = "Firmware update is SUCCESSFUL";
constexpr const char* kMsgReplug = "Please REPLUG the USB Cable, and then press OK to continue";
constexpr const char* kMsgPowerCycle =
    "Please POWER OFF=>ON the PLC, and then press OK to continue";

// Messages of the tool's own safeguards.
constexpr const char* kMsgImageNotLoaded =
    "The firmware image built into this program CANNOT be loaded, the PLC was not touched";
constexpr const char* kMsgImageTooShort =
    "The file size is BELOW the MINIMUM size (4 * 1024) for this PLC, the PLC was not touched";
constexpr const char* kMsgNoBootloader =
    "PLC DOES NOT enter its bootloader after the erasing signal, please RE-POWER PLC and update "
    "FW again";

// The number each way an exchange ends has in the PLC tool's one result table:
// 0 success, 5 and 6 the PLC's mode, 0x10 a bootloader exchange failed, 0x11 to
// 0x14 a NAK code the exchange maps, 0x15 one it does not, 0x16 run mode (or a
// flash write error of the transfer), 0x17 an unknown NAK class, 0x18 no response.
using ExchangeResult = std::uint32_t;
ExchangeResult ResultCode(AppResult result);
ExchangeResult ResultCode(BootResult result);

// Failures of the mode query (State 1), the type check (State 2) and the
// application-mode erase request (State 3), read by the result's low four bits.
const char* State1Message(ExchangeResult result);
const char* State2Message(ExchangeResult result);
const char* State3Message(ExchangeResult result);

}  // namespace norvane
