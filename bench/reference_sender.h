// The bootloader side of a burn spoken as plainly as it can be: write a command or a
// block, wait in poll() for the one-byte reply, go on. No retries, no status line,
// no threads. What it reaches on a line is the floor that any sender reaches there,
// so the tool's figures can be read against it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "burn/catalogue.h"

namespace norvane::bench {

// Erases, switches to transfer speed and sends every block of `image` for `model` to
// a PLC in its bootloader at `path`; true when every reply was ACK.
bool RunReferenceSender(const std::string& path, const PlcModel& model,
                        const std::vector<std::uint8_t>& image);

}  // namespace norvane::bench
