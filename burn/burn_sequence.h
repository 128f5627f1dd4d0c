// The burn worker: one firmware update from loading the image to the final message.
#pragma once

#include <cstdint>

#include "burn/surroundings.h"

namespace norvane {

// How a burn ended, for front ends that need more than the message (exit codes).
// Stopped: the surroundings ended it before anything changed the PLC.
enum class BurnOutcome : std::uint8_t { Success, Failed, Stopped };

// Runs one burn for the selected model on the worker's thread. The user sees the
// outcome as exactly one final message through `surroundings` (none when they
// stopped it, see MayChangePlc); on every way out
// the burn values are reset, the button enabled, the link closed and the image
// released.
BurnOutcome StartBurn(WorkerSurroundings& surroundings);

// Application passes allowed before the tool concludes that the PLC does not
// enter its bootloader.
constexpr int kMaxApplicationPasses = 3;

}  // namespace norvane
