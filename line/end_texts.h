// What a burn that did not end by itself says of its PLC: after the caption
// "Interrupted", or after why its process ended early.
#pragma once

namespace norvane::line {

constexpr const char* kCaptionInterrupted = "Interrupted";
constexpr const char* kInterruptedAfterErase =
    "the erase had begun, the PLC must be burned again before it can run";
constexpr const char* kInterruptedBeforeErase = "nothing was erased";
constexpr const char* kInterruptedInBootloader =
    "nothing was erased, but the PLC waits in its bootloader and must be burned before it runs "
    "again";
constexpr const char* kLostInBootloader =
    "the PLC waits in its bootloader and must be burned before it runs again";

}  // namespace norvane::line
